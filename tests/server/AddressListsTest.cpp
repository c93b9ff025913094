// The address lists against the reference server's own logins: each row of the shared pattern table whose
// address is a loopback one is tried by a real main-port login from that address, and the lock-out preview
// built from the server's session list names the addresses the server then refuses.
#include "addresses/AddressChecks.h"
#include "engine/wire/ErrorCodes.h"
#include "engine/wire/RequestCodes.h"
#include "testing/AddressPatternTable.h"
#include "tests/server/ServerTestSupport.h"

#include <gtest/gtest.h>

namespace korvel::test
{
namespace
{

// A main-port login from `source`; returns the reply code.
std::uint16_t MainLoginFrom(const RefServer& server, const char* source,
                            std::unique_ptr<RawClient>* keep = nullptr)
{
    auto raw = std::make_unique<RawClient>(server.MainPort(), source);
    raw->Send(RawConnectParams());
    EXPECT_EQ(ReplyCodeOf(raw->Receive()), KORVEL_NONE);
    raw->Send(RawRequest(REQUEST_LOGIN, {RawValue("admin"), RawValue("secret")}));
    std::uint16_t code = ReplyCodeOf(raw->Receive());
    if (keep)
        *keep = std::move(raw);
    return code;
}

// RECONNECT of session `id` from `source`; returns the reply code.
std::uint16_t ReattachFrom(const RefServer& server, std::int32_t id, const char* source)
{
    RawClient raw(server.MainPort(), source);
    raw.Send(RawRequest(REQUEST_RECONNECT,
                        {RawNumber(std::int64_t{32100}), RawNumber(id), RawNumber(std::uint8_t{1})}));
    return ReplyCodeOf(raw.Receive());
}

void ChangeConfig(TDataSession& admin, auto change)
{
    ServerConfig config;
    admin.GetConfig(config);
    change(config);
    admin.ModifyConfig(config);
}

TEST(AddressLists, ASessionReattachesThroughADrainButNotFromAnAddressBlockedSince)
{
    RefServer server;
    auto admin = OpenSession(server);
    auto user = OpenSession(server, /*adminPort=*/false);
    const std::int32_t id = user->SessionId();

    ChangeConfig(*admin, [](ServerConfig& config) { config.DenyLogins = true; });
    user->Disconnect();
    EXPECT_NO_THROW(user->SendSessionParams()) << "denying new logins cuts no session off";

    ChangeConfig(*admin, [](ServerConfig& config) { config.BlockedAddresses = {"127.0.0.1"}; });
    user->Disconnect();
    EXPECT_EQ(ErrorCodeOf([&] { user->SendSessionParams(); }), KORVEL_REMOTECONNECT);
    EXPECT_EQ(ReattachFrom(server, id, "127.0.0.1"), KORVEL_REMOTEADDRESSBLOCK);

    ChangeConfig(*admin,
                 [](ServerConfig& config)
                 {
                     config.BlockedAddresses.clear();
                     config.AuthorizedAddresses = {"127.0.0.2"};
                 });
    EXPECT_EQ(ReattachFrom(server, id, "127.0.0.1"), KORVEL_REMOTEADDRESSBLOCK);
    EXPECT_EQ(ReattachFrom(server, id, "127.0.0.2"), KORVEL_NONE);
}

TEST(AddressLists, TheServerLetsInExactlyWhatTheSharedTableSays)
{
    RefServer server;
    auto admin = OpenSession(server);
    int tried = 0;
    for (const auto& row : AddressPatternTable())
    {
        if (row.Address.rfind("127.", 0) != 0 || row.Address.size() > 9 + 2)
            continue; // only addresses this machine can log in from
        ServerConfig config;
        admin->GetConfig(config);
        config.AuthorizedAddresses = {row.Pattern};
        admin->ModifyConfig(config);
        std::uint16_t code = MainLoginFrom(server, row.Address.c_str());
        EXPECT_EQ(code == KORVEL_NONE, row.Matches) << row.Pattern << " / " << row.Address << ": " << code;
        ++tried;
    }
    EXPECT_GE(tried, 10);
}

TEST(AddressLists, TheLockOutPreviewNamesTheAddressesTheServerThenRefuses)
{
    RefServer server;
    auto admin = OpenSession(server);
    std::unique_ptr<RawClient> one, two, three;
    ASSERT_EQ(MainLoginFrom(server, "127.0.0.1", &one), KORVEL_NONE);
    ASSERT_EQ(MainLoginFrom(server, "127.0.0.2", &two), KORVEL_NONE);
    ASSERT_EQ(MainLoginFrom(server, "127.0.0.2", &three), KORVEL_NONE);

    StringList addresses;
    for (std::int32_t number = 1, count = admin->GetSessionCount(); number <= count; ++number)
    {
        SessionInfo info;
        if (admin->GetSessionInfo(number, info))
            addresses.push_back(info.UserAddress);
    }
    ServerConfig changed;
    admin->GetConfig(changed);
    changed.BlockedAddresses = {"127.0.0.2"};
    EXPECT_EQ(addresses::LockoutWarning(addresses::RefusedSessionAddresses(changed, addresses)),
              "2 connected sessions from 127.0.0.2 would be refused at their next login.");
    admin->ModifyConfig(changed);
    EXPECT_NE(MainLoginFrom(server, "127.0.0.2"), KORVEL_NONE);
    EXPECT_EQ(MainLoginFrom(server, "127.0.0.1"), KORVEL_NONE);
}

} // namespace
} // namespace korvel::test
