// Main-port sessions against a real korvel-refserver: listing, dead sessions and re-attachment, disconnect
// and removal, stopping and starting the main service, the login policies, time-outs and the login throttle.
#include "engine/wire/ErrorCodes.h"
#include "engine/wire/OleDate.h"
#include "engine/wire/RequestCodes.h"
#include "tests/server/ServerTestSupport.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>

namespace korvel::test
{
namespace
{

SessionInfo InfoAt(TDataSession& admin, std::int32_t position)
{
    SessionInfo info;
    EXPECT_TRUE(admin.GetSessionInfo(position, info)) << position;
    return info;
}

void SetConfig(TDataSession& admin, auto change)
{
    ServerConfig config;
    admin.GetConfig(config);
    change(config);
    admin.ModifyConfig(config);
}

TEST(Sessions, ListedInCreationOrderWithLocalTimes)
{
    // A zone far from UTC proves the dates are the server's local wall clock.
    setenv("TZ", "KRV-5:30", 1);
    tzset();
    RefServer server;
    auto admin = OpenSession(server);
    auto first = OpenSession(server, false, /*lan=*/true);
    auto second = OpenSession(server, false, /*lan=*/false);
    auto third = OpenSession(server, false, true);

    EXPECT_EQ(admin->GetSessionCount(), 3);
    EXPECT_EQ(admin->GetConnectedSessionCount(), 3);
    double now = OleDateFromLocalTime(std::time(nullptr));
    TDataSession* expected[] = {first.get(), second.get(), third.get()};
    for (int position = 1; position <= 3; ++position)
    {
        auto info = InfoAt(*admin, position);
        EXPECT_EQ(info.ServerSessionId, expected[position - 1]->SessionId());
        EXPECT_EQ(info.UserName, "admin");
        EXPECT_EQ(info.UserAddress, "127.0.0.1");
        EXPECT_EQ(info.LanSession, position != 2);
        EXPECT_EQ(info.DisconnectedDetail, "");
        EXPECT_NEAR(info.CreatedOn, now, 10.0 / 86400);
        EXPECT_NEAR(info.LastConnected, now, 10.0 / 86400);
    }
    SessionInfo untouched;
    untouched.UserName = "kept";
    EXPECT_FALSE(admin->GetSessionInfo(4, untouched));
    EXPECT_FALSE(admin->GetSessionInfo(0, untouched));
    EXPECT_EQ(untouched.UserName, "kept");
    // Distinct, positive ids.
    EXPECT_NE(first->SessionId(), second->SessionId());
    EXPECT_GT(first->SessionId(), 0);

    // LOGOUT ends a session for good.
    second->Logout();
    EXPECT_TRUE(Eventually([&] { return admin->GetSessionCount() == 2; }, std::chrono::seconds{5}));
    EXPECT_EQ(InfoAt(*admin, 2).ServerSessionId, third->SessionId());
}

TEST(Sessions, LostConnectionLeavesADeadSessionThatReconnectReattaches)
{
    RefServer server;
    auto admin = OpenSession(server);
    auto user = OpenSession(server, false);
    std::int32_t id = user->SessionId();
    user->Disconnect(); // the connection drops without LOGOUT

    ASSERT_TRUE(Eventually([&] { return admin->GetConnectedSessionCount() == 0; }, std::chrono::seconds{5}));
    auto dead = InfoAt(*admin, 1);
    EXPECT_EQ(dead.ServerSessionId, id);
    EXPECT_EQ(dead.UserAddress, "");
    EXPECT_EQ(dead.DisconnectedDetail, "Connection closed by client");

    // The next request re-attaches the same session without a new LOGIN.
    user->SendSessionParams();
    EXPECT_EQ(user->SessionId(), id);
    auto back = InfoAt(*admin, 1);
    EXPECT_EQ(back.ServerSessionId, id);
    EXPECT_EQ(back.UserAddress, "127.0.0.1");
    EXPECT_EQ(back.DisconnectedDetail, "");
    EXPECT_EQ(admin->GetConnectedSessionCount(), 1);

    // Administration sessions re-attach the same way.
    admin->Disconnect();
    EXPECT_EQ(admin->GetSessionCount(), 1);
}

TEST(Sessions, ReconnectWithAnUnknownIdIsRefused)
{
    RefServer server;
    RawClient raw(server.MainPort());
    raw.Send(RawRequest(REQUEST_RECONNECT, {RawNumber(std::int64_t{32100}), RawNumber(std::int32_t{12345}),
                                            RawNumber(std::uint8_t{1})}));
    EXPECT_EQ(ReplyCodeOf(raw.Receive()), KORVEL_REMOTECONNECT);
    // Nor may a session of the main port be re-attached on the administration port.
    auto user = OpenSession(server, false);
    RawClient admin(server.AdminPort());
    admin.Send(RawRequest(REQUEST_RECONNECT, {RawNumber(std::int64_t{32100}), RawNumber(user->SessionId()),
                                              RawNumber(std::uint8_t{1})}));
    EXPECT_EQ(ReplyCodeOf(admin.Receive()), KORVEL_REMOTECONNECT);
}

TEST(Sessions, SuccessesEndARunOfFailedReconnectsButAHundredInAnHourStopTheAddress)
{
    RefServer server;
    auto admin = OpenSession(server);
    auto user = OpenSession(server, false);
    auto reconnect = [&](std::int32_t id)
    {
        RawClient raw(server.MainPort());
        raw.Send(RawRequest(REQUEST_RECONNECT,
                            {RawNumber(std::int64_t{32100}), RawNumber(id), RawNumber(std::uint8_t{1})}));
        return ReplyCodeOf(raw.Receive());
    };
    for (int i = 0; i < 50; ++i) // 100 failures
    {
        ASSERT_EQ(reconnect(777777 + i), KORVEL_REMOTECONNECT);
        ASSERT_EQ(reconnect(777777 + i), KORVEL_REMOTECONNECT);
        // A successful RECONNECT, or a LOGIN, ends the run before it is slowed down.
        if (i % 2 == 0)
            ASSERT_EQ(reconnect(user->SessionId()), KORVEL_NONE);
        else
            OpenSession(server);
        if (i == 3)
        {
            StringList log;
            admin->GetLog(log);
            for (const std::string& line : log)
                ASSERT_EQ(line.find("answered after"), std::string::npos) << line;
        }
    }
    // The budget is spent: even the id of a live session is refused at once.
    EXPECT_EQ(reconnect(user->SessionId()), KORVEL_REMOTECONNECT);
    StringList log;
    admin->GetLog(log);
    EXPECT_TRUE(
        std::ranges::any_of(log, [](const std::string& line)
                            { return line.find("too many failed re-connections") != std::string::npos; }));
}

TEST(Sessions, DisconnectAndRemove)
{
    RefServer server;
    auto admin = OpenSession(server);
    auto first = OpenSession(server, false);
    auto second = OpenSession(server, false);

    EXPECT_TRUE(admin->DisconnectSession(first->SessionId()));
    EXPECT_FALSE(admin->DisconnectSession(first->SessionId())); // already dead
    auto info = InfoAt(*admin, 1);
    EXPECT_EQ(info.DisconnectedDetail, "Disconnected by administrator");
    EXPECT_EQ(info.UserAddress, "");
    EXPECT_EQ(admin->GetConnectedSessionCount(), 1);

    EXPECT_TRUE(admin->RemoveSession(second->SessionId())); // a connected one
    EXPECT_TRUE(admin->RemoveSession(first->SessionId()));  // a dead one
    EXPECT_FALSE(admin->RemoveSession(first->SessionId()));
    EXPECT_FALSE(admin->DisconnectSession(424242));
    EXPECT_EQ(admin->GetSessionCount(), 0);
    // A removed session cannot come back: its client has to connect and log in anew.
    EXPECT_EQ(ErrorCodeOf([&] { second->SendSessionParams(); }), KORVEL_REMOTECONNECT);
}

TEST(Sessions, StopAndStartTheMainService)
{
    RefServer server;
    auto admin = OpenSession(server);
    auto user = OpenSession(server, false);
    admin->StopServer();
    EXPECT_EQ(admin->GetUpTime(), -1);
    EXPECT_EQ(InfoAt(*admin, 1).DisconnectedDetail, "Server stopped");
    EXPECT_EQ(admin->GetConnectedSessionCount(), 0);
    EXPECT_EQ(ErrorCodeOf([&] { OpenSession(server, false); }), KORVEL_REMOTECONNECT);
    admin->StopServer(); // stopping twice is harmless

    admin->StartServer();
    admin->StartServer(); // and so is starting a running service
    EXPECT_GE(admin->GetUpTime(), 0);
    EXPECT_EQ(admin->GetMainPort(), server.MainPort());
    user->SendSessionParams(); // re-attaches over the reopened port
    EXPECT_EQ(admin->GetConnectedSessionCount(), 1);
    EXPECT_NO_THROW(OpenSession(server, false));
}

TEST(Sessions, LoginPolicies)
{
    RefServer server;
    auto admin = OpenSession(server);
    auto mainLogin = [&] { return ErrorCodeOf([&] { OpenSession(server, false); }); };

    SetConfig(*admin, [](ServerConfig& c) { c.DenyLogins = true; });
    EXPECT_EQ(mainLogin(), KORVEL_REMOTENOLOGIN);
    SetConfig(*admin,
              [](ServerConfig& c)
              {
                  c.DenyLogins = false;
                  c.MaxConnections = 1;
              });
    auto holder = OpenSession(server, false);
    EXPECT_EQ(mainLogin(), KORVEL_REMOTEMAXCONNECT);
    holder->Logout();
    EXPECT_TRUE(Eventually([&] { return mainLogin() == 0; }, std::chrono::seconds{5}));

    SetConfig(*admin,
              [](ServerConfig& c)
              {
                  c.MaxConnections = 0;
                  c.BlockedAddresses = {"", "127.0.*"};
              });
    EXPECT_EQ(mainLogin(), KORVEL_REMOTEADDRESSBLOCK);
    SetConfig(*admin,
              [](ServerConfig& c)
              {
                  c.BlockedAddresses = {};
                  c.AuthorizedAddresses = {"10.*", ""};
              });
    EXPECT_EQ(mainLogin(), KORVEL_REMOTEADDRESSBLOCK);
    SetConfig(*admin, [](ServerConfig& c) { c.AuthorizedAddresses = {"10.*", "127.0.0.1"}; });
    EXPECT_EQ(mainLogin(), 0);
    SetConfig(*admin, [](ServerConfig& c) { c.AuthorizedAddresses = {"", " "}; }); // blank lines only
    EXPECT_EQ(mainLogin(), 0);
    // The administration port is not subject to them.
    SetConfig(*admin,
              [](ServerConfig& c)
              {
                  c.DenyLogins = true;
                  c.BlockedAddresses = {"*"};
              });
    EXPECT_NO_THROW(OpenSession(server));
}

TEST(Sessions, MainPortServesOnlyTheSessionRequests)
{
    RefServer server;
    auto user = OpenSession(server, false);
    user->SetLockProtocol(1); // sends SESSIONPARAMS with six values
    EXPECT_EQ(user->LockProtocol(), 1);
    EXPECT_EQ(ErrorCodeOf([&] { user->GetUpTime(); }), KORVEL_REMOTEINVREQUEST);
    StringList names;
    EXPECT_EQ(ErrorCodeOf([&] { user->GetUserNames(names); }), KORVEL_REMOTEINVREQUEST);
}

TEST(Sessions, TimeoutsAndDeadSessionRules)
{
    RefServer server;
    auto admin = OpenSession(server);
    SetConfig(*admin,
              [](ServerConfig& c)
              {
                  c.ConnectionTimeout = 1;
                  c.MaxDeadSessions = 1;
              });
    auto first = OpenSession(server, false);
    auto second = OpenSession(server, false);
    // Both fall silent: both are timed out, and only the newest dead session is kept.
    ASSERT_TRUE(Eventually([&] { return admin->GetConnectedSessionCount() == 0; }, std::chrono::seconds{6}));
    EXPECT_EQ(admin->GetSessionCount(), 1);
    EXPECT_EQ(InfoAt(*admin, 1).DisconnectedDetail, "Connection timed out");

    SetConfig(*admin,
              [](ServerConfig& c)
              {
                  c.ConnectionTimeout = 0;
                  c.DeadSessionInterval = 1;
                  c.DeadSessionExpires = 1;
                  c.MaxDeadSessions = 100;
              });
    EXPECT_TRUE(Eventually([&] { return admin->GetSessionCount() == 0; }, std::chrono::seconds{6}));
    // The administration connection is never timed out for silence.
    EXPECT_GE(admin->GetUpTime(), 0);
}

// The failure pays, not the next person: every local user shares 127.0.0.1, so a right password must never
// wait behind someone else's guesses of the same name.
TEST(Sessions, RepeatedFailedLoginsAreAnsweredLaterButTheRightPasswordAtOnce)
{
    RefServer server;
    OpenSession(server)->AddUser("bob", "right", "", false);
    auto wrongLogin = RawRequest(REQUEST_LOGIN, {RawValue("bob"), RawValue("guess")});
    std::vector<std::unique_ptr<RawClient>> guessers;
    for (int i = 0; i < 5; ++i) // the fourth failure waits 1 s, the fifth 2 s
    {
        guessers.push_back(std::make_unique<RawClient>(server.MainPort()));
        guessers.back()->Send(RawConnectParams());
        ASSERT_EQ(ReplyCodeOf(guessers.back()->Receive()), KORVEL_NONE);
        guessers.back()->Send(wrongLogin);
        if (i < 3)
        {
            EXPECT_EQ(ReplyCodeOf(guessers.back()->Receive()), KORVEL_REMOTEINVLOGIN);
        }
    }
    // While the last failure still waits for its answer, bob logs in from the same address.
    auto bob = OpenSession(server, false, true, "bob", "right");
    EXPECT_TRUE(guessers.back()->Receive(std::chrono::milliseconds{5}).empty())
        << "the failure is answered after the right password";
    for (int i = 3; i < 5; ++i)
        EXPECT_EQ(ReplyCodeOf(guessers[i]->Receive(std::chrono::milliseconds{6000})), KORVEL_REMOTEINVLOGIN);

    StringList log;
    OpenSession(server)->GetLog(log);
    int slowed = 0;
    for (const auto& line : log)
        slowed += line.find("answered after") != std::string::npos;
    EXPECT_EQ(slowed, 2);
}

} // namespace
} // namespace korvel::test
