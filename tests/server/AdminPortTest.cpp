// The administration port against a real korvel-refserver: every request round-trips through the engine
// client, every refusal carries its code and context, state survives restarts and kill -9, and versions shape
// the replies.
#include "engine/wire/ErrorCodes.h"
#include "engine/wire/RequestCodes.h"
#include "tests/server/ServerTestSupport.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace korvel::test
{
namespace
{

TEST(AdminPort, UsersRoundTrip)
{
    RefServer server;
    auto admin = OpenSession(server);
    admin->AddUser("bob", "pw1", "line one\r\nline two", false);
    admin->AddUser("carol", "", "", true);

    StringList names;
    admin->GetUserNames(names);
    EXPECT_EQ(names, (StringList{"admin", "bob", "carol"}));

    std::string password, description;
    bool administrator = true;
    admin->GetUser("bob", password, description, administrator);
    EXPECT_EQ(password, "pw1");
    EXPECT_EQ(description, "line one\r\nline two");
    EXPECT_FALSE(administrator);

    admin->ModifyUser("bob", "pw2", "changed", true);
    admin->GetUser("bob", password, description, administrator);
    EXPECT_EQ(password, "pw2");
    EXPECT_EQ(description, "changed");
    EXPECT_TRUE(administrator);
    admin->GetUser("carol", password, description, administrator);
    EXPECT_EQ(password, "");

    admin->DeleteUser("carol");
    admin->GetUserNames(names);
    EXPECT_EQ(names, (StringList{"admin", "bob"}));
    // The changed user can now administer the server with the new password.
    EXPECT_NO_THROW(OpenSession(server, true, true, "bob", "pw2"));
}

TEST(AdminPort, DatabasesAndRightsRoundTrip)
{
    RefServer server;
    auto admin = OpenSession(server, true, /*lan=*/false); // Internet mode: every message compressed
    admin->AddUser("bob", "pw", "", false);
    admin->AddUser("dave", "pw", "", false);
    admin->AddDatabase("sales", "Sales data", "/data/sales");
    admin->AddDatabase("hr", "", "/data/hr");

    StringList names;
    admin->GetDatabaseNames(names);
    EXPECT_EQ(names, (StringList{"hr", "sales"}));
    std::string description, directory;
    admin->ModifyDatabase("sales", "Sales 2026", "/srv/sales");
    admin->GetDatabase("sales", description, directory);
    EXPECT_EQ(description, "Sales 2026");
    EXPECT_EQ(directory, "/srv/sales");

    admin->AddDatabaseUser("sales", "bob", RightRead | RightInsert);
    admin->AddDatabaseUser("sales", "dave", AllRights);
    admin->AddDatabaseUser("hr", "bob", 0);
    std::uint8_t rights = 0xFF;
    admin->GetDatabaseUser("sales", "bob", rights);
    EXPECT_EQ(rights, RightRead | RightInsert);
    admin->ModifyDatabaseUser("sales", "bob", RightDrop);
    admin->GetDatabaseUser("sales", "bob", rights);
    EXPECT_EQ(rights, RightDrop);
    admin->GetDatabaseUserNames("sales", names);
    EXPECT_EQ(names, (StringList{"bob", "dave"}));

    admin->DeleteDatabaseUser("sales", "dave");
    admin->GetDatabaseUserNames("sales", names);
    EXPECT_EQ(names, (StringList{"bob"}));
    // Deleting a user takes its rights with it; deleting a database takes its users.
    admin->DeleteUser("bob");
    admin->GetDatabaseUserNames("sales", names);
    EXPECT_TRUE(names.empty());
    admin->AddDatabaseUser("hr", "dave", RightRead);
    admin->DeleteDatabase("hr");
    admin->AddDatabase("hr", "", "/data/hr");
    admin->GetDatabaseUserNames("hr", names);
    EXPECT_TRUE(names.empty());
}

TEST(AdminPort, ConfigurationStartsWithDefaultsAndRoundTrips)
{
    RefServer server;
    auto admin = OpenSession(server);
    ServerConfig config;
    admin->GetConfig(config);
    EXPECT_FALSE(config.DenyLogins);
    EXPECT_EQ(config.MaxConnections, 0);
    EXPECT_EQ(config.ConnectionTimeout, 0);
    EXPECT_EQ(config.DeadSessionInterval, 30);
    EXPECT_EQ(config.DeadSessionExpires, 300);
    EXPECT_EQ(config.MaxDeadSessions, 100);
    EXPECT_EQ(config.TempDirectory, "");
    EXPECT_TRUE(config.AuthorizedAddresses.empty());
    EXPECT_TRUE(config.BlockedAddresses.empty());

    ServerConfig changed{true, 10, 20, 5, 60, 7, "/tmp/korvel", {"127.0.0.*", "", "10.1.2.3"}, {"192.168.*"}};
    admin->ModifyConfig(changed);
    ServerConfig read;
    admin->GetConfig(read);
    EXPECT_EQ(read.DenyLogins, true);
    EXPECT_EQ(read.MaxConnections, 10);
    EXPECT_EQ(read.ConnectionTimeout, 20);
    EXPECT_EQ(read.DeadSessionInterval, 5);
    EXPECT_EQ(read.DeadSessionExpires, 60);
    EXPECT_EQ(read.MaxDeadSessions, 7);
    EXPECT_EQ(read.TempDirectory, "/tmp/korvel");
    EXPECT_EQ(read.AuthorizedAddresses, changed.AuthorizedAddresses);
    EXPECT_EQ(read.BlockedAddresses, changed.BlockedAddresses);
}

TEST(AdminPort, RefusalsCarryTheirCodeAndContext)
{
    RefServer server;
    auto admin = OpenSession(server);
    admin->AddUser("bob", "pw", "", false);
    admin->AddDatabase("sales", "", "/data/sales");
    admin->AddDatabaseUser("sales", "bob", RightRead);

    auto refusal = [&](auto action) -> EKORVELEngineError
    {
        try
        {
            action();
        }
        catch (const EKORVELEngineError& error)
        {
            return error;
        }
        ADD_FAILURE() << "no refusal";
        return EKORVELEngineError(0);
    };
    auto check = [&](auto action, std::uint16_t code, const std::string& user, const std::string& database)
    {
        auto error = refusal(action);
        EXPECT_EQ(error.ErrorCode, code);
        EXPECT_EQ(error.ErrorUserName, user) << code;
        EXPECT_EQ(error.ErrorDatabaseName, database) << code;
        EXPECT_EQ(error.ErrorRemoteName, "127.0.0.1");
    };
    std::string a, b;
    bool flag = false;
    std::uint8_t rights = 0;
    check([&] { admin->AddUser("", "pw", "", false); }, KORVEL_REMOTEINVUSER, "", "");
    check([&] { admin->AddUser("bob", "pw", "", false); }, KORVEL_REMOTEDUPUSER, "bob", "");
    check([&] { admin->GetUser("nobody", a, b, flag); }, KORVEL_REMOTENOUSER, "nobody", "");
    check([&] { admin->ModifyUser("nobody", "", "", false); }, KORVEL_REMOTENOUSER, "nobody", "");
    check([&] { admin->DeleteUser("nobody"); }, KORVEL_REMOTENOUSER, "nobody", "");

    check([&] { admin->AddDatabase("", "", "/x"); }, KORVEL_REMOTEINVDB, "", "");
    check([&] { admin->AddDatabase("x", "", ""); }, KORVEL_REMOTEINVDB, "", "x");
    check([&] { admin->ModifyDatabase("sales", "", ""); }, KORVEL_REMOTEINVDB, "", "sales");
    check([&] { admin->AddDatabase("sales", "", "/y"); }, KORVEL_REMOTEDUPDB, "", "sales");
    check([&] { admin->GetDatabase("nodb", a, b); }, KORVEL_REMOTENODB, "", "nodb");
    check([&] { admin->ModifyDatabase("nodb", "", "/z"); }, KORVEL_REMOTENODB, "", "nodb");
    check([&] { admin->DeleteDatabase("nodb"); }, KORVEL_REMOTENODB, "", "nodb");

    check([&] { admin->AddDatabaseUser("sales", "", RightRead); }, KORVEL_REMOTEINVDBUSER, "", "sales");
    check([&] { admin->AddDatabaseUser("nodb", "bob", RightRead); }, KORVEL_REMOTENODB, "", "nodb");
    check([&] { admin->AddDatabaseUser("sales", "nobody", RightRead); }, KORVEL_REMOTENOUSER, "nobody", "");
    check([&] { admin->AddDatabaseUser("sales", "bob", RightRead); }, KORVEL_REMOTEDUPDBUSER, "bob", "sales");
    check([&] { admin->GetDatabaseUser("sales", "admin", rights); }, KORVEL_REMOTENODBUSER, "admin", "sales");
    check([&] { admin->ModifyDatabaseUser("sales", "admin", 0); }, KORVEL_REMOTENODBUSER, "admin", "sales");
    check([&] { admin->DeleteDatabaseUser("sales", "admin"); }, KORVEL_REMOTENODBUSER, "admin", "sales");

    // An unknown request code, sent through the session's own exchange.
    admin->SetRequestCode(120);
    admin->BeginRequest();
    admin->FinishRequest();
    admin->Call();
    EXPECT_EQ(admin->ReplyCode(), KORVEL_REMOTEINVREQUEST);
}

TEST(AdminPort, LoginAndRequestsBeforeIt)
{
    RefServer server;
    OpenSession(server)->AddUser("bob", "pw", "", false);

    RawClient raw(server.AdminPort());
    raw.Send(RawConnectParams());
    ASSERT_EQ(ReplyCodeOf(raw.Receive()), KORVEL_NONE);
    raw.Send(RawRequest(REQUEST_GETUSERNAMES));
    EXPECT_EQ(ReplyCodeOf(raw.Receive()), KORVEL_REMOTENOTADMIN);
    raw.Send(RawRequest(REQUEST_LOGIN, {RawValue("bob"), RawValue("pw")}));
    EXPECT_EQ(ReplyCodeOf(raw.Receive()), KORVEL_REMOTENOTADMIN);
    raw.Send(RawRequest(REQUEST_LOGIN, {RawValue("admin"), RawValue("wrong")}));
    EXPECT_EQ(ReplyCodeOf(raw.Receive()), KORVEL_REMOTEINVLOGIN);
    raw.Send(RawRequest(REQUEST_LOGIN, {RawValue("admin"), RawValue("secret")}));
    EXPECT_EQ(ReplyCodeOf(raw.Receive()), KORVEL_NONE);
    raw.Send(RawRequest(REQUEST_GETUPTIME));
    auto reply = raw.Receive();
    EXPECT_EQ(ReplyCodeOf(reply), KORVEL_NONE);
    EXPECT_EQ(reply.size(), 18u); // header, then one 4-byte value
}

TEST(AdminPort, StatusValues)
{
    RefServer server(ServerWith({"--name", "testhost"}));
    auto admin = OpenSession(server);
    EXPECT_GE(admin->GetUpTime(), 0);
    double memory = admin->GetMemoryUsage();
    EXPECT_GT(memory, 0.5);
    EXPECT_LT(memory, 1000.0);
    EXPECT_EQ(admin->GetMainPort(), server.MainPort());
    EXPECT_EQ(admin->GetAdminPort(), server.AdminPort());
    EXPECT_EQ(admin->GetMainAddress(), "127.0.0.1");
    EXPECT_EQ(admin->GetAdminAddress(), "127.0.0.1");
    EXPECT_EQ(admin->GetServerName(), "testhost");
    EXPECT_EQ(admin->ServerVersion(), 32100);
    EXPECT_EQ(admin->GetSessionCount(), 0); // administration sessions are not listed
}

TEST(AdminPort, LogRecordsEventsAndReturnsItsEnd)
{
    RefServer server(ServerWith({"--max-log", "400"}));
    auto admin = OpenSession(server);
    admin->AddUser("bob", "pw", "", false);
    StringList lines;
    admin->GetLog(lines);
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.back().find("Administrator 'admin' added user 'bob'"), std::string::npos) << lines.back();
    std::size_t bytes = 0;
    for (const auto& line : lines)
        bytes += line.size() + 1;
    EXPECT_LE(bytes, 400u);

    std::ifstream file(server.DataDir() + "/server.log");
    std::string all((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_NE(all.find("Server started"), std::string::npos);
    EXPECT_NE(all.find("Login of user 'admin' from 127.0.0.1 on the administration port"), std::string::npos);
}

TEST(AdminPort, StateSurvivesRestartAndKill)
{
    RefServer server;
    {
        auto admin = OpenSession(server);
        admin->AddUser("bob", "pw", "kept", false);
        admin->AddDatabase("sales", "", "/data/sales");
        admin->AddDatabaseUser("sales", "bob", RightUpdate);
        ServerConfig config;
        config.MaxConnections = 3;
        config.BlockedAddresses = {"10.*"};
        admin->ModifyConfig(config);
    }
    EXPECT_EQ(server.Stop(), 0);
    server.Start();
    {
        auto admin = OpenSession(server);
        std::string password, description;
        bool administrator = true;
        admin->GetUser("bob", password, description, administrator);
        EXPECT_EQ(description, "kept");
        std::uint8_t rights = 0;
        admin->GetDatabaseUser("sales", "bob", rights);
        EXPECT_EQ(rights, RightUpdate);
        ServerConfig config;
        admin->GetConfig(config);
        EXPECT_EQ(config.MaxConnections, 3);
        EXPECT_EQ(config.BlockedAddresses, StringList{"10.*"});
        // kill -9 right after the reply: the change was committed before the reply left.
        admin->AddUser("erin", "pw", "", false);
        server.Kill();
    }
    server.Start();
    StringList names;
    OpenSession(server)->GetUserNames(names);
    EXPECT_EQ(names, (StringList{"admin", "bob", "erin"}));
}

TEST(AdminPort, FirstStartWithoutCredentialsMakesARandomAdministratorPassword)
{
    RefServerOptions noCredentials;
    noCredentials.AdminUser.clear();
    noCredentials.AdminPassword.clear();
    RefServer server(noCredentials);
    std::string path = server.DataDir() + "/initial-admin-password";
    struct stat info
    {
    };
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    std::ifstream file(path);
    std::string password;
    std::getline(file, password);
    EXPECT_EQ(password.size(), 20u);
    EXPECT_NO_THROW(OpenSession(server, true, true, "admin", password));

    RefServer other(noCredentials);
    std::ifstream otherFile(other.DataDir() + "/initial-admin-password");
    std::string otherPassword;
    std::getline(otherFile, otherPassword);
    EXPECT_NE(password, otherPassword);
}

// Sends a request through the session's own exchange and returns the reply code.
std::uint16_t RawCode(TDataSession& session, std::uint16_t code)
{
    session.SetRequestCode(code);
    session.BeginRequest();
    session.FinishRequest();
    session.Call();
    return session.ReplyCode();
}

// The number of values after the found flag in the first session's information.
int SessionInfoValues(TDataSession& admin)
{
    admin.SetRequestCode(REQUEST_GETSESSIONINFO);
    admin.BeginRequest();
    admin.Request().AppendInt32(1);
    admin.FinishRequest();
    admin.Call();
    admin.CheckReply();
    int values = 0;
    std::uint8_t skipped[256];
    while (admin.HasMoreValues())
    {
        admin.Reply().ReadValue(skipped, sizeof skipped);
        ++values;
    }
    return values;
}

TEST(AdminPort, VersionsShapeTheReplies)
{
    struct Shape
    {
        std::string Version;
        std::int64_t Stated;
        bool NameAndAddresses;
        int InfoValues;
    };
    for (const Shape& shape : {Shape{"none", 30300, false, 7}, Shape{"3.07", 30700, false, 7},
                               Shape{"3.08", 30800, false, 8}, Shape{"3.11", 31100, true, 8}})
    {
        SCOPED_TRACE(shape.Version);
        RefServer server(ServerWith({}, shape.Version));
        auto admin = OpenSession(server);
        auto user = OpenSession(server, /*adminPort=*/false);
        EXPECT_EQ(admin->ServerVersion(), shape.Stated);
        std::uint16_t expected = shape.NameAndAddresses ? KORVEL_NONE : KORVEL_REMOTEINVREQUEST;
        EXPECT_EQ(RawCode(*admin, REQUEST_GETSERVERNAME), expected);
        EXPECT_EQ(RawCode(*admin, REQUEST_GETMAINADDRESS), expected);
        EXPECT_EQ(RawCode(*admin, REQUEST_GETADMINADDRESS), expected);
        EXPECT_EQ(SessionInfoValues(*admin), shape.InfoValues);
        SessionInfo info;
        EXPECT_TRUE(admin->GetSessionInfo(1, info));
        EXPECT_EQ(info.ServerSessionId, user->SessionId());
        EXPECT_NO_THROW(user->SendSessionParams()) << "LockProtocol is sent from 3.04 on only";
    }
}

} // namespace
} // namespace korvel::test
