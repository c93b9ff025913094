// A call that waits on a silent server, a host that never answers the connect or a lookup that never returns,
// ended from another thread or by its deadline. Each case would otherwise wait for ever; a call that is still
// waiting after a minute is ended by closing what it waits on, so that the test fails rather than hangs.
#include "CaptureError.h"
#include "SessionFixture.h"
#include "testing/ForwardingTransport.h"
#include "testing/LoopbackSocket.h"

#include "engine/NameLookups.h"
#include "engine/wire/ErrorCodes.h"
#include "engine/wire/RequestCodes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

namespace korvel
{
namespace
{

using test::CaptureEngineError;
using test::PeerConnection;
using test::ScriptedPeer;
using ::testing::ElementsAre;

// Reads the request and never answers; the connection stays open until the client closes it.
ScriptedPeer::Step Silent()
{
    return [](PeerConnection& connection)
    {
        connection.ReadRequest();
        while (connection.WaitReadable() && connection.ReadBytes(1).size() == 1)
        {
        }
    };
}

// Runs `call` on a thread of its own and gives back the engine error it ends with.
std::future<std::optional<EKORVELEngineError>> Start(std::function<void()> call)
{
    return std::async(std::launch::async, [call = std::move(call)] { return CaptureEngineError(call); });
}

// The call's error once it ended; fails the test when it is still waiting after a minute.
std::optional<EKORVELEngineError> Ended(std::future<std::optional<EKORVELEngineError>>& call,
                                        const std::function<void()>& release)
{
    if (call.wait_for(std::chrono::minutes(1)) == std::future_status::ready)
        return call.get();
    release();
    call.wait();
    ADD_FAILURE() << "the call went on waiting";
    return std::nullopt;
}

class CallLimitsTest : public test::SessionFixture
{
protected:
    void SetUp() override
    {
        session.SetCallLimits({.Interrupt = interrupt});
        LogIn(session);
    }

    std::shared_ptr<CallInterrupt> interrupt = std::make_shared<CallInterrupt>();
};

TEST_F(CallLimitsTest, ACancelEndsAWaitForAReplyAtOnceAndTheNextCallReconnects)
{
    peer.Then(Silent());
    auto call = Start([&] { session.ModifyUser("bob", "pw", "", false); });
    ASSERT_TRUE(peer.WaitForRequests(3));
    interrupt->Cancel();

    auto failure = Ended(call, [&] { session.Disconnect(); });
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->ErrorCode, KORVEL_REMOTECOMMLOST);
    EXPECT_EQ(session.LastInterruption(), Interruption::Cancelled);
    EXPECT_FALSE(session.Connected());
    EXPECT_TRUE(session.LoggedIn());
    // The change went out once: a cancelled call is neither re-connected nor resent.
    EXPECT_EQ(peer.Connections(), 1);
    EXPECT_THAT(peer.RequestCodes(), ElementsAre(REQUEST_CONNECTPARAMS, REQUEST_LOGIN, REQUEST_MODIFYUSER));

    // The cancel stays with that interrupt; a new one lets the next call re-attach the session.
    EXPECT_EQ(test::EngineErrorCode([&] { session.GetUpTime(); }), KORVEL_REMOTECONNECT);
    session.SetCallLimits({.Interrupt = std::make_shared<CallInterrupt>()});
    peer.Then(ScriptedPeer::Answer(0));
    peer.Then(ScriptedPeer::Answer(0, [](MessageWriter& w) { w.AppendInt32(7); }));
    EXPECT_EQ(session.GetUpTime(), 7);
    EXPECT_EQ(session.LastInterruption(), Interruption::None);
    EXPECT_THAT(peer.RequestCodes(), ElementsAre(REQUEST_CONNECTPARAMS, REQUEST_LOGIN, REQUEST_MODIFYUSER,
                                                 REQUEST_RECONNECT, REQUEST_GETUPTIME));
}

TEST_F(CallLimitsTest, ATimeOutPerCallEndsASilentServersCallWithoutAResend)
{
    peer.Then(Silent());
    session.SetCallLimits({.TimeoutMs = 300});
    auto call = Start([&] { session.DeleteUser("bob"); });

    auto failure = Ended(call, [&] { session.Disconnect(); });
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->ErrorCode, KORVEL_REMOTECOMMLOST);
    EXPECT_EQ(session.LastInterruption(), Interruption::Expired);
    EXPECT_EQ(peer.Connections(), 1);
    EXPECT_EQ(peer.RequestCodes().back(), REQUEST_DELETEUSER);

