// Hostile input against a real korvel-refserver: bad sizes, a zlib bomb, garbage, silence, hundreds of
// half-open or idle connections. Each time the offending connection alone is closed and the server keeps
// serving.
#include "engine/wire/ErrorCodes.h"
#include "engine/wire/RequestCodes.h"
#include "engine/wire/Zlib.h"
#include "tests/server/ServerTestSupport.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <zlib.h>

namespace korvel::test
{
namespace
{

// The server still serves: a fresh administration session answers.
void ExpectServing(const RefServer& server)
{
    auto admin = OpenSession(server);
    EXPECT_GE(admin->GetUpTime(), 0);
}

std::vector<std::uint8_t> HeaderOnly(std::int32_t totalSize, std::uint16_t code = REQUEST_CONNECTPARAMS)
{
    std::vector<std::uint8_t> bytes(HeaderSize);
    EncodeHeader({totalSize, code, 0}, bytes.data());
    return bytes;
}

// A zlib stream that inflates to `size` zero bytes.
std::vector<std::uint8_t> ZerosBomb(std::size_t size)
{
    z_stream stream{};
    deflateInit(&stream, 9);
    std::vector<std::uint8_t> zeros(1 << 20, 0);
    std::vector<std::uint8_t> out(size / 500 + 4096);
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    for (std::size_t fed = 0; fed < size; fed += zeros.size())
    {
        stream.next_in = zeros.data();
        stream.avail_in = static_cast<uInt>(zeros.size());
        deflate(&stream, fed + zeros.size() >= size ? Z_FINISH : Z_NO_FLUSH);
    }
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

std::vector<std::uint8_t> CompressedRequest(std::uint16_t code, const std::vector<std::uint8_t>& payload)
{
    std::vector<std::uint8_t> message(HeaderSize);
    message.insert(message.end(), payload.begin(), payload.end());
    auto total = static_cast<std::int32_t>(message.size());
    EncodeHeader({total, code, total - HeaderSize}, message.data());
    return message;
}

// An Internet-mode administration connection that has logged in.
std::unique_ptr<RawClient> LoggedInInternetClient(const RefServer& server)
{
    auto client = std::make_unique<RawClient>(server.AdminPort());
    client->Send(RawConnectParams(/*uncompressed=*/false));
    EXPECT_EQ(ReplyCodeOf(client->Receive()), KORVEL_NONE);
    auto plain = RawRequest(REQUEST_LOGIN, {RawValue("admin"), RawValue("secret")});
    std::vector<std::uint8_t> payload;
    CompressPayload(plain.data() + HeaderSize, plain.size() - HeaderSize, payload);
    client->Send(CompressedRequest(REQUEST_LOGIN, payload));
    EXPECT_EQ(ReplyCodeOf(client->Receive()), KORVEL_NONE);
    return client;
}

TEST(HostileInput, BadSizesCloseTheConnection)
{
    RefServer server;
    for (std::int32_t size : {0, 9, -1, -2147483647 - 1, 2147483647, 16 * 1024 + 1})
    {
        SCOPED_TRACE(size);
        RawClient raw(server.MainPort());
        raw.Send(HeaderOnly(size));
        EXPECT_TRUE(raw.ClosedByServer());
    }
    // After login the limit is --max-message.
    auto client = LoggedInInternetClient(server);
    client->Send(HeaderOnly(64 * 1024 * 1024 + 1, REQUEST_GETUPTIME));
    EXPECT_TRUE(client->ClosedByServer());
    ExpectServing(server);
}

TEST(HostileInput, ZlibBombIsRefused)
{
    RefServer server;
    auto bomb = ZerosBomb(std::size_t{1} << 30); // 1 GB of zeros in about 1 MB
    // Before login the message is refused for its size alone.
    {
        RawClient raw(server.AdminPort());
        raw.Send(RawConnectParams(false));
        ASSERT_EQ(ReplyCodeOf(raw.Receive()), KORVEL_NONE);
        raw.Send(CompressedRequest(REQUEST_LOGIN, bomb));
        EXPECT_TRUE(raw.ClosedByServer());
    }
    // After login it may be sent, but inflating stops at the limit.
    auto client = LoggedInInternetClient(server);
    client->Send(CompressedRequest(REQUEST_GETUSERNAMES, bomb));
    EXPECT_TRUE(client->ClosedByServer(std::chrono::seconds{20}));
    // Inflating stopped at the 64 MiB limit (the bound leaves room for a sanitizer's quarantine).
    auto admin = OpenSession(server);
    EXPECT_LT(admin->GetMemoryUsage(), 600.0);
}

TEST(HostileInput, GarbageAndMisplacedRequests)
{
    RefServer server;
    std::mt19937 random(7);
    for (int round = 0; round < 20; ++round)
    {
        std::vector<std::uint8_t> garbage(1 + random() % 300);
        for (auto& byte : garbage)
            byte = static_cast<std::uint8_t>(random());
        RawClient raw(round % 2 ? server.AdminPort() : server.MainPort());
        raw.Send(garbage);
        raw.ClosedByServer(std::chrono::milliseconds{100});
    }
    // A first request that is not a handshake closes the connection.
    RawClient early(server.AdminPort());
    early.Send(RawRequest(REQUEST_LOGIN, {RawValue("admin"), RawValue("secret")}));
    EXPECT_TRUE(early.ClosedByServer());
    ExpectServing(server);
}

TEST(HostileInput, ShortOrWideValuesAreInvalidRequests)
{
    RefServer server;
    RawClient raw(server.AdminPort());
    raw.Send(RawConnectParams());
    ASSERT_EQ(ReplyCodeOf(raw.Receive()), KORVEL_NONE);
    raw.Send(RawRequest(REQUEST_LOGIN, {RawValue("admin"), RawValue("secret")}));
    ASSERT_EQ(ReplyCodeOf(raw.Receive()), KORVEL_NONE);

    auto expectInvalid = [&](const std::vector<std::uint8_t>& request)
    {
        raw.Send(request);
        auto reply = raw.Receive();
        EXPECT_EQ(ReplyCodeOf(reply), KORVEL_REMOTEINVREQUEST);
        EXPECT_EQ(reply.size(), HeaderSize + 6 * 4u); // six empty strings
    };
    expectInvalid(RawRequest(REQUEST_ADDUSER, {RawValue("bob"), RawValue("pw")}));   // values run short
    expectInvalid(RawRequest(REQUEST_GETSESSIONINFO, {RawNumber(std::int64_t{1})})); // too wide
    // A number narrower than its kind is not read into the low bytes of a guess, nor an empty one skipped.
    expectInvalid(RawRequest(REQUEST_GETSESSIONINFO, {RawNumber(std::int16_t{1})}));
    expectInvalid(RawRequest(REQUEST_GETSESSIONINFO, {{}}));
    expectInvalid(RawRequest(REQUEST_ADDUSER, {RawValue("bob"), RawValue("pw"), RawValue(""), {}}));
    auto lying = RawRequest(REQUEST_GETUSER, {RawValue("bob")});
    lying[HeaderSize] = 0xFF; // a value length running past the end
    expectInvalid(lying);
    // Nothing was added by the broken requests, and the connection still serves.
    raw.Send(RawRequest(REQUEST_GETUSERNAMES));
    auto names = raw.Receive();
    EXPECT_EQ(ReplyCodeOf(names), KORVEL_NONE);
    EXPECT_EQ(names.size(), HeaderSize + 8 + 4 + 5u); // count 1, then "admin"
}

TEST(HostileInput, StringsLongerThan255BytesAreRefusedAndChangeNothing)
{
    RefServer server;
    RawClient raw(server.AdminPort());
    raw.Send(RawConnectParams());
    ASSERT_EQ(ReplyCodeOf(raw.Receive()), KORVEL_NONE);
    const std::string tooLong(256, 'u');
    // LOGIN on the administration port: refused, and the connection may still log in.
    raw.Send(RawRequest(REQUEST_LOGIN, {RawValue("admin"), RawValue(tooLong)}));
    auto login = raw.Receive();
    EXPECT_EQ(ReplyCodeOf(login), KORVEL_REMOTEINVREQUEST);
    EXPECT_EQ(login.size(), HeaderSize + 6 * 4u); // six empty strings
    raw.Send(RawRequest(REQUEST_LOGIN, {RawValue("admin"), RawValue("secret")}));
    ASSERT_EQ(ReplyCodeOf(raw.Receive()), KORVEL_NONE);

    auto expectRefused = [&](const std::vector<std::uint8_t>& request)
    {
        raw.Send(request);
        auto reply = raw.Receive();
        EXPECT_EQ(ReplyCodeOf(reply), KORVEL_REMOTEINVREQUEST);
        EXPECT_EQ(reply.size(), HeaderSize + 6 * 4u);
    };
    const auto no = RawNumber(std::uint8_t{0});
    expectRefused(RawRequest(REQUEST_ADDUSER, {RawValue(tooLong), RawValue("pw"), RawValue("d"), no}));
    expectRefused(RawRequest(REQUEST_ADDUSER, {RawValue("bob"), RawValue(tooLong), RawValue("d"), no}));
    expectRefused(RawRequest(REQUEST_ADDUSER, {RawValue("bob"), RawValue("pw"), RawValue(tooLong), no}));
    expectRefused(RawRequest(REQUEST_ADDDB, {RawValue("sales"), RawValue("d"), RawValue(tooLong)}));
    const auto yes = RawNumber(std::uint8_t{1});
    auto configWithAddress = [&](const std::string& address, const std::vector<std::uint8_t>& number)
    {
        return RawRequest(REQUEST_MODIFYCONFIG,
                          {yes, number, number, number, number, number, RawValue("/tmp"),
                           RawNumber(std::int32_t{1}), RawValue(address), RawNumber(std::int32_t{0})});
    };
    const auto one = RawNumber(std::uint16_t{1});
    expectRefused(configWithAddress(tooLong, one));
    expectRefused(configWithAddress("10.0.0.1", yes)); // the 16-bit values one byte wide
    // Nothing was stored, not even a name cut to 255 bytes.
    auto admin = OpenSession(server);
    StringList users;
    admin->GetUserNames(users);
    EXPECT_EQ(users, StringList{"admin"});
    StringList databases;
    admin->GetDatabaseNames(databases);
    EXPECT_TRUE(databases.empty());
    ServerConfig config;
    admin->GetConfig(config);
    EXPECT_FALSE(config.DenyLogins);
    EXPECT_TRUE(config.AuthorizedAddresses.empty());
    raw.Send(configWithAddress("10.0.0.1", one)); // the same request with a short address is taken
    EXPECT_EQ(ReplyCodeOf(raw.Receive()), KORVEL_NONE);
    // 255 bytes are still a valid name.
    admin->AddUser(std::string(255, 'u'), "pw", "", false);
    admin->GetUserNames(users);
    EXPECT_EQ(users.size(), 2u);

    // LOGIN on the main port too.
    RawClient main(server.MainPort());
    main.Send(RawConnectParams());
    ASSERT_EQ(ReplyCodeOf(main.Receive()), KORVEL_NONE);
    main.Send(RawRequest(REQUEST_LOGIN, {RawValue(tooLong), RawValue("pw")}));
    EXPECT_EQ(ReplyCodeOf(main.Receive()), KORVEL_REMOTEINVREQUEST);
}

TEST(HostileInput, RequestsSentAheadAreServedInOrder)
{
    RefServer server;
    RawClient raw(server.AdminPort());
    std::vector<std::uint8_t> burst = RawConnectParams();
    for (const auto& request : {RawRequest(REQUEST_LOGIN, {RawValue("admin"), RawValue("wrong")}),
                                RawRequest(REQUEST_LOGIN, {RawValue("admin"), RawValue("secret")}),
                                RawRequest(REQUEST_GETUPTIME), RawRequest(REQUEST_GETUSERNAMES)})
        burst.insert(burst.end(), request.begin(), request.end());
    raw.Send(burst); // one write: the server reads past the first message
    EXPECT_EQ(ReplyCodeOf(raw.Receive()), KORVEL_NONE);
    EXPECT_EQ(ReplyCodeOf(raw.Receive()), KORVEL_REMOTEINVLOGIN);
    EXPECT_EQ(ReplyCodeOf(raw.Receive()), KORVEL_NONE);
    EXPECT_EQ(raw.Receive().size(), HeaderSize + 8u); // the up time
    EXPECT_EQ(raw.Receive().size(), HeaderSize + 8 + 4 + 5u);
}

TEST(HostileInput, SilenceIsTimedOut)
{
    RefServer server(ServerWith({"--handshake-timeout", "1", "--login-timeout", "1"}));
    RawClient silent(server.MainPort());
    RawClient noLogin(server.AdminPort());
    noLogin.Send(RawConnectParams());
    EXPECT_EQ(ReplyCodeOf(noLogin.Receive()), KORVEL_NONE);
    EXPECT_TRUE(silent.ClosedByServer(std::chrono::seconds{5}));
    EXPECT_TRUE(noLogin.ClosedByServer(std::chrono::seconds{5}));
    ExpectServing(server);
}

TEST(HostileInput, HalfOpenConnectionsDoNotStallARealLogin)
{
    RefServer server;
    std::vector<std::unique_ptr<RawClient>> idle;
    for (int i = 0; i < 500; ++i)
    {
        idle.push_back(std::make_unique<RawClient>(i % 2 ? server.MainPort() : server.AdminPort()));
        idle.back()->Send({10, 0, 0}); // part of a header, then nothing
    }
    auto admin = OpenSession(server);
    EXPECT_GE(admin->GetUpTime(), 0);
    auto user = OpenSession(server, false);
    EXPECT_EQ(admin->GetConnectedSessionCount(), 1);
}

// A flood of silent connections from one address, with few descriptors: on the main port the administration
// port's reserve lets the administrator in before anything is closed; on the administration port itself the
// oldest idle connections are closed to make room.
TEST(HostileInput, AFloodOfIdleConnectionsDoesNotLockOutTheAdministrator)
{
    struct Case
    {
        const char* Name;
        bool AdminPort;
    };
    for (const Case c : {Case{"main port flooded", false}, Case{"administration port flooded", true}})
    {
        SCOPED_TRACE(c.Name);
        RefServer server(
            ServerWith({"--max-files", "256", "--max-idle-per-address", "16", "--max-idle", "32"}));
        // Each connection shakes hands, then says nothing more, until the port takes no more of them. Four
        // addresses within their own limit are together beyond the limit in all.
        const std::vector<const char*> sources = {"127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.5"};
        std::vector<std::unique_ptr<RawClient>> flood;
        for (bool answered = true; answered && flood.size() < 300;)
        {
            flood.push_back(std::make_unique<RawClient>(c.AdminPort ? server.AdminPort() : server.MainPort(),
                                                        sources[flood.size() % sources.size()]));
            flood.back()->Send(RawConnectParams());
            answered = !flood.back()->Receive(std::chrono::milliseconds{1000}).empty();
        }
        ASSERT_LT(flood.size(), 300u) << "the flood filled the port";
        ExpectServing(server);
        if (c.AdminPort)
        {
            EXPECT_TRUE(flood.front()->ClosedByServer()) << "the oldest idle connection goes first";
            auto open = [&]
            {
                return std::ranges::count_if(
                    flood,
                    [](const auto& client) { return !client->ClosedByServer(std::chrono::milliseconds{5}); });
            };
            EXPECT_TRUE(Eventually([&] { return open() <= 32; }, std::chrono::seconds{10}))
                << open() << " idle connections kept";
        }
        else
        {
            auto closed =
                std::ranges::count_if(flood, [](const auto& client)
                                      { return client->ClosedByServer(std::chrono::milliseconds{5}); });
            EXPECT_EQ(closed, 0) << "the administrator needed no room made";
        }
    }
}

// A pooled application server opens many connections at once from one address: none of them is idle, since
// each sends at once, so none is refused however far beyond the idle limit they go.
TEST(HostileInput, ABurstOfLoginsFromOneAddressIsNeverRefused)
{
    RefServer server;
    std::vector<std::unique_ptr<RawClient>> pool;
    for (int i = 0; i < 300; ++i)
    {
        pool.push_back(std::make_unique<RawClient>(server.MainPort()));
        pool.back()->Send(RawConnectParams());
    }
    for (auto& client : pool)
    {
        ASSERT_EQ(ReplyCodeOf(client->Receive()), KORVEL_NONE);
        client->Send(RawRequest(REQUEST_LOGIN, {RawValue("admin"), RawValue("secret")}));
    }
    int loggedIn = 0;
    for (auto& client : pool)
        loggedIn += ReplyCodeOf(client->Receive()) == KORVEL_NONE;
    EXPECT_EQ(loggedIn, 300);
    EXPECT_EQ(OpenSession(server)->GetConnectedSessionCount(), 300);
}

} // namespace
} // namespace korvel::test
