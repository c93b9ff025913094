// A state file planned against a server's state on plain values: the lines in the order they are sent, what
// Prune may not delete, a rename seen as a deletion and an addition, a password left unmanaged, and the
// placeholder variables of an export.
#include "operations/StatePlan.h"
#include "operations/StateFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace korvel::operations
{
namespace
{

// A server with administrator `admin`, user bob (R on Sales) and database Sales.
ServerState Server()
{
    ServerState state;
    state.Users["admin"] = {"admin", "secret", "", true};
    state.Users["bob"] = {"bob", "pw", "", false};
    state.Databases["Sales"] = {"Sales", "", "/data/sales"};
    state.Rights.Users = {"admin", "bob"};
    state.Rights.Databases = {"Sales"};
    state.Rights.SetColumn({"Sales", {{"bob", TUserRights{urRead}}}});
    state.Config.MaxConnections = 100;
    return state;
}

Planning Plan(const std::string& text, bool prune = false)
{
    StateFileReading reading = ReadStateFile(text, ".");
    EXPECT_TRUE(reading.Mistakes.empty()) << reading.Mistakes.front().Message;
    static StateFile file; // the plan points into the file's entries
    file = std::move(reading.State);
    return MakePlan(Server(), file, {.Prune = prune, .LoginUser = "admin"});
}

std::vector<std::string> Lines(const StatePlan& plan)
{
    std::vector<std::string> lines;
    for (const PlanLine& line : plan.Lines())
        lines.push_back(line.Text());
    return lines;
}

TEST(StatePlan, ChangesComeInAnOrderWhereEachFindsWhatItNeeds)
{
    const Planning planning = Plan("users:\n"
                                   "  - name: carol\n"
                                   "    password_file: /dev/null\n"
                                   "databases:\n"
                                   "  - name: Stock\n"
                                   "    directory: /data/stock\n"
                                   "rights:\n"
                                   "  carol:\n"
                                   "    Stock: RI\n"
                                   "  bob:\n"
                                   "    Sales: RIU\n"
                                   "config:\n"
                                   "  max_connections: 50\n");

    EXPECT_EQ(Lines(planning.Plan),
              (std::vector<std::string>{"+ user carol: administrator false; description \"\"; no password",
                                        "+ database Stock: directory \"/data/stock\"; description \"\"",
                                        "~ rights bob@Sales: R -> RIU", "+ rights carol@Stock: RI",
                                        "~ config max_connections: 100 -> 50"}));
    EXPECT_TRUE(Plan("users:\n  - name: bob\nrights:\n  bob:\n    Sales: R\n").Plan.Empty())
        << "what the server already holds plans nothing";
}

TEST(StatePlan, PruneDeletesWhatTheFileLeavesOutButNeverTheLastAdministrator)
{
    const Planning pruned = Plan("users:\n  - name: admin\ndatabases: []\n", true);
    EXPECT_EQ(Lines(pruned.Plan),
              (std::vector<std::string>{"- rights bob@Sales: R", "- database Sales", "- user bob"}))
        << "rights go before their database and user";

    const Planning lastAdministrator = Plan("users:\n  - name: admin\n    administrator: false\n");
    EXPECT_TRUE(lastAdministrator.Plan.Refusal.has_value());

    const Planning renamed =
        Plan("users:\n  - name: admin\n  - name: robert\n    password_file: /dev/null\n", true);
    EXPECT_FALSE(renamed.Plan.Warnings.empty()) << "a deletion beside an addition may be a rename";
}

TEST(StatePlan, AnUnsetPasswordVariableLeavesAnExistingUsersPasswordAloneAndStopsANewUser)
{
    // An empty one empties an existing password only when allowed: a variable left empty would open it.
    StateFileReading emptying = ReadStateFile("users:\n  - name: bob\n    password_file: /dev/null\n", ".");
    const Planning refused = MakePlan(Server(), emptying.State, {.LoginUser = "admin"});
    ASSERT_TRUE(refused.Plan.Refusal.has_value());
    EXPECT_NE(refused.Plan.Refusal->find("--allow-empty-passwords"), std::string::npos)
        << *refused.Plan.Refusal;
    const Planning allowed =
        MakePlan(Server(), emptying.State, {.LoginUser = "admin", .AllowEmptyPasswords = true});
    EXPECT_FALSE(allowed.Plan.Refusal.has_value());
    EXPECT_EQ(Lines(allowed.Plan), std::vector<std::string>{"~ user bob: password emptied"});

    unsetenv("KORVEL_TEST_UNSET");
    EXPECT_TRUE(Plan("users:\n  - name: bob\n    password_env: KORVEL_TEST_UNSET\n").Plan.Empty());

    StateFileReading reading =
        ReadStateFile("users:\n  - name: dave\n    password_env: KORVEL_TEST_UNSET\n", ".");
    const Planning planning = MakePlan(Server(), reading.State, {.LoginUser = "admin"});
    ASSERT_EQ(planning.Mistakes.size(), 1u);
    EXPECT_EQ(planning.Mistakes[0].Line, 2) << "the new user's entry";
    EXPECT_NE(planning.Mistakes[0].Message.find("KORVEL_TEST_UNSET"), std::string::npos);
}

TEST(StateFile, ExportedPasswordVariablesAreDistinctForNamesThatLookAlike)
{
    const auto variables = PasswordVariables({"bob", "Bob", "a-b", "a_b", "élan"});
    EXPECT_EQ(variables.at("bob"), "KORVEL_PASSWORD_BOB");
    EXPECT_EQ(variables.at("Bob"), "KORVEL_PASSWORD_BOB_2");
    EXPECT_EQ(variables.at("a-b"), "KORVEL_PASSWORD_A_B");
    EXPECT_EQ(variables.at("a_b"), "KORVEL_PASSWORD_A_B_2");
    EXPECT_EQ(variables.at("élan").rfind("KORVEL_PASSWORD_", 0), 0u);
}

} // namespace
} // namespace korvel::operations
