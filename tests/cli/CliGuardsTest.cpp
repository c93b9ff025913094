// korvel-admin-cli's guards and bulk rights against a real korvel-refserver: the last administrator, its own
// account (asked on a terminal, refused without one unless --force), address-list warnings from the shared
// table, and the rights matrix with its bulk changes.
#include "CliTest.h"

#include "testing/AddressPatternTable.h"
#include "testing/LoadClients.h"

namespace korvel::test
{
namespace
{

class CliGuardsTest : public CliTest
{
protected:
    CliRun RunOnTerminal(const std::vector<std::string>& args, const std::vector<TerminalExchange>& exchanges)
    {
        std::string terminal;
        CliRun run = RunCliOnTerminal(Args(args), exchanges, terminal);
        terminalText = terminal;
        return run;
    }
    std::string terminalText;
};

TEST_F(CliGuardsTest, TheLastAdministratorAndTheOwnAccount)
{
    CliRun last = Run({"user", "delete", "admin", "--force"});
    EXPECT_EQ(last.Status, 1);
    EXPECT_EQ(last.Err,
              "'admin' is the last administrator of this server. Deleting this user would leave nobody "
              "able to administer the server, so it is not done.\n");
    CliRun demote = Run({"user", "modify", "admin", "--no-admin", "--force"});
    EXPECT_EQ(demote.Status, 1);
    EXPECT_NE(demote.Err.find("Removing its administrator right"), std::string::npos) << demote.Err;

    ASSERT_EQ(Run({"user", "add", "root", "--admin", "--password", "r"}).Status, 0);
    CliRun noTerminal = Run({"user", "delete", "admin"});
    EXPECT_EQ(noTerminal.Status, 2);
    EXPECT_NE(
        noTerminal.Err.find("You are logged in as 'admin'. Delete this account? You will be logged out."),
        std::string::npos)
        << noTerminal.Err;
    EXPECT_EQ(Json({"user", "list"}), nlohmann::json({"admin", "root"})) << "nothing sent";

    CliRun declined = RunOnTerminal({"user", "modify", "admin", "--no-admin"}, {{"[y/N]", "n\n"}});
    EXPECT_EQ(declined.Status, 2);
    EXPECT_NE(terminalText.find("Remove this account's administrator right?"), std::string::npos);
    EXPECT_EQ(Json({"user", "show", "admin"})["administrator"], true);

    CliRun accepted = RunOnTerminal({"user", "delete", "admin"}, {{"[y/N]", "y\n"}});
    EXPECT_EQ(accepted.Status, 0) << accepted.Err;
    CliRun asRoot = RunCli({"--port", std::to_string(server.AdminPort()), "--user", "root", "--password", "r",
                            "--json", "user", "list"});
    EXPECT_EQ(nlohmann::json::parse(asRoot.Out), nlohmann::json({"root"}));
}

TEST_F(CliGuardsTest, ConfigSetWarnsAboutTheSharedTableAndNeedsForceWithoutATerminal)
{
    for (const auto& row : AddressPatternTable())
    {
        CliRun run = Run({"config", "set", "blocked_addresses=" + row.Pattern});
        std::string warning = "Line 1 \"" + row.Pattern + "\" is not a recognised address pattern.";
        EXPECT_EQ(run.Err.find(warning) != std::string::npos, !row.Recognised)
            << row.Pattern << ": " << run.Err;
        EXPECT_EQ(run.Status, row.Recognised ? 0 : 2) << row.Pattern;
    }
    EXPECT_EQ(Json({"config", "show"})["blocked_addresses"], nlohmann::json({"::ffff:127.0.0.1"}))
        << "the last recognised one";
    CliRun forced = Run({"config", "set", "blocked_addresses=hello world", "--force"});
    EXPECT_EQ(forced.Status, 0);
    EXPECT_NE(forced.Err.find("\"hello world\""), std::string::npos) << "still warned";
    EXPECT_EQ(Json({"config", "show"})["blocked_addresses"], nlohmann::json({"hello world"}));
}

TEST_F(CliGuardsTest, TheLockOutPreviewCountsOnlyConnectedSessions)
{
    LoadClients load(server, 1);
    nlohmann::json sessions = Json({"sessions"});
    ASSERT_EQ(sessions.size(), 1u) << sessions.dump();
    const std::string id = std::to_string(sessions[0]["id"].get<int>());
    CliRun connected = Run({"config", "set", "deny_logins=true"});
    EXPECT_EQ(connected.Status, 2) << "asked, and refused without a terminal";
    EXPECT_NE(connected.Err.find("1 connected session from 127.0.0.1 would be refused"), std::string::npos)
        << connected.Err;

    ASSERT_EQ(Run({"session", "disconnect", id}).Status, 0);
    ASSERT_EQ(Json({"sessions"})[0]["address"], "") << "the session is dead";
    CliRun dead = Run({"config", "set", "deny_logins=true"});
    EXPECT_EQ(dead.Status, 0) << dead.Err;
    EXPECT_EQ(dead.Err, "");
}

TEST_F(CliGuardsTest, TheRightsMatrixAndItsBulkChanges)
{
    for (const char* user : {"alice", "bob", "carol"})
        ASSERT_EQ(Run({"user", "add", user}).Status, 0);
    for (const char* database : {"sales", "stock", "empty"})
        ASSERT_EQ(Run({"database", "add", database, "--directory", std::string("/data/") + database}).Status,
                  0)
            << database;
    ASSERT_EQ(Run({"dbuser", "add", "sales", "bob", "--rights", "all"}).Status, 0);
    ASSERT_EQ(Run({"dbuser", "add", "sales", "carol", "--rights", "none"}).Status, 0);

    nlohmann::json matrix = Json({"rights"});
    EXPECT_EQ(matrix["users"], nlohmann::json({"admin", "alice", "bob", "carol"}));
    EXPECT_EQ(matrix["databases"], nlohmann::json({"empty", "sales", "stock"}));
    EXPECT_EQ(matrix["rights"]["bob"]["sales"],
              nlohmann::json({"read", "insert", "update", "delete", "create", "alter", "drop"}));
    EXPECT_EQ(matrix["rights"]["carol"]["sales"], nlohmann::json::array()) << "no rights";
    EXPECT_EQ(matrix["rights"]["alice"], nlohmann::json::object()) << "on no database";
    EXPECT_EQ(Json({"rights", "--user", "carol", "--database", "sales"}),
              nlohmann::json({{"users", {"carol"}},
                              {"databases", {"sales"}},
                              {"rights", {{"carol", {{"sales", nlohmann::json::array()}}}}}}));

    CliRun unasked = Run({"rights", "grant", "RI", "--users", "alice,carol", "--databases", "sales,stock"});
    EXPECT_EQ(unasked.Status, 2);
    EXPECT_NE(unasked.Err.find("3 additions, 1 change to send."), std::string::npos) << unasked.Err;
    EXPECT_EQ(Json({"rights", "--user", "alice"})["rights"]["alice"], nlohmann::json::object())
        << "nothing sent";

    CliRun granted =
        RunOnTerminal({"rights", "grant", "RI", "--users", "alice,carol", "--databases", "sales,stock"},
                      {{"Send them? [y/N]", "y\n"}});
    EXPECT_EQ(granted.Status, 0) << granted.Err;
    matrix = Json({"rights"});
    EXPECT_EQ(matrix["rights"]["carol"]["sales"], nlohmann::json({"read", "insert"}));
    EXPECT_EQ(matrix["rights"]["alice"]["stock"], nlohmann::json({"read", "insert"}));

    EXPECT_EQ(Run({"rights", "revoke", "read", "--users", "*", "--databases", "sales", "--force"}).Status, 0);
    EXPECT_EQ(Json({"rights"})["rights"]["bob"]["sales"].size(), 6u);
    EXPECT_EQ(Run({"rights", "copy", "bob", "alice", "--force"}).Status, 0);
    matrix = Json({"rights"});
    EXPECT_EQ(matrix["rights"]["alice"], matrix["rights"]["bob"]) << "removals included";
    EXPECT_EQ(Run({"rights", "set", "-", "--users", "alice", "--databases", "*", "--force"}).Status, 0);
    EXPECT_EQ(Json({"rights"})["rights"]["alice"], nlohmann::json::object());
    EXPECT_EQ(Run({"rights", "copy", "nobody", "alice", "--force"}).Status, 1);

    CliRun table = Run({"rights", "--user", "bob"});
    EXPECT_NE(table.Out.find("UDCAX"), std::string::npos) << table.Out;
}

} // namespace
} // namespace korvel::test
