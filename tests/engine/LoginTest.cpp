// Login, session settings, logout and the engine-wide state.
#include "CaptureError.h"
#include "SessionFixture.h"

#include "engine/Engine.h"
#include "engine/wire/ErrorCodes.h"
#include "engine/wire/RequestCodes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>

namespace korvel
{
namespace
{

using namespace test;
using ::testing::ElementsAre;

class LoginTest : public test::SessionFixture
{
protected:
    struct Asked
    {
        std::string User;
        std::string Password;
    };

    // A provider that records what it was shown and answers with fixed credentials.
    void Answering(bool proceed)
    {
        session.SetCredentialProvider(
            [this, proceed](std::string& user, std::string& password)
            {
                asked.push_back({user, password});
                if (proceed)
                {
                    user = "typed";
                    password = "guess";
                }
                return proceed;
            });
    }

    std::vector<Asked> asked;
};

TEST_F(LoginTest, CompleteCredentialsLogInWithoutAsking)
{
    Answering(true);
    LogIn(session);
    EXPECT_TRUE(session.LoggedIn());
    EXPECT_TRUE(asked.empty());
    const auto requests = peer.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].Code(), REQUEST_LOGIN);
    EXPECT_EQ(requests[1].Payload(),
              (Bytes{5, 0, 0, 0, 'a', 'd', 'm', 'i', 'n', 6, 0, 0, 0, 's', 'e', 'c', 'r', 'e', 't'}));
}

TEST_F(LoginTest, ThreeRejectedAttemptsEndInInvalidLogin)
{
    Answering(true);
    PointAtPeer(session);
    session.SetUserName("admin"); // no password: the provider is asked first
    session.Connect();
    for (int i = 0; i < 3; ++i)
        peer.Then(ScriptedPeer::Answer(KORVEL_REMOTEINVLOGIN));
    auto rejected = CaptureEngineError([&] { session.Login(); });
    EXPECT_EQ(rejected->ErrorCode, KORVEL_REMOTEINVLOGIN);
    EXPECT_EQ(rejected->ErrorRemoteName, "127.0.0.1");
    EXPECT_EQ(rejected->ErrorUserName, "");
    EXPECT_FALSE(session.Connected());
    EXPECT_FALSE(session.LoggedIn());
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_EQ(asked[0].User, "admin");
    EXPECT_EQ(asked[1].User, "");
    EXPECT_EQ(asked[1].Password, "");
    EXPECT_EQ(asked[2].User, "");
    EXPECT_THAT(peer.RequestCodes(),
                ElementsAre(REQUEST_CONNECTPARAMS, REQUEST_LOGIN, REQUEST_LOGIN, REQUEST_LOGIN));
    std::string user;
    peer.Requests()[3].Reader().Read(user);
    EXPECT_EQ(user, "typed");

    // A second attempt that succeeds stops asking.
    asked.clear();
    session.Connect();
    peer.Then(ScriptedPeer::Answer(KORVEL_REMOTEINVLOGIN));
    session.Login();
    EXPECT_TRUE(session.LoggedIn());
    EXPECT_EQ(asked.size(), 2u);
}

TEST_F(LoginTest, DecliningOrAnotherRefusalEndsTheLogin)
{
    Answering(false);
    PointAtPeer(session);
    session.Connect();
    EXPECT_THROW(session.Login(), EAbort);
    EXPECT_FALSE(session.Connected());
    EXPECT_THAT(peer.RequestCodes(), ElementsAre(REQUEST_CONNECTPARAMS));

    session.SetCredentialProvider({}); // no provider: cancel as well
    session.Connect();
    try
    {
        session.Login();
        ADD_FAILURE() << "login without credentials went on";
    }
    catch (const EAbort& abort)
    {
        EXPECT_STREQ(abort.what(), "Operation aborted");
    }

    session.SetUserName("admin");
    session.SetPassword("secret");
    session.Connect();
    peer.Then(ScriptedPeer::Answer(KORVEL_REMOTENOTADMIN));
    auto refused = CaptureEngineError([&] { session.Login(); });
    EXPECT_EQ(refused->ErrorCode, KORVEL_REMOTENOTADMIN);
    EXPECT_EQ(refused->ErrorUserName, "admin");
    EXPECT_EQ(refused->ErrorRemoteName, "127.0.0.1");
    EXPECT_FALSE(session.Connected());

    // A broken connection during LOGIN is not retried.
    session.Connect();
    peer.Then(ScriptedPeer::CloseAfterBytes(4));
    EXPECT_EQ(EngineErrorCode([&] { session.Login(); }), KORVEL_REMOTECOMMLOST);
    EXPECT_EQ(peer.RequestCodes().back(), REQUEST_CONNECTPARAMS);
}

