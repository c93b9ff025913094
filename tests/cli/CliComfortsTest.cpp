// What korvel-admin-cli offers a person at a shell: its version, help on any command, the closest names for a
// typo, the commands of a group named alone, a question before a deletion on a terminal, failures as JSON
// with --json, and a sentence for an empty list.
#include "CliTest.h"

namespace korvel::test
{
namespace
{

// OutputTerminal: the program's output goes to the terminal as well.
enum class Where
{
    Pipes,
    Terminal,
    OutputTerminal
};

struct Case
{
    std::vector<std::string> Args;
    Where On;
    std::vector<TerminalExchange> Typed;
    std::vector<std::string> Said; // each found in the output, the errors or the terminal
    int Status;
    std::vector<std::string> Unsaid = {}; // none of them found there
    std::string Deleted = {};             // the user or database the row deletes when it succeeds, else keeps
};

using CliComfortsTest = CliTest;

TEST_F(CliComfortsTest, EachWayOfAskingGetsItsAnswer)
{
    using enum Where;
    for (const std::string name : {"db1", "db2"})
        Json({"database", "add", name, "--directory", "/srv/" + name});
    for (const std::string name : {"bob", "carol"})
        Json({"user", "add", name, "--password", "pw"});

    const std::vector<Case> cases = {
        {{"--version"}, Pipes, {}, {"korvel-admin-cli 1.0.0\n"}, 0},
        {{"help"}, Pipes, {}, {"Subcommands:", "dbuser", "help"}, 0},
        {{"help", "user", "delete"}, Pipes, {}, {"Usage: korvel-admin-cli user delete", "--force"}, 0},
        {{"help", "usr"}, Pipes, {}, {"unknown command usr (did you mean user?)"}, 2},
        {{"usr", "list"}, Pipes, {}, {"unknown command usr (did you mean user?)"}, 2},
        {{"user", "lsit"}, Pipes, {}, {"unknown command lsit (did you mean list?)"}, 2},
        {{"databse", "list"}, Pipes, {}, {"(did you mean database?)"}, 2},
        {{"--jsno", "version"}, Pipes, {}, {"unknown option --jsno (did you mean --json?)"}, 2},
        {{"user", "delete", "bob", "--froce"}, Pipes, {}, {"(did you mean --force?)"}, 2},
        {{"frobnicate"}, Pipes, {}, {"unknown command frobnicate\n"}, 2},
        {{"user"}, Pipes, {}, {"'user' needs a command, one of:", "  delete  Delete a user"}, 2},
        {{"dbuser"}, Terminal, {}, {"'dbuser' needs a command", "  modify"}, 2},
        {{"--json", "frobnicate"}, Pipes, {}, {"unknown command frobnicate"}, 2},
        {{"--json", "user", "show", "nobody"}, Pipes, {}, {"nobody"}, 1},
        {{"database", "delete", "db1"}, Terminal, {{"[y/N]", "n\n"}}, {"database 'db1'?"}, 2, {}, "db1"},
        {{"database", "delete", "db1"}, Terminal, {{"[y/N]", "y\n"}}, {"database 'db1'?"}, 0, {}, "db1"},
        {{"database", "delete", "db2"}, Pipes, {}, {}, 0, {"Delete"}, "db2"},
        {{"user", "delete", "bob"}, Terminal, {{"[y/N]", "no\n"}}, {"user 'bob'?"}, 2, {}, "bob"},
        {{"user", "delete", "bob"}, Terminal, {{"[y/N]", "yes\n"}}, {"user 'bob'?"}, 0, {}, "bob"},
        // With --force nothing is asked: a "no" typed at once is never read.
        {{"user", "delete", "carol", "--force"}, Terminal, {{"", "n\n"}}, {}, 0, {"Delete"}, "carol"},
        {{"sessions"}, OutputTerminal, {}, {"No sessions."}, 0},
        {{"database", "list"}, OutputTerminal, {}, {"No databases."}, 0},
        {{"database", "list"}, Terminal, {}, {}, 0, {"No databases."}},
    };
    for (const Case& row : cases)
    {
        const std::string line = ::testing::PrintToString(row.Args);
        TerminalRun run;
        if (row.On == Pipes)
            run.Run = RunCli(Args(row.Args));
        else
            run = RunCliOnTerminal(Args(row.Args), row.Typed, {}, row.On == OutputTerminal);
        EXPECT_EQ(run.Run.Status, row.Status) << line << run.Run.Err << run.Text;
        const std::string all = run.Run.Out + run.Run.Err + run.Text;
        for (const std::string& words : row.Said)
            EXPECT_NE(all.find(words), std::string::npos) << line << " lacks " << words << ":\n" << all;
        for (const std::string& words : row.Unsaid)
            EXPECT_EQ(all.find(words), std::string::npos) << line << " says " << words << ":\n" << all;
        if (row.Args.front() == "--json" && row.Status != 0)
        {
            const auto error = nlohmann::json::parse(run.Run.Err, nullptr, false);
            EXPECT_EQ(error.contains("error") ? error["error"].value("code", 0) : 0, row.Status)
                << run.Run.Err;
        }
        const std::string listed = Json({"user", "list"}).dump() + Json({"database", "list"}).dump();
        const bool gone = listed.find('"' + row.Deleted + '"') == std::string::npos;
        EXPECT_TRUE(row.Deleted.empty() || gone == (row.Status == 0)) << line << listed;
    }
}

} // namespace
} // namespace korvel::test
