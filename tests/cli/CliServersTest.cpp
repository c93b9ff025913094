// `servers` against the shared fleet: every profile's state as the table and the JSON give it, names shown
// escaped in the one and exact in the other, the exit status for monitoring, and the profiles named.
#include "CliProcess.h"

#include "engine/wire/Utf8.h"
#include "testing/FleetProfiles.h"
#include "testing/TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <sstream>

namespace korvel::test
{
namespace
{

class CliServersTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // The passwords live in the keyring of a Secret Service of this test's own (with-secret-service.sh).
        if (const char* reason = std::getenv("KORVEL_NO_SECRET_SERVICE"))
            GTEST_SKIP() << "no Secret Service to keep the passwords in: " << reason;
        ::setenv("XDG_CONFIG_HOME", config.Path().c_str(), 1); // the CLI inherits it
        settings::ProfileStore store;
        fleet.SaveProfiles(store);
        fleet.KeepPasswords();
    }

    // The line of the table that starts with the profile's name as shown.
    static std::string LineOf(const std::string& table, const std::string& name)
    {
        std::istringstream lines(table);
        for (std::string line; std::getline(lines, line);)
            if (line.starts_with(ShownName(name) + " "))
                return line;
        return "";
    }

    TempDir config{"korvel-cli-servers"};
    FleetProfiles fleet;
};

TEST_F(CliServersTest, EveryProfileIsShownInItsStateAndAnyServerNotUpFailsTheRun)
{
    const std::string timeout = std::to_string(FleetProfiles::Deadline.count());
    const CliRun table = RunCli({"servers", "--timeout", timeout});
    const CliRun json = RunCli({"servers", "--timeout", timeout, "--json"});
    EXPECT_EQ(table.Status, 1) << table.Err;
    EXPECT_EQ(json.Status, 1) << json.Err;
    EXPECT_TRUE(table.Out.starts_with("Profile ")) << table.Out;
    const nlohmann::json rows = nlohmann::json::parse(json.Out, nullptr, false);
    ASSERT_TRUE(rows.is_array()) << json.Out;
    ASSERT_EQ(rows.size(), fleet.Rows().size());
    for (const FleetRow& row : fleet.Rows())
    {
        SCOPED_TRACE(ShownName(row.Profile.Name));
        const std::string expected = fleet.ExpectedText(row);
        const std::string line = LineOf(table.Out, row.Profile.Name);
        EXPECT_NE(line.find("  " + expected + "  "), std::string::npos) << line;
        const auto found =
            std::find_if(rows.begin(), rows.end(),
                         [&](const nlohmann::json& shown) { return shown["profile"] == row.Profile.Name; });
        ASSERT_NE(found, rows.end()) << json.Out;
        EXPECT_EQ((*found)["text"], expected);
        if (row.Expected == fleet::ServerState::Up)
        {
            const std::string sessions = std::to_string(row.Sessions);
            EXPECT_NE(line.find("  " + sessions + "/" + sessions + "  "), std::string::npos) << line;
            EXPECT_EQ((*found)["sessions"], row.Sessions);
        }
    }
    // Nothing that turns text around or moves the cursor reaches the terminal.
    EXPECT_EQ(table.Out.find("\u202E"), std::string::npos);
}

TEST_F(CliServersTest, OnlyTheNamedProfilesAreCheckedAndAnUnknownNameIsAUsageError)
{
    std::vector<std::string> args{"servers", "--json"};
    std::vector<std::string> up;
    for (const FleetRow& row : fleet.Rows())
        if (row.Expected == fleet::ServerState::Up)
        {
            args.insert(args.end(), {"--profile", row.Profile.Name});
            up.push_back(row.Profile.Name);
        }
    const CliRun named = RunCli(args);
    EXPECT_EQ(named.Status, 0) << named.Err << named.Out;
    const nlohmann::json rows = nlohmann::json::parse(named.Out, nullptr, false);
    ASSERT_EQ(rows.size(), up.size()) << named.Out;
    for (std::size_t at = 0; at < up.size(); ++at)
        EXPECT_EQ(rows[at]["profile"], up[at]);

    const CliRun unknown = RunCli({"servers", "--profile", up.front(), "--profile", "nowhere"});
    EXPECT_EQ(unknown.Status, 2);
    EXPECT_EQ(unknown.Out, "");
    EXPECT_NE(unknown.Err.find("there is no profile named nowhere"), std::string::npos) << unknown.Err;
}

} // namespace
} // namespace korvel::test