TEST_F(LoginTest, AProviderThatThrowsLeavesTheConnectionClosed)
{
    session.SetCredentialProvider([](std::string&, std::string&) -> bool
                                  { throw std::runtime_error("no terminal"); });
    PointAtPeer(session);
    session.Connect();
    EXPECT_THROW(session.Login(), std::runtime_error);
    EXPECT_FALSE(session.Connected());
    EXPECT_FALSE(session.LoggedIn());
    EXPECT_THAT(peer.RequestCodes(), ElementsAre(REQUEST_CONNECTPARAMS));
}

TEST_F(LoginTest, SessionParamsCarryTheSixSettingsInOrder)
{
    LogIn(session);
    session.SendSessionParams();
    ASSERT_TRUE(peer.WaitForRequests(3));
    EXPECT_EQ(peer.Requests()[2].Wire,
              (Bytes{0x2a, 0x00, 0x00, 0x00, 0x03, 0x00, 0x20, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,
                     0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x0f, 0x02, 0x00, 0x00,
                     0x00, 0x64, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x14, 0x00}));

    // A change while logged in sends all six at once; the current value sends nothing.
    session.SetLockWaitTime(100);
    session.SetLockProtocol(1);
    EXPECT_EQ(peer.Requests().size(), 4u);
    EXPECT_EQ(peer.Requests()[3].Payload()[25], 1); // LockProtocol, the fifth value

    peer.Then(ScriptedPeer::AnswerError(KORVEL_REMOTEINVREQUEST));
    EXPECT_EQ(EngineErrorCode([&] { session.SetProgressSteps(50); }), KORVEL_REMOTEINVREQUEST);
    EXPECT_EQ(session.ProgressSteps(), 50);
}

TEST_F(LoginTest, OlderServersGetNoLockProtocol)
{
    peer.SetServerVersion(std::nullopt);
    LogIn(session);
    session.SendSessionParams();
    session.SetLockProtocol(1); // nothing for a 3.03 server
    session.SetForceBufferFlush(true);
    const auto after = RequestsAfterLogin();
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[0].Header.PayloadSize, 27);
    EXPECT_EQ(after[1].Payload(), (Bytes{1,    0, 0, 0, 1, 1,    0, 0, 0, 0, 1, 0,    0, 0,
                                         0x0f, 2, 0, 0, 0, 0x64, 0, 2, 0, 0, 0, 0x14, 0}));

    // Nothing is sent for a session that is not logged in.
    TDataSession idle;
    idle.SetRemote(true);
    idle.SetLockWaitTime(5);
    EXPECT_EQ(peer.Requests().size(), 4u);
}

TEST_F(LoginTest, LogoutSendsTenBytesAndReadsNoReply)
{
    LogIn(session);
    session.Logout();
    EXPECT_FALSE(session.Connected());
    EXPECT_FALSE(session.LoggedIn());
    ASSERT_TRUE(peer.WaitForRequests(3));
    EXPECT_EQ(peer.Requests()[2].Wire, (Bytes{0x0a, 0, 0, 0, 0x02, 0, 0, 0, 0, 0}));
    session.Logout(); // not connected: nothing
    EXPECT_EQ(peer.Requests().size(), 3u);
}

TEST(Engine, StartStopAndTheCurrentSession)
{
    auto stopped = CaptureEngineError([] { GetCurrentDataSession(); });
    EXPECT_EQ(stopped->ErrorCode, KORVEL_NOTINITIALIZED);
    EXPECT_STREQ(stopped->what(), "KORVEL Engine Error # 10758 The database engine is not initialized");
    EXPECT_TRUE(stopped->ErrorRemoteName.empty());

    StartEngine();
    TDataSession* own = GetCurrentDataSession();
    ASSERT_NE(own, nullptr);
    StartEngine();
    EXPECT_EQ(GetCurrentDataSession(), own);
    EXPECT_FALSE(own->Connected());

    // Stopping destroys only the engine's own session, even while another one is current.
    TDataSession componentOwned;
    SetCurrentDataSession(&componentOwned);
    EXPECT_EQ(GetCurrentDataSession(), &componentOwned);
    StopEngine();
    EXPECT_FALSE(EngineStarted());
    EXPECT_EQ(EngineErrorCode([] { GetCurrentDataSession(); }), KORVEL_NOTINITIALIZED);
    StopEngine();
    StartEngine();
    EXPECT_FALSE(GetCurrentDataSession()->LoggedIn());
    StopEngine();
}

} // namespace
} // namespace korvel
