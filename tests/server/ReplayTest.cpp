// Exactly once: when a reply is lost and the client re-connects and resends, the server answers the resend
// with the stored reply instead of running the request twice.
#include "engine/Transport.h"
#include "engine/wire/ErrorCodes.h"
#include "testing/ForwardingTransport.h"
#include "tests/server/ServerTestSupport.h"

#include <gtest/gtest.h>

namespace korvel::test
{
namespace
{

// A TCP transport that, when armed, waits until the server's reply has arrived and then drops the connection
// instead of reading it: the request was executed, its reply is lost.
class ReplyDroppingTransport : public ForwardingTransport
{
public:
    explicit ReplyDroppingTransport(bool& armed) : ForwardingTransport(CreateTcpTransport()), armed_(armed) {}

    std::int32_t Read(std::uint8_t* data, std::int32_t size) override
    {
        if (armed_)
        {
            armed_ = false;
            Inner().WaitForData(5000);
            Inner().Close();
            throw TransportError("reply dropped by the test");
        }
        return ForwardingTransport::Read(data, size);
    }

private:
    bool& armed_;
};

std::unique_ptr<TDataSession> DroppingSession(const RefServer& server, bool& armed, bool lan)
{
    auto session = std::make_unique<TDataSession>(30);
    session->SetTransportFactory([&armed] { return std::make_unique<ReplyDroppingTransport>(armed); });
    session->SetRemote(true);
    session->SetUncompressed(lan);
    session->SetPort(server.AdminPort());
    session->SetUserName("admin");
    session->SetPassword("secret");
    session->Connect();
    session->Login();
    return session;
}

TEST(ExactlyOnce, ResentChangeGetsTheStoredReply)
{
    for (bool lan : {true, false})
    {
        SCOPED_TRACE(lan ? "LAN" : "Internet");
        RefServer server;
        bool armed = false;
        auto admin = DroppingSession(server, armed, lan);

        armed = true;
        EXPECT_NO_THROW(admin->AddUser("bob", "pw", "", false)); // executed, reply lost, resent, replayed
        EXPECT_FALSE(armed);
        StringList names;
        admin->GetUserNames(names);
        EXPECT_EQ(names, (StringList{"admin", "bob"}));

        // Same for a stop: the resend does not stop anything twice, and the reply still says success.
        armed = true;
        EXPECT_NO_THROW(admin->DeleteUser("bob"));
        admin->GetUserNames(names);
        EXPECT_EQ(names, StringList{"admin"});

        // A deliberate repeat is executed again, and refused as it should be.
        admin->AddUser("carol", "pw", "", false);
        EXPECT_EQ(ErrorCodeOf([&] { admin->AddUser("carol", "pw", "", false); }), KORVEL_REMOTEDUPUSER);

        StringList log;
        admin->GetLog(log);
        int replays = 0;
        for (const auto& line : log)
            replays += line.find("resent its last request") != std::string::npos;
        EXPECT_EQ(replays, 2);
    }
}

TEST(ExactlyOnce, ReadsAreExecutedAgain)
{
    RefServer server;
    bool armed = false;
    auto admin = DroppingSession(server, armed, true);
    admin->AddUser("bob", "pw", "", false);
    StringList names;
    admin->GetUserNames(names);
    auto other = OpenSession(server);
    other->AddUser("carol", "pw", "", false);

    // The lost read is executed again after the re-connection, so it sees the newest state.
    armed = true;
    admin->GetUserNames(names);
    EXPECT_EQ(names, (StringList{"admin", "bob", "carol"}));
}

} // namespace
} // namespace korvel::test
