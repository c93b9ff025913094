// What korvel-admin-cli offers a person at a shell: its version, help on any command, the closest names for a
// typo, the commands of a group named alone, a question before a deletion on a terminal, failures as JSON
// with --json, and a sentence for an empty list.
#include "CliTest.h"

namespace korvel::test
{
namespace
{

enum class Where
{
    Pipes,          // no terminal at all, as in a script
    Terminal,       // a controlling terminal for questions; the output still goes to a pipe
    OutputTerminal, // the output goes to the terminal as well
};

struct Case
{
    std::vector<std::string> Args;
    Where On;
    std::vector<TerminalExchange> Typed;
    std::vector<std::string> Said; // each found in the output, the errors or the terminal
    int Status;
    std::vector<std::string> Unsaid = {}; // none of them found there
    std::string Gone = {};                // a user or database the row deletes
    std::string Kept = {};                // one it must not delete
    bool JsonError = false;               // stderr is one JSON error object whose code is the exit status
};

class CliComfortsTest : public CliTest
{
protected:
    std::string Listed() { return Json({"user", "list"}).dump() + Json({"database", "list"}).dump(); }
};

TEST_F(CliComfortsTest, EachWayOfAskingGetsItsAnswer)
{
    for (const std::string name : {"db1", "db2"})
        Json({"database", "add", name, "--directory", "/srv/" + name});
    for (const std::string name : {"bob", "carol"})
        Json({"user", "add", name, "--password", "pw"});

    const std::vector<Case> cases = {
        {{"--version"}, Where::Pipes, {}, {"korvel-admin-cli 1.0.0\n"}, 0},
        {{"help"}, Where::Pipes, {}, {"Subcommands:", "dbuser", "help"}, 0},
        {{"help", "user", "delete"}, Where::Pipes, {}, {"Usage: korvel-admin-cli user delete", "--force"}, 0},
        {{"help", "usr"}, Where::Pipes, {}, {"unknown command usr (did you mean user?)"}, 2},
        {{"usr", "list"}, Where::Pipes, {}, {"unknown command usr (did you mean user?)"}, 2},
        {{"user", "lsit"}, Where::Pipes, {}, {"unknown command lsit (did you mean list?)"}, 2},
        {{"databse", "list"}, Where::Pipes, {}, {"(did you mean database?)"}, 2},
        {{"--jsno", "version"}, Where::Pipes, {}, {"unknown option --jsno (did you mean --json?)"}, 2},
        {{"user", "delete", "bob", "--froce"}, Where::Pipes, {}, {"(did you mean --force?)"}, 2},
        {{"frobnicate"}, Where::Pipes, {}, {"unknown command frobnicate\n"}, 2},
        {{"user"}, Where::Pipes, {}, {"'user' needs a command, one of:", "  delete  Delete a user"}, 2},
        {{"dbuser"}, Where::Terminal, {}, {"'dbuser' needs a command", "  modify"}, 2},
        {{"--json", "frobnicate"}, Where::Pipes, {}, {"unknown command frobnicate"}, 2, {}, "", "", true},
        {{"--json", "user", "show", "nobody"}, Where::Pipes, {}, {"nobody"}, 1, {}, "", "", true},
        {{"database", "delete", "db1"},
         Where::Terminal,
         {{"[y/N]", "n\n"}},
         {"Delete the database 'db1'?", "nothing"},
         2,
         {},
         "",
         "db1"},
        {{"database", "delete", "db1"},
         Where::Terminal,
         {{"[y/N]", "y\n"}},
         {"Delete the database 'db1'?"},
         0,
         {},
         "db1"},
        {{"database", "delete", "db2"}, Where::Pipes, {}, {}, 0, {"Delete"}, "db2"},
        {{"user", "delete", "bob"},
         Where::Terminal,
         {{"[y/N]", "no\n"}},
         {"Delete the user 'bob'?"},
         2,
         {},
         "",
         "bob"},
        {{"user", "delete", "bob"},
         Where::Terminal,
         {{"[y/N]", "yes\n"}},
         {"Delete the user 'bob'?"},
         0,
         {},
         "bob"},
        // With --force nothing is asked: a "no" typed at once is never read.
        {{"user", "delete", "carol", "--force"}, Where::Terminal, {{"", "n\n"}}, {}, 0, {"Delete"}, "carol"},
        {{"sessions"}, Where::OutputTerminal, {}, {"No sessions."}, 0},
        {{"database", "list"}, Where::OutputTerminal, {}, {"No databases."}, 0},
        {{"database", "list"}, Where::Terminal, {}, {}, 0, {"No databases."}},
    };
    for (const Case& row : cases)
    {
        const std::string line = ::testing::PrintToString(row.Args);
        TerminalRun run;
        if (row.On == Where::Pipes)
            run.Run = RunCli(Args(row.Args));
        else
            run = RunCliOnTerminal(Args(row.Args), row.Typed, {}, row.On == Where::OutputTerminal);
        EXPECT_EQ(run.Run.Status, row.Status) << line << run.Run.Err << run.Text;
        const std::string all = run.Run.Out + run.Run.Err + run.Text;
        for (const std::string& words : row.Said)
            EXPECT_NE(all.find(words), std::string::npos) << line << " lacks " << words << ":\n" << all;
        for (const std::string& words : row.Unsaid)
            EXPECT_EQ(all.find(words), std::string::npos) << line << " says " << words << ":\n" << all;
        if (row.JsonError)
        {
            const auto error = nlohmann::json::parse(run.Run.Err, nullptr, false);
            ASSERT_TRUE(error.is_object()) << line << run.Run.Err;
            EXPECT_EQ(error["error"]["code"], row.Status) << line;
            EXPECT_TRUE(error["error"]["message"].is_string()) << line;
        }
        const std::string listed = Listed();
        if (!row.Gone.empty())
        {
            EXPECT_EQ(listed.find('"' + row.Gone + '"'), std::string::npos) << line << listed;
        }
        if (!row.Kept.empty())
        {
            EXPECT_NE(listed.find('"' + row.Kept + '"'), std::string::npos) << line << listed;
        }
    }
}

} // namespace
} // namespace korvel::test
