// The administration methods: argument cutting and conversions, list clearing, results of a local session,
// and callers on several threads serialised on one connection.
#include "SessionTest.h"

#include "engine/wire/EngineError.h"
#include "engine/wire/ErrorCodes.h"

#include <algorithm>
#include <chrono>
#include <future>
#include <thread>

namespace korvel::test
{
namespace
{

class SessionAdministrationTest : public SessionTest
{
protected:
    // An active remote session; `afterLogin` is the number of requests its activation made.
    std::unique_ptr<TKORVELSession> LoggedIn()
    {
        auto session = RemoteSession();
        session->SetActive(true);
        afterLogin = peer.RequestCodes().size();
        return session;
    }

    std::size_t afterLogin = 0;
};

TEST_F(SessionAdministrationTest, StringsAreCutAndRightsAndFlagsConverted)
{
    auto session = LoggedIn();
    peer.Then(ScriptedPeer::Answer(0));
    session->AddServerUser("bob", std::string(300, 'p'), "d", true);
    const auto userRequests = peer.Requests();
    auto added = userRequests.back().Reader();
    std::string user, password;
    added.Read(user);
    added.Read(password);
    EXPECT_EQ(password, std::string(255, 'p'));

    peer.Then(ScriptedPeer::Answer(0));
    session->AddServerDatabaseUser("db", "bob", {urRead, urUpdate});
    const auto rightsRequests = peer.Requests();
    auto rights = rightsRequests.back().Reader();
    std::string database;
    std::uint8_t byte = 0;
    rights.Read(database);
    rights.Read(user);
    rights.Read(byte);
    EXPECT_EQ(byte, 0x05);

    peer.Then(ScriptedPeer::Answer(0, [](MessageWriter& w) { w.AppendByte(0x85); })); // bit 7 means nothing
    TUserRights received{urDrop};
    session->GetServerDatabaseUser("db", "bob", received);
    EXPECT_EQ(received, (TUserRights{urRead, urUpdate}));

    auto sessionInfo = [](std::int32_t id, bool lan)
    {
        return ScriptedPeer::Answer(0,
                                    [id, lan](MessageWriter& w)
                                    {
                                        w.AppendBool(true);
                                        w.AppendInt32(id);
                                        w.AppendDouble(45000.5);
                                        w.AppendDouble(45000.75);
                                        w.AppendString("carol");
                                        w.AppendString("10.0.0.7");
                                        w.AppendBool(lan);
                                        w.AppendString("");
                                    });
    };
    peer.Then(sessionInfo(7, true));
    peer.Then(sessionInfo(8, false));
    std::int32_t id = 0;
    double created = 0, last = 0;
    std::string name, address, detail;
    bool internet = true;
    EXPECT_TRUE(session->GetServerSessionInfo(1, id, created, last, name, address, internet, detail));
    EXPECT_EQ(id, 7);
    EXPECT_EQ(name, "carol");
    EXPECT_FALSE(internet); // a LAN client
    EXPECT_TRUE(session->GetServerSessionInfo(2, id, created, last, name, address, internet, detail));
    EXPECT_TRUE(internet);
    EXPECT_DOUBLE_EQ(created, 45000.5);

    peer.Then(ScriptedPeer::Answer(0, [](MessageWriter& w) { w.AppendBool(false); }));
    name = "kept";
    id = 99;
    EXPECT_FALSE(session->GetServerSessionInfo(3, id, created, last, name, address, internet, detail));
    EXPECT_EQ(name, "kept");
    EXPECT_EQ(id, 99);
}

TEST_F(SessionAdministrationTest, ListsAreEmptiedFirstEvenWhenTheServerRefuses)
{
    auto session = LoggedIn();
    peer.Then(ScriptedPeer::AnswerError(KORVEL_REMOTENOTADMIN));
    ServerConfig config;
    config.AuthorizedAddresses = {"10.0.0.1"};
    config.BlockedAddresses = {"10.0.0.2"};
    config.TempDirectory = "/old";
    config.MaxConnections = 77;
    try
    {
        session->GetServerConfig(config);
        ADD_FAILURE() << "the refusal was not raised";
    }
    catch (const EKORVELEngineError& error)
    {
        EXPECT_EQ(error.ErrorCode, KORVEL_REMOTENOTADMIN);
    }
    EXPECT_TRUE(config.AuthorizedAddresses.empty());
    EXPECT_TRUE(config.BlockedAddresses.empty());
    EXPECT_EQ(config.TempDirectory, "");

    peer.Then(ScriptedPeer::AnswerError(KORVEL_REMOTENODB));
    StringList names{"stale"};
    EXPECT_THROW(session->GetServerDatabaseUserNames("missing", names), EKORVELEngineError);
    EXPECT_TRUE(names.empty());
    EXPECT_TRUE(session->Active()); // a refusal does not end the session

    peer.Then(ScriptedPeer::Answer(0, [](MessageWriter& w) { w.AppendStringList({"a", "b"}); }));
    session->GetServerUserNames(names);
    EXPECT_EQ(names, (StringList{"a", "b"}));
}

TEST_F(SessionAdministrationTest, ALostRemoteSessionIsReadableWithoutTheLock)
{
    auto session = LoggedIn();
    EXPECT_FALSE(session->RemoteSessionLost());

    // The server answers the re-connection after a broken exchange with an error: it forgot the session.
    peer.Then(ScriptedPeer::CloseAfterBytes(5));
    peer.Then(ScriptedPeer::AnswerError(KORVEL_REMOTECONNECT));
    try
    {
        session->GetServerUpTime();
        ADD_FAILURE() << "no engine error was raised";
    }
    catch (const EKORVELEngineError& error)
    {
        EXPECT_EQ(error.ErrorCode, KORVEL_REMOTECONNECT);
    }

    // Another thread reads it while this one holds the session lock.
    session->LockSession();
    auto lost = std::async(std::launch::async, [&] { return session->RemoteSessionLost(); });
    ASSERT_EQ(lost.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_TRUE(lost.get());
    session->UnlockSession();

    // The next method re-connects; the server knows the session again.
    peer.Then(peer.Automatic());
    peer.Then(ScriptedPeer::Answer(0, [](MessageWriter& w) { w.AppendInt32(9); }));
    EXPECT_EQ(session->GetServerUpTime(), 9);
    EXPECT_FALSE(session->RemoteSessionLost());

    // A server that cannot be reached is not a lost session.
    peer.Then(ScriptedPeer::CloseAfterBytes(5));
    peer.Then(ScriptedPeer::CloseAfterBytes(3));
    EXPECT_THROW(session->GetServerUpTime(), EKORVELEngineError);
    EXPECT_FALSE(session->RemoteSessionLost());
}

TEST_F(SessionAdministrationTest, ALocalSessionSendsNothingAndKeepsTheCallersValues)
{
    TKORVELSession local;
    local.SetSessionName("Local");
    StringList names{"stale"};
    local.GetServerUserNames(names); // activates the local session on the way
    EXPECT_TRUE(local.Active());
    EXPECT_TRUE(names.empty());
    EXPECT_EQ(local.GetServerUpTime(), 0);
    EXPECT_EQ(local.GetServerMemoryUsage(), 0.0);
    std::string version = "x";
    local.GetServerEngineVersion(version);
    EXPECT_EQ(version, "0.00");
    std::string password = "old", description = "old";
    bool administrator = true;
    local.GetServerUser("bob", password, description, administrator);
    EXPECT_TRUE(administrator);
    EXPECT_EQ(password, "");
    ServerConfig config;
    config.TempDirectory = "/old";
    config.MaxConnections = 77;
    local.GetServerConfig(config);
    EXPECT_EQ(config.TempDirectory, "");  // a string output: emptied
    EXPECT_EQ(config.MaxConnections, 77); // written directly by the remote session: kept
    TUserRights rights{urRead};
    local.GetServerDatabaseUser("db", "bob", rights);
    EXPECT_TRUE(rights.Empty());
    EXPECT_FALSE(local.DisconnectServerSession(1));
    EXPECT_EQ(peer.Connections(), 0);
}

TEST_F(SessionAdministrationTest, TheEngineVersionOfAServerWithoutOneIsAskedForNothing)
{
    peer.SetServerVersion(std::nullopt);
    auto session = LoggedIn();
    std::string version;
    session->GetServerEngineVersion(version);
    EXPECT_EQ(version, "3.03");
    EXPECT_TRUE(CodesAfter(afterLogin).empty());
}

TEST_F(SessionAdministrationTest, CallersOnSeveralThreadsAreSerialisedOnTheWire)
{
    constexpr int threads = 4;
    constexpr int callsPerThread = 15;
    auto session = LoggedIn();
    for (int i = 0; i < threads * callsPerThread; ++i)
        peer.Then(ScriptedPeer::Answer(0, [i](MessageWriter& w) { w.AppendInt32(1000 + i); }));
    trace.clear();

    std::vector<std::vector<std::int32_t>> results(threads);
    std::vector<std::thread> callers;
    for (int t = 0; t < threads; ++t)
        callers.emplace_back(
            [&, t]
            {
                for (int i = 0; i < callsPerThread; ++i)
                    results[t].push_back(session->GetServerUpTime());
            });
    for (std::thread& caller : callers)
        caller.join();

    // Every answer reached exactly one caller, and every exchange finished before the next began.
    std::vector<std::int32_t> all;
    for (const auto& perThread : results)
        all.insert(all.end(), perThread.begin(), perThread.end());
    std::sort(all.begin(), all.end());
    for (int i = 0; i < threads * callsPerThread; ++i)
        EXPECT_EQ(all[i], 1000 + i);
    ASSERT_EQ(trace.size(), 2u * threads * callsPerThread);
    for (std::size_t i = 0; i < trace.size(); i += 2)
    {
        EXPECT_EQ(trace[i].rfind("Send request - Code: REQUEST_GETUPTIME ", 0), 0u) << trace[i];
        EXPECT_EQ(trace[i + 1].rfind("Receive reply - Code: KORVEL_NONE ", 0), 0u) << trace[i + 1];
    }
}

} // namespace
} // namespace korvel::test
