// Every administrative request: its code, its arguments in order, how its results are read, and that a
// session that is not remote sends nothing.
#include "CaptureError.h"
#include "SessionFixture.h"

#include "engine/wire/ErrorCodes.h"
#include "engine/wire/RequestCodes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

namespace korvel
{
namespace
{

using namespace test;
using ::testing::ElementsAre;
using Values = std::function<void(MessageWriter&)>;

class AdminRequestsTest : public test::SessionFixture
{
protected:
    void SetUp() override { LogIn(session); }

    // The plain payload a request with these arguments has.
    static Bytes PayloadOf(const Values& arguments)
    {
        MessageBuffer buffer;
        MessageWriter writer(buffer);
        writer.Begin();
        if (arguments)
            arguments(writer);
        writer.Finish(false);
        return Bytes(buffer.Data() + HeaderSize, buffer.Data() + writer.Header().TotalSize);
    }

    // The last request the peer received had this code and these arguments.
    void ExpectLastRequest(std::uint16_t code, const Values& arguments = {})
    {
        ASSERT_TRUE(peer.WaitForRequests(1));
        const auto requests = peer.Requests();
        EXPECT_EQ(requests.back().Code(), code) << RequestCodeName(code);
        EXPECT_EQ(requests.back().Payload(), PayloadOf(arguments)) << RequestCodeName(code);
    }

