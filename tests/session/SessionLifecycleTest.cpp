// Activation, deactivation, the session lock and the property rules, on local sessions and against a scripted
// peer.
#include "SessionTest.h"

#include "engine/Engine.h"
#include "engine/wire/EngineError.h"
#include "session/SessionErrors.h"
#include "testing/Eventually.h"

#include <atomic>
#include <fstream>
#include <future>
#include <thread>
#include <unistd.h>
#include <utility>

namespace korvel::test
{
namespace
{

using SessionLifecycleTest = SessionTest;

// Whether another thread could take SessionListLock right now.
// Whether thread `tid` of this process sleeps, as one waiting for a lock does (its state in /proc).
bool Asleep(pid_t tid)
{
    std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const auto name = line.rfind(')'); // the state follows the name, which may hold anything
    return name != std::string::npos && name + 2 < line.size() && line[name + 2] == 'S';
}

bool ListLockFree()
{
    return std::async(std::launch::async,
                      []
                      {
                          std::unique_lock lock(Sessions()->SessionListLock(), std::try_to_lock);
                          return lock.owns_lock();
                      })
        .get();
}

template <typename Action> std::string RefusalOf(Action&& action)
{
    try
    {
        action();
    }
    catch (const EDatabaseError& error)
    {
        return error.what();
    }
    return "(nothing raised)";
}

TEST_F(SessionLifecycleTest, ActivationStartsTheDefaultSessionFirstAndLeavesItActive)
{
    TKORVELSession local;
    local.SetSessionName("Local");
    int startups = 0;
    local.SetOnStartup(
        [&](TKORVELSession& sender)
        {
            EXPECT_EQ(&sender, &local);
            ++startups;
        });
    EXPECT_FALSE(EngineStarted());
    local.SetActive(true);
    local.SetActive(true); // already active: nothing happens again
    EXPECT_EQ(startups, 1);
    EXPECT_TRUE(local.Active());
    EXPECT_TRUE(DefaultSession()->Active());
    EXPECT_TRUE(EngineStarted());
    EXPECT_NE(local.DataSession(), DefaultSession()->DataSession());

    local.LockSession();
    EXPECT_EQ(GetCurrentDataSession(), local.DataSession());
    local.UnlockSession();

    local.Close();
    EXPECT_FALSE(local.Active());
    EXPECT_TRUE(DefaultSession()->Active());
    EXPECT_EQ(GetCurrentDataSession(), DefaultSession()->DataSession());
    EXPECT_TRUE(ListLockFree());
}

TEST_F(SessionLifecycleTest, ActivationWithoutANameFailsAndReleasesEveryLock)
{
    TKORVELSession unnamed;
    EXPECT_EQ(RefusalOf([&] { unnamed.SetActive(true); }), "Session name is missing.");
    EXPECT_FALSE(unnamed.Active());
    EXPECT_TRUE(ListLockFree());

    // LockSession activates an inactive session; its failure leaves the lock free for every thread.
    EXPECT_EQ(RefusalOf([&] { unnamed.LockSession(); }), "Session name is missing.");
    EXPECT_TRUE(ListLockFree());
    unnamed.SetSessionName("Named");
    unnamed.LockSession();
    EXPECT_TRUE(unnamed.Active());
    unnamed.UnlockSession();
}

TEST_F(SessionLifecycleTest, TheSessionLockIsReEnteredByItsThreadAndHeldAgainstOthers)
{
    TKORVELSession local;
    local.SetSessionName("Local");
    local.LockSession();
    local.LockSession();
    EXPECT_FALSE(ListLockFree());

    // Another thread's LockSession on the same session waits, although the count is above zero.
    std::promise<void> entered;
    std::future<void> enteredFuture = entered.get_future();
    std::thread other(
        [&]
        {
            local.LockSession();
            entered.set_value();
            local.UnlockSession();
        });
    local.UnlockSession();
    EXPECT_FALSE(ListLockFree());
    EXPECT_EQ(enteredFuture.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    local.UnlockSession();
    enteredFuture.wait();
    other.join();
    EXPECT_TRUE(ListLockFree());
}

TEST_F(SessionLifecycleTest, AMethodOnALockedButInactiveSessionIsRefusedNotACrash)
{
    const std::string inactive(SessionError::InactiveSession);
    TKORVELSession local;
    local.SetSessionName("Local");
    local.LockSession(); // activates
    local.Close();
    EXPECT_EQ(RefusalOf([&] { local.GetServerUpTime(); }), inactive);
    EXPECT_FALSE(local.Active());
    local.UnlockSession();
    EXPECT_TRUE(ListLockFree());
    EXPECT_EQ(local.GetServerUpTime(), 0); // unlocked, a method activates the session again
    local.Close();

    // An OnStartup handler that uses its session, whether the activation came from SetActive or from a
    // method.
    std::vector<std::string> refusals;
    local.SetOnStartup([&](TKORVELSession& sender)
                       { refusals.push_back(RefusalOf([&] { sender.GetServerUpTime(); })); });
    local.SetActive(true);
    EXPECT_TRUE(local.Active());
    local.Close();
    StringList names{"stale"};
    local.GetServerUserNames(names);
    EXPECT_TRUE(local.Active());
    EXPECT_EQ(refusals, (std::vector<std::string>{inactive, inactive}));
    EXPECT_TRUE(ListLockFree());
}

TEST_F(SessionLifecycleTest, AHandlerIsNotReplacedWhileAnotherThreadRunsIt)
{
    auto session = RemoteSession();
    session->SetActive(true);
    std::promise<void> entered;
    std::atomic<bool> replacing{false}, replaced{false}, replacedWhileRunning{false}, firstCallEnded{false};
    const pid_t replacer = gettid();
    bool first = true;
    session->SetOnRemoteTrace(
        [&](TKORVELSession&, const std::string&)
        {
            if (!std::exchange(first, false))
                return;
            entered.set_value();
            // Runs on until the replacement is asleep waiting for it, or has gone through without waiting.
            Eventually([&] { return replaced || (replacing && Asleep(replacer)); }, std::chrono::seconds(10));
            replacedWhileRunning = replaced.load();
            firstCallEnded = true;
        });
    peer.Then(ScriptedPeer::Answer(0, [](MessageWriter& w) { w.AppendInt32(5); }));
    std::int32_t upTime = 0;
    std::thread caller([&] { upTime = session->GetServerUpTime(); });
    entered.get_future().wait();
    replacing = true;
    session->SetOnRemoteTrace(nullptr);
    replaced = true;
    EXPECT_FALSE(replacedWhileRunning);
    EXPECT_TRUE(firstCallEnded);
    caller.join();
    EXPECT_EQ(upTime, 5);
    EXPECT_FALSE(session->OnRemoteTrace());

    std::thread renamer([&] { session->SetName("Renamed"); });
    renamer.join();
    EXPECT_EQ(session->Name(), "Renamed");
    EXPECT_EQ(session->SessionName(), "Remote");
}

TEST_F(SessionLifecycleTest, RefusedPropertiesRaiseOnAnActiveSessionEvenWithTheSameValue)
{
    TKORVELSession local;
    local.SetSessionName("Local");
    local.SetActive(true);
    const std::string refusal(SessionError::ActiveSession);
    EXPECT_EQ(RefusalOf([&] { local.SetRemotePort(local.RemotePort()); }), refusal);
    EXPECT_EQ(RefusalOf([&] { local.SetRemoteAddress("127.0.0.1"); }), refusal);
    EXPECT_EQ(RefusalOf([&] { local.SetRemoteHost("host"); }), refusal);
    EXPECT_EQ(RefusalOf([&] { local.SetRemoteService(""); }), refusal);
    EXPECT_EQ(RefusalOf([&] { local.SetRemoteUser("u"); }), refusal);
    EXPECT_EQ(RefusalOf([&] { local.SetRemotePassword("p"); }), refusal);
    EXPECT_EQ(RefusalOf([&] { local.SetRemoteType(rtLAN); }), refusal);
    EXPECT_EQ(RefusalOf([&] { local.SetConnection(local.Connection()); }), refusal);
    EXPECT_EQ(RefusalOf([&] { local.SetSessionType(stLocal); }), refusal);
    EXPECT_EQ(RefusalOf([&] { local.SetSessionName("Local"); }), refusal);
    EXPECT_EQ(RefusalOf([&] { local.SetAutoSessionName(true); }), refusal);
    EXPECT_EQ(local.RemotePort(), 12005);

    // Stored only, and passed on to a local remote session without any exchange.
    local.SetKeepConnections(false);
    EXPECT_FALSE(local.KeepConnections());
    local.SetLockWaitTime(250);
    EXPECT_EQ(local.DataSession()->LockWaitTime(), 250);
    local.SetPrivateDir("/tmp/Private");
    EXPECT_EQ(local.DataSession()->PrivateDir(), "/tmp/Private");
    local.SetProgressSteps(101);
    EXPECT_EQ(local.ProgressSteps(), 20);
    local.SetProgressSteps(100);
    EXPECT_EQ(local.DataSession()->ProgressSteps(), 100);

    local.Close();
    local.SetRemotePort(1234); // inactive again: stored
    EXPECT_EQ(local.RemotePort(), 1234);
    local.SetProgressSteps(101);
    EXPECT_EQ(local.ProgressSteps(), 100);
}

TEST_F(SessionLifecycleTest, ThePublishedConnectionPropertiesReadAndWriteTheOneDescription)
{
    SshSettings bastion;
    bastion.Host = "bastion";
    const struct
    {
        ConnectionDescription Given;
        TRemoteType Type;
    } cases[] = {
        {{.Internet = false, .Host = "db", .Address = "10.0.0.1", .Port = 12010, .Service = ""}, rtLAN},
        {{.Internet = true, .Host = "", .Address = "", .Port = 0, .Service = "korvel", .Ssh = bastion},
         rtInternet},
    };
    for (const auto& c : cases)
    {
        TKORVELSession session;
        session.SetConnection(c.Given);
        EXPECT_EQ(session.RemoteType(), c.Type);
        EXPECT_EQ(session.RemoteHost(), c.Given.Host);
        EXPECT_EQ(session.RemoteAddress(), c.Given.Address);
        EXPECT_EQ(session.RemotePort(), c.Given.Port);
        EXPECT_EQ(session.RemoteService(), c.Given.Service);
        EXPECT_EQ(session.Ssh(), c.Given.Ssh);
        // Each setter changes its part of the description alone.
        session.SetRemoteType(c.Type == rtLAN ? rtInternet : rtLAN);
        session.SetRemotePort(c.Given.Port + 1);
        ConnectionDescription expected = c.Given;
        expected.Internet = !c.Given.Internet;
        expected.Port = c.Given.Port + 1;
        EXPECT_EQ(session.Connection(), expected);
    }
}

TEST_F(SessionLifecycleTest, RemoteActivationLogsInWithoutAskingAndTracesFromTheLoginOn)
{
    auto session = RemoteSession();
    int asked = 0;
    session->SetOnRemoteLogin([&](TKORVELSession&, std::string&, std::string&, bool&) { ++asked; });
    session->SetActive(true);
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(peer.RequestCodes(),
              (std::vector<std::uint16_t>{REQUEST_CONNECTPARAMS, REQUEST_LOGIN, REQUEST_SESSIONPARAMS}));
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(trace.front().rfind("Send request - Code: REQUEST_LOGIN ", 0), 0u) << trace.front();
    for (const std::string& line : trace)
        EXPECT_EQ(line.find("Connection to"), std::string::npos) << line;
    const auto requests = peer.Requests();
    auto login = requests[1].Reader();
    std::string user, password;
    login.Read(user);
    login.Read(password);
    EXPECT_EQ(user, "admin");
    EXPECT_EQ(password, "secret");

    session->SetActive(false);
    ASSERT_TRUE(peer.WaitForRequests(4));
    EXPECT_EQ(peer.RequestCodes().back(), REQUEST_LOGOUT);
    EXPECT_TRUE(DefaultSession()->Active());
}

TEST_F(SessionLifecycleTest, IncompleteCredentialsAreAskedForAndCutToTheProtocolSize)
{
    auto session = RemoteSession();
    session->SetRemotePassword("");
    std::string askedUser = "(not asked)";
    session->SetOnRemoteLogin(
        [&](TKORVELSession& sender, std::string& user, std::string& password, bool& go)
        {
            EXPECT_EQ(&sender, session.get());
            EXPECT_TRUE(go);
            askedUser = user;
            user = std::string(300, 'u');
            password = std::string(300, 'p');
        });
    session->SetActive(true);
    EXPECT_EQ(askedUser, "admin");
    const auto requests = peer.Requests();
    auto login = requests[1].Reader();
    std::string user, password;
    login.Read(user);
    login.Read(password);
    EXPECT_EQ(user, std::string(255, 'u'));
    EXPECT_EQ(password, std::string(255, 'p'));
}

TEST_F(SessionLifecycleTest, ACancelledLoginIsSilentAndLeavesTheSessionInactive)
{
    auto session = RemoteSession();
    session->SetRemoteUser("");
    // Without a handler the replaceable dialog is asked; by default it cancels.
    EXPECT_THROW(session->SetActive(true), EAbort);
    EXPECT_FALSE(session->Active());
    EXPECT_TRUE(ListLockFree());

    // An administration method on the inactive session logs in first; a cancel leaves its list empty.
    StringList names{"stale"};
    EXPECT_THROW(session->GetServerUserNames(names), EAbort);
    EXPECT_TRUE(names.empty());
    EXPECT_TRUE(ListLockFree());

    std::string dialogUser = "(not asked)";
    SetRemoteLoginDialog(
        [&](std::string& user, std::string& password)
        {
            dialogUser = user;
            user = "admin";
            password = "secret";
            return true;
        });
    session->SetActive(true);
    EXPECT_TRUE(session->Active());
    EXPECT_EQ(dialogUser, "");
}

TEST_F(SessionLifecycleTest, PassedOnValuesSendOneSessionParamsOnlyWhenTheyChange)
{
    auto session = RemoteSession();
    session->SetActive(true);
    const std::size_t afterLogin = peer.RequestCodes().size();

    session->SetLockWaitTime(100);   // the current value
    session->SetProgressSteps(101);  // ignored
    session->SetPrivateDir("/data"); // kept for local work, never sent
    EXPECT_TRUE(CodesAfter(afterLogin).empty());

    session->SetLockWaitTime(200);
    session->SetLockProtocol(lpOptimistic);
    ASSERT_EQ(CodesAfter(afterLogin),
              (std::vector<std::uint16_t>{REQUEST_SESSIONPARAMS, REQUEST_SESSIONPARAMS}));
    const auto requests = peer.Requests();
    auto params = requests.back().Reader();
    bool flush = true, strict = true;
    std::uint8_t retries = 0, protocol = 0;
    std::uint16_t wait = 0, steps = 0;
    params.Read(flush);
    params.Read(strict);
    params.Read(retries);
    params.Read(wait);
    params.Read(protocol);
    params.Read(steps);
    EXPECT_EQ(wait, 200);
    EXPECT_EQ(protocol, 1);
    EXPECT_EQ(steps, 20);

    // Tracing is applied at once: switched off, the next exchange leaves no line.
    session->SetRemoteTrace(false);
    const std::size_t lines = trace.size();
    session->SetForceBufferFlush(true);
    EXPECT_EQ(CodesAfter(afterLogin).size(), 3u);
    EXPECT_EQ(trace.size(), lines);
}

} // namespace
} // namespace korvel::test
