// The one check of how to reach a server that the Options dialog, the Profiles dialog and the CLI share, on
// plain values, and the texts that name where a server is.
#include "settings/Connection.h"

#include <gtest/gtest.h>

#include <string>
#include <variant>

namespace korvel::test
{
namespace
{

using settings::CheckedConnection;
using settings::Connection;
using settings::ConnectionError;

const std::string NoHost = "You must specify a host name or IP address for a remote connection";
const std::string NoPort = "You must specify a port or service for a remote connection";
const std::string OutOfRange = "The port must be between 0 and 65535";

// The checked port, or the message of the refusal.
using Outcome = std::variant<int, std::string>;

Outcome Check(const Connection& given, const std::string& port)
{
    try
    {
        return CheckedConnection(given, port).Port;
    }
    catch (const ConnectionError& error)
    {
        return error.what();
    }
}

TEST(ConnectionCheck, APortIsOneTo65535OrNoneWithAService)
{
    const Connection plain{false, "", "10.0.0.1", 9, ""};
    const Connection named{false, "", "10.0.0.1", 9, "korvel-admin"};
    const struct
    {
        Connection Given;
        std::string Port;
        Outcome Expected;
    } cases[] = {
        {plain, "1", 1},
        {plain, "65535", 65535},
        {plain, "65536", OutOfRange},
        {plain, "-1", OutOfRange},
        {plain, "99999999999999999999", "'99999999999999999999' is not a valid integer value"},
        {plain, "12x", "'12x' is not a valid integer value"},
        {plain, "0x10", "'0x10' is not a valid integer value"},
        {plain, "", NoPort},
        {plain, "0", NoPort},
        {plain, "00", NoPort},
        {named, "", 0},
        {named, "0", 0},
        {named, "65536", OutOfRange},
        {named, "12006", 12006},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Check(c.Given, c.Port), c.Expected)
            << "port '" << c.Port << "', service '" << c.Given.Service << "'";
}

TEST(ConnectionCheck, AHostNameOrAddressComesFirstAndKeepsTheRest)
{
    EXPECT_EQ(Check({true, "", "", 1, ""}, "12x"), Outcome(NoHost))
        << "a missing host is told before a bad port";
    const Connection given{true, "db.example.org", "", 1, "korvel-admin"};
    Connection expected = given;
    expected.Port = 12010;
    EXPECT_EQ(CheckedConnection(given, "12010"), expected);
    EXPECT_EQ(Check({false, "", "10.0.0.1", 1, ""}, "12006"), Outcome(12006));
}

TEST(ConnectionCheck, ThePlaceNamesTheHostElseTheAddressAndTheServiceElseThePort)
{
    const Connection byAddress{false, "", "10.0.0.1", 12006, ""};
    EXPECT_EQ(byAddress.Place(), "10.0.0.1 on port 12006");
    EXPECT_EQ(byAddress.Endpoint(), "10.0.0.1:12006");
    const Connection byName{false, "db1", "10.0.0.1", 0, "korvel-admin"};
    EXPECT_EQ(byName.Place(), "db1 on service korvel-admin");
    EXPECT_EQ(byName.Endpoint(), "db1:korvel-admin");
}

} // namespace
} // namespace korvel::test