    void Replying(const Values& results) { peer.Then(ScriptedPeer::Answer(0, results)); }
};

TEST_F(AdminRequestsTest, Users)
{
    StringList names{"stale"};
    Replying([](MessageWriter& w) { w.AppendStringList({"admin", "guest"}); });
    session.GetUserNames(names);
    ExpectLastRequest(REQUEST_GETUSERNAMES);
    EXPECT_EQ(names, (StringList{"admin", "guest"}));

    Replying([](MessageWriter& w) { w.AppendInt32(0); });
    session.GetUserNames(names);
    EXPECT_TRUE(names.empty());

    std::string password = "x", description = "x";
    bool administrator = false;
    Replying(
        [](MessageWriter& w)
        {
            w.AppendString("");
            w.AppendString("line one\r\nline two");
            w.AppendByte(7);
        });
    session.GetUser("guest", password, description, administrator);
    ExpectLastRequest(REQUEST_GETUSER, [](MessageWriter& w) { w.AppendString("guest"); });
    EXPECT_EQ(password, "");
    EXPECT_EQ(description, "line one\r\nline two");
    EXPECT_TRUE(administrator);

    session.AddUser("new", "pw", "desc", true);
    ExpectLastRequest(REQUEST_ADDUSER,
                      [](MessageWriter& w)
                      {
                          w.AppendString("new");
                          w.AppendString("pw");
                          w.AppendString("desc");
                          w.AppendByte(1);
                      });
    session.ModifyUser("new", "", std::string(300, 'd'), false);
    ExpectLastRequest(REQUEST_MODIFYUSER,
                      [](MessageWriter& w)
                      {
                          w.AppendValue("new", 3);
                          w.AppendValue(nullptr, 0);
                          w.AppendValue(std::string(255, 'd').data(), 255);
                          w.AppendByte(0);
                      });
    session.DeleteUser("new");
    ExpectLastRequest(REQUEST_DELETEUSER, [](MessageWriter& w) { w.AppendString("new"); });

    // A refusal raises the server's code and reads nothing after it.
    peer.Then(ScriptedPeer::AnswerError(KORVEL_REMOTEDUPUSER, {"new"}));
    auto duplicate = CaptureEngineError([&] { session.AddUser("new", "pw", "", false); });
    EXPECT_STREQ(
        duplicate->what(),
        "KORVEL Engine Error # 11292 The user 'new' already exists on the database server at '127.0.0.1'");
    password = "kept";
    peer.Then(ScriptedPeer::AnswerError(KORVEL_REMOTENOUSER, {"ghost"}));
    EXPECT_EQ(EngineErrorCode([&] { session.GetUser("ghost", password, description, administrator); }),
              KORVEL_REMOTENOUSER);
    EXPECT_EQ(password, "kept");
}

TEST_F(AdminRequestsTest, DatabasesAndDatabaseUsers)
{
    StringList names;
    Replying([](MessageWriter& w) { w.AppendStringList({"sales", "hr"}); });
    session.GetDatabaseNames(names);
    ExpectLastRequest(REQUEST_GETDBNAMES);
    EXPECT_EQ(names, (StringList{"sales", "hr"}));

    std::string description, directory;
    Replying(
        [](MessageWriter& w)
        {
            w.AppendString("Sales data");
            w.AppendString("/srv/sales");
        });
    session.GetDatabase("sales", description, directory);
    ExpectLastRequest(REQUEST_GETDB, [](MessageWriter& w) { w.AppendString("sales"); });
    EXPECT_EQ(description, "Sales data");
    EXPECT_EQ(directory, "/srv/sales");

    auto databaseArguments = [](MessageWriter& w)
    {
        w.AppendString("sales");
        w.AppendString("desc");
        w.AppendString("/dir");
    };
    session.AddDatabase("sales", "desc", "/dir");
    ExpectLastRequest(REQUEST_ADDDB, databaseArguments);
    session.ModifyDatabase("sales", "desc", "/dir");
    ExpectLastRequest(REQUEST_MODIFYDB, databaseArguments);
    session.DeleteDatabase("sales");
    ExpectLastRequest(REQUEST_DELETEDB, [](MessageWriter& w) { w.AppendString("sales"); });

    Replying([](MessageWriter& w) { w.AppendStringList({"bob"}); });
    session.GetDatabaseUserNames("", names);
    ExpectLastRequest(REQUEST_GETDBUSERNAMES, [](MessageWriter& w) { w.AppendString(""); });
    EXPECT_EQ(names, (StringList{"bob"}));

    std::uint8_t rights = 0;
    Replying([](MessageWriter& w) { w.AppendByte(0x03); });
    session.GetDatabaseUser("sales", "bob", rights);
    auto pair = [](MessageWriter& w)
    {
        w.AppendString("sales");
        w.AppendString("bob");
    };
    ExpectLastRequest(REQUEST_GETDBUSER, pair);
    EXPECT_EQ(rights, 0x03);

    session.AddDatabaseUser("sales", "bob", AllRights);
    ExpectLastRequest(REQUEST_ADDDBUSER,
                      [&](MessageWriter& w)
                      {
                          pair(w);
                          w.AppendByte(0x7F);
                      });
    session.ModifyDatabaseUser("sales", "bob", 0);
    ExpectLastRequest(REQUEST_MODIFYDBUSER,
                      [&](MessageWriter& w)
                      {
                          pair(w);
                          w.AppendByte(0);
                      });
    session.DeleteDatabaseUser("sales", "bob");
    ExpectLastRequest(REQUEST_DELETEDBUSER, pair);
}

TEST_F(AdminRequestsTest, ConfigurationAndLog)
{
    // The five numbers and the directory, the same bytes in the reply and in the request.
    static const auto numbersAndDirectory = [](MessageWriter& w)
    {
        w.AppendUInt16(100);
        w.AppendUInt16(300);
        w.AppendUInt16(30);
        w.AppendUInt16(600);
        w.AppendUInt16(64);
        w.AppendString("/tmp/korvel");
    };
    ServerConfig config;
    config.AuthorizedAddresses = {"kept"};
    Replying(
        [](MessageWriter& w)
        {
            w.AppendBool(true);
            numbersAndDirectory(w);
            w.AppendStringList({"10.0.0.*"});
            w.AppendStringList({});
        });
    session.GetConfig(config);
    ExpectLastRequest(REQUEST_GETCONFIG);
    EXPECT_TRUE(config.DenyLogins);
    EXPECT_EQ(config.MaxConnections, 100);
    EXPECT_EQ(config.ConnectionTimeout, 300);
    EXPECT_EQ(config.DeadSessionInterval, 30);
    EXPECT_EQ(config.DeadSessionExpires, 600);
    EXPECT_EQ(config.MaxDeadSessions, 64);
    EXPECT_EQ(config.TempDirectory, "/tmp/korvel");
    EXPECT_EQ(config.AuthorizedAddresses, (StringList{"kept", "10.0.0.*"})); // appended
    EXPECT_TRUE(config.BlockedAddresses.empty());

    config.AuthorizedAddresses = {"1.2.3.4", std::string(300, 'a')};
    session.ModifyConfig(config);
    ExpectLastRequest(REQUEST_MODIFYCONFIG,
                      [](MessageWriter& w)
                      {
                          w.AppendByte(1);
                          numbersAndDirectory(w);
                          w.AppendInt32(2);
                          w.AppendString("1.2.3.4");
                          w.AppendValue(std::string(255, 'a').data(), 255);
                          w.AppendInt32(0);
                      });

    StringList lines{"old"};
    Replying([](MessageWriter& w) { w.AppendText("started\r\nlogin bob\nlast line"); });
    session.GetLog(lines);
    ExpectLastRequest(REQUEST_GETLOG);
    EXPECT_EQ(lines, (StringList{"started", "login bob", "last line"}));
    Replying([](MessageWriter& w) { w.AppendText(""); });
    session.GetLog(lines);
    EXPECT_TRUE(lines.empty());
}

TEST_F(AdminRequestsTest, ControlAndStatus)
{
    session.StartServer();
    ExpectLastRequest(REQUEST_STARTSERVER);
    session.StopServer();
    ExpectLastRequest(REQUEST_STOPSERVER);

    const std::pair<std::uint16_t, std::int32_t (TDataSession::*)()> numbers[] = {
        {REQUEST_GETUPTIME, &TDataSession::GetUpTime},
        {REQUEST_GETMAINPORT, &TDataSession::GetMainPort},
        {REQUEST_GETADMINPORT, &TDataSession::GetAdminPort},
        {REQUEST_GETSESSIONS, &TDataSession::GetSessionCount},
        {REQUEST_GETCONNECTEDSESSIONS, &TDataSession::GetConnectedSessionCount}};
    for (const auto& [code, operation] : numbers)
    {
        Replying([code = code](MessageWriter& w) { w.AppendInt32(-1000 - code); });
        EXPECT_EQ((session.*operation)(), -1000 - code);
        ExpectLastRequest(code);
    }

    Replying([](MessageWriter& w) { w.AppendDouble(12.5); });
    EXPECT_EQ(session.GetMemoryUsage(), 12.5);
    ExpectLastRequest(REQUEST_GETMEMORYUSAGE);

    const std::pair<std::uint16_t, std::string (TDataSession::*)()> strings[] = {
        {REQUEST_GETSERVERNAME, &TDataSession::GetServerName},
        {REQUEST_GETMAINADDRESS, &TDataSession::GetMainAddress},
        {REQUEST_GETADMINADDRESS, &TDataSession::GetAdminAddress}};
    for (const auto& [code, operation] : strings)
    {
        Replying([code = code](MessageWriter& w) { w.AppendString(RequestCodeName(code)); });
        EXPECT_EQ((session.*operation)(), RequestCodeName(code));
        ExpectLastRequest(code);
    }
}

TEST_F(AdminRequestsTest, ServerSessions)
{
    SessionInfo info;
    info.DisconnectedDetail = "untouched";
    Replying([](MessageWriter& w) { w.AppendBool(false); });
    EXPECT_FALSE(session.GetSessionInfo(3, info));
    ExpectLastRequest(REQUEST_GETSESSIONINFO, [](MessageWriter& w) { w.AppendInt32(3); });
    EXPECT_EQ(info.DisconnectedDetail, "untouched");

    auto fullInfo = [](MessageWriter& w)
    {
        w.AppendBool(true);
        w.AppendInt32(17);
        w.AppendDouble(45000.5);
        w.AppendDouble(45001.25);
        w.AppendString("bob");
        w.AppendString("");
        w.AppendBool(true);
        w.AppendString("timed out");
    };
    Replying(fullInfo);
    EXPECT_TRUE(session.GetSessionInfo(1, info));
    EXPECT_EQ(info.ServerSessionId, 17);
    EXPECT_EQ(info.CreatedOn, 45000.5);
    EXPECT_EQ(info.LastConnected, 45001.25);
    EXPECT_EQ(info.UserName, "bob");
    EXPECT_EQ(info.UserAddress, "");
    EXPECT_TRUE(info.LanSession);
    EXPECT_EQ(info.DisconnectedDetail, "timed out");

    Replying([](MessageWriter& w) { w.AppendBool(true); });
    EXPECT_TRUE(session.DisconnectSession(17));
    ExpectLastRequest(REQUEST_DISCONNECTSESSION, [](MessageWriter& w) { w.AppendInt32(17); });
    Replying([](MessageWriter& w) { w.AppendBool(false); });
    EXPECT_FALSE(session.RemoveSession(17));
    ExpectLastRequest(REQUEST_REMOVESESSION, [](MessageWriter& w) { w.AppendInt32(17); });
}

TEST_F(AdminRequestsTest, VersionGates)
{
    const auto withVersion = [&](std::optional<std::int64_t> version)
    {
        peer.SetServerVersion(version);
        auto gated = std::make_unique<TDataSession>();
        LogIn(*gated);
        return gated;
    };
    auto fullInfo = [](MessageWriter& w)
    {
        w.AppendBool(true);
        w.AppendInt32(1);
        w.AppendDouble(1);
        w.AppendDouble(2);
        w.AppendString("u");
        w.AppendString("");
        w.AppendBool(false);
        w.AppendString("detail");
    };

    // 3.08 to 3.10: session details are read, names and addresses are not asked for.
    auto v308 = withVersion(30800);
    const std::size_t before = peer.Requests().size();
    EXPECT_EQ(v308->GetServerName(), "");
    EXPECT_EQ(v308->GetMainAddress(), "");
    EXPECT_EQ(v308->GetAdminAddress(), "");
    EXPECT_EQ(peer.Requests().size(), before);
    SessionInfo info;
    Replying(fullInfo);
    EXPECT_TRUE(v308->GetSessionInfo(1, info));
    EXPECT_EQ(info.DisconnectedDetail, "detail");

    // Below 3.08 the detail stays unread, and the extra value is ignored.
    auto v304 = withVersion(30400);
    SessionInfo older;
    Replying(fullInfo);
    EXPECT_TRUE(v304->GetSessionInfo(1, older));
    EXPECT_EQ(older.UserName, "u");
    EXPECT_EQ(older.DisconnectedDetail, "");
    v304->StartServer(); // the connection carries on normally
    EXPECT_EQ(peer.Requests().back().Code(), REQUEST_STARTSERVER);
    v304->SendSessionParams(); // 3.04 is the first version that takes the lock protocol
    EXPECT_EQ(peer.Requests().back().Header.PayloadSize, 32);

    auto unversioned = withVersion(std::nullopt);
    EXPECT_EQ(unversioned->GetServerName(), "");
}

TEST_F(AdminRequestsTest, ASessionThatIsNotRemoteSendsNothing)
{
    TDataSession local;
    PointAtPeer(local);
    local.SetRemote(false);
    const std::size_t before = peer.Requests().size();

    StringList names{"x"};
    local.GetUserNames(names);
    EXPECT_TRUE(names.empty());
    names = {"x"};
    local.GetDatabaseNames(names);
    EXPECT_TRUE(names.empty());
    names = {"x"};
    local.GetDatabaseUserNames("db", names);
    EXPECT_TRUE(names.empty());
    std::string text = "kept";
    bool flag = true;
    std::uint8_t rights = 9;
    local.GetUser("u", text, text, flag);
    local.GetDatabase("d", text, text);
    local.GetDatabaseUser("d", "u", rights);
    EXPECT_EQ(text, "kept");
    EXPECT_TRUE(flag);
    EXPECT_EQ(rights, 9);
    local.AddUser("u", "p", "d", true);
    local.ModifyUser("u", "p", "d", true);
    local.DeleteUser("u");
    local.AddDatabase("d", "x", "y");
    local.ModifyDatabase("d", "x", "y");
    local.DeleteDatabase("d");
    local.AddDatabaseUser("d", "u", 1);
    local.ModifyDatabaseUser("d", "u", 1);
    local.DeleteDatabaseUser("d", "u");
    ServerConfig config;
    config.TempDirectory = "kept";
    local.GetConfig(config);
    local.ModifyConfig(config);
    EXPECT_EQ(config.TempDirectory, "kept");
    StringList lines{"kept"};
    local.GetLog(lines);
    EXPECT_EQ(lines, StringList{"kept"});
    local.StartServer();
    local.StopServer();
    EXPECT_EQ(local.GetUpTime(), 0);
    EXPECT_EQ(local.GetMemoryUsage(), 0.0);
    EXPECT_EQ(local.GetServerName(), "");
    EXPECT_EQ(local.GetMainAddress(), "");
    EXPECT_EQ(local.GetAdminAddress(), "");
    EXPECT_EQ(local.GetMainPort(), 0);
    EXPECT_EQ(local.GetAdminPort(), 0);
    EXPECT_EQ(local.GetSessionCount(), 0);
    EXPECT_EQ(local.GetConnectedSessionCount(), 0);
    SessionInfo info;
    EXPECT_FALSE(local.GetSessionInfo(1, info));
    EXPECT_FALSE(local.DisconnectSession(1));
    EXPECT_FALSE(local.RemoveSession(1));
    EXPECT_EQ(peer.Requests().size(), before);
    EXPECT_FALSE(local.Connected());
}

} // namespace
} // namespace korvel