    // Each call has the whole time-out: a reply slower than the gap between two calls still arrives.
    peer.Then(ScriptedPeer::Answer(0));
    peer.Then(ScriptedPeer::AnswerAfter(std::chrono::milliseconds(100),
                                        [](MessageWriter& w) { w.AppendInt32(3); }));
    EXPECT_EQ(session.GetSessionCount(), 3);
}

TEST_F(CallLimitsTest, TheTimeAPersonTakesToGiveCredentialsDoesNotCountAgainstTheLoginsTimeOut)
{
    TDataSession target;
    PointAtPeer(target);
    target.SetCallLimits({.TimeoutMs = 200});
    target.SetCredentialProvider(
        [](std::string& userName, std::string& password)
        {
            // Answers only once the time-out would have passed, had it started with the login: a wait on
            // purpose, since the time-out under test runs on the wall clock.
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
            userName = "admin";
            password = "secret";
            return true;
        });
    target.Connect();
    target.Login();
    EXPECT_TRUE(target.LoggedIn());
    EXPECT_EQ(target.LastInterruption(), Interruption::None);
}

TEST_F(CallLimitsTest, ACancelEndsAConnectThatIsNeverAnswered)
{
    test::UnansweredListener blackhole;
    TDataSession target;
    target.SetRemote(true);
    target.SetPort(blackhole.Port());
    target.SetConnectTimeoutMs(10 * 60 * 1000); // only the cancel can end it
    target.SetCallLimits({.Interrupt = interrupt});
    auto call = Start([&] { target.Connect(); });
    EXPECT_EQ(call.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
    interrupt->Cancel();

    auto failure = Ended(call, [&] { blackhole.Close(); });
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->ErrorCode, KORVEL_REMOTECONNECT);
    EXPECT_EQ(target.LastInterruption(), Interruption::Cancelled);
    EXPECT_FALSE(target.Connected());
}

// A lookup that does not return until the test lets it.
class HangingResolver : public Resolver
{
public:
    std::uint32_t ResolveHost(const std::string&) override
    {
        std::unique_lock lock(mutex_);
        released_.wait(lock, [this] { return released; });
        throw TransportError("released");
    }
    std::uint16_t ResolveService(const std::string&) override { return 0; }
    void Release()
    {
        std::lock_guard lock(mutex_);
        released = true;
        released_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable released_;
    bool released = false;
};

TEST_F(CallLimitsTest, ADeadlineAbandonsAHostNameLookupThatDoesNotReturn)
{
    auto resolver = std::make_shared<HangingResolver>();
    TDataSession target;
    target.SetRemote(true);
    target.SetHostName("db.example");
    target.SetTransportFactory([resolver] { return CreateTcpTransport(resolver); });
    target.SetCallLimits({.Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(200)});
    auto call = Start([&] { target.Connect(); });

    auto failure = Ended(call, [&] { resolver->Release(); });
    resolver->Release(); // the abandoned lookup ends in the background
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->ErrorCode, KORVEL_REMOTECONNECT);
    EXPECT_EQ(failure->ErrorRemoteName, "db.example");
    EXPECT_EQ(target.LastInterruption(), Interruption::Expired);
}

// A fleet of targets behind a silent name server: each caller leaves by its deadline, and the lookups left
// hanging never take more threads than the pool's cap.
TEST_F(CallLimitsTest, HangingLookupsNeverGrowThePoolPastItsCap)
{
    auto resolver = std::make_shared<HangingResolver>();
    std::vector<std::unique_ptr<TDataSession>> targets;
    std::vector<std::future<std::optional<EKORVELEngineError>>> calls;
    for (int target = 0; target < 3 * MaxLookupThreads; ++target)
    {
        auto& session = *targets.emplace_back(std::make_unique<TDataSession>());
        session.SetRemote(true);
        session.SetHostName("db" + std::to_string(target) + ".example");
        session.SetTransportFactory([resolver] { return CreateTcpTransport(resolver); });
        session.SetCallLimits(
            {.Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(200)});
        calls.push_back(Start([&session] { session.Connect(); }));
    }
    for (auto& call : calls)
    {
        auto failure = Ended(call, [&] { resolver->Release(); });
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->ErrorCode, KORVEL_REMOTECONNECT);
    }
    EXPECT_LE(LookupThreadCount(), MaxLookupThreads);
    resolver->Release();
}

} // namespace
} // namespace korvel
