// No write from a stale read: while korvel-admin-cli's question is open, a second client changes the record
// through the server; the answer is followed by a fresh read, the person is asked again showing what moved,
// and what is sent keeps the other client's change.
#include "CliStateTest.h"

namespace korvel::test
{
namespace
{

class CliStaleReadTest : public CliStateTest
{
protected:
    // The second client: another administrator, its own login.
    void AsRoot(const std::vector<std::string>& args)
    {
        std::vector<std::string> all{
            "--port", std::to_string(server.AdminPort()), "--user", "root", "--password", "r"};
        all.insert(all.end(), args.begin(), args.end());
        const CliRun run = RunCli(all);
        EXPECT_EQ(run.Status, 0) << run.Err;
    }
    nlohmann::json RootJson(const std::vector<std::string>& args)
    {
        std::vector<std::string> all{
            "--port", std::to_string(server.AdminPort()), "--user", "root", "--password", "r", "--json"};
        all.insert(all.end(), args.begin(), args.end());
        return nlohmann::json::parse(RunCli(all).Out, nullptr, false);
    }
};

TEST_F(CliStaleReadTest, AChangeMadeWhileTheQuestionIsOpenIsShownAndKept)
{
    ASSERT_EQ(Run({"user", "add", "root", "--admin", "--password", "r"}).Status, 0);
    ASSERT_EQ(Run({"user", "add", "bob", "--description", "first"}).Status, 0);
    ASSERT_EQ(Run({"user", "add", "carol"}).Status, 0);
    ASSERT_EQ(Run({"database", "add", "Sales", "--directory", "/data/sales"}).Status, 0);
    ASSERT_EQ(Run({"dbuser", "add", "Sales", "bob", "--rights", "read"}).Status, 0);
    ASSERT_EQ(Run({"dbuser", "add", "Sales", "carol", "--rights", "read"}).Status, 0);
    const std::string state = Write("state.yaml", "users:\n  - name: bob\n    description: planned\n");

    struct Surface
    {
        const char* Name;
        std::vector<std::string> Args;
        std::string FirstQuestion;
        std::vector<std::string> FirstChange;  // made while the first question is open
        std::string SecondQuestion;            // asked about the fresh read
        std::vector<std::string> SecondChange; // made while the second question is open
        std::string Shown;                     // what the last question says moved
        std::vector<std::string> Show;         // read afterwards as root
        std::string Key;
        nlohmann::json Kept;
    };
    const std::vector<Surface> surfaces{
        {"config set after its warning",
         {"config", "set", "blocked_addresses=hello world"},
         "Save anyway? [y/N]",
         {"config", "set", "connection_timeout=77", "--force"},
         "Save anyway? [y/N]",
         {"config", "set", "max_connections=9", "--force"},
         "changed on the server while asking: max_connections",
         {"config", "show"},
         "max_connections",
         9},
        {"rights overwrite",
         {"rights", "grant", "I", "--users", "bob,carol", "--databases", "Sales"},
         "Overwrite these too? [y/N]",
         {"dbuser", "modify", "Sales", "bob", "--rights", "read,delete"},
         "Overwrite these too? [y/N]",
         {},
         "'bob' on 'Sales': read as RU, now RD",
         {"rights"},
         "rights",
         {{"admin", nlohmann::json::object()},
          {"bob", {{"Sales", {"read", "insert"}}}},
          {"carol", {{"Sales", {"read", "insert"}}}},
          {"root", nlohmann::json::object()}}},
        {"apply",
         {"apply", state},
         "Overwrite these too? [y/N]",
         {"user", "modify", "bob", "--description", "again"},
         "Overwrite these too? [y/N]",
         {},
         "user 'bob': description \"meanwhile\" -> \"again\" since it was read",
         {"user", "show", "bob"},
         "description",
         "planned"},
        {"own account after its question",
         {"user", "modify", "admin", "--no-admin"},
         "You will be logged out. [y/N]",
         {"user", "modify", "admin", "--password", "rotated"},
         "Save anyway? [y/N]",
         {"user", "modify", "admin", "--description", "meanwhile"},
         "'admin' changed on the server while asking: description",
         {"user", "show", "admin", "--show-password"},
         "password",
         "rotated"},
    };
    // The own account goes last: it is no longer an administrator afterwards.
    for (const Surface& surface : surfaces)
    {
        SCOPED_TRACE(surface.Name);
        std::vector<TerminalExchange> exchanges;
        const bool conflict = surface.FirstQuestion.starts_with("Overwrite");
        // The overwrite questions follow a first conflict made while "Send them?" was open.
        if (conflict)
            exchanges.push_back({"Send them? [y/N]", "y\n", 0,
                                 [&]
                                 {
                                     AsRoot(surface.Args[0] == "apply"
                                                ? std::vector<std::string>{"user", "modify", "bob",
                                                                           "--description", "meanwhile"}
                                                : std::vector<std::string>{"dbuser", "modify", "Sales", "bob",
                                                                           "--rights", "read,update"});
                                 }});
        exchanges.push_back({surface.FirstQuestion, "y\n", 0, [&] { AsRoot(surface.FirstChange); }});
        exchanges.push_back({surface.SecondQuestion, "y\n", 0,
                             [&]
                             {
                                 if (!surface.SecondChange.empty())
                                     AsRoot(surface.SecondChange);
                             }});
        if (!surface.SecondChange.empty())
            exchanges.push_back({surface.SecondQuestion, "y\n"});
        std::string terminal;
        const CliRun run = RunCliOnTerminal(Args(surface.Args), exchanges, terminal);
        EXPECT_EQ(run.Status, 0) << run.Err << terminal;
        EXPECT_NE(run.Err.find(surface.Shown), std::string::npos) << run.Err;
        EXPECT_EQ(RootJson(surface.Show)[surface.Key], surface.Kept);
    }
    EXPECT_EQ(RootJson({"config", "show"})["connection_timeout"], 77) << "not set back";
}

} // namespace
} // namespace korvel::test
