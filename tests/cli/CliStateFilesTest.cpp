// export, plan and apply against a real korvel-refserver: the round trip, --prune with its guards, a plan
// made stale by another session, the mistakes of a state file, and passwords by reference.
#include "CliStateTest.h"

#include "testing/LoadClients.h"

namespace korvel::test
{
namespace
{

constexpr auto npos = std::string::npos;

// Replaces the one occurrence of `from` in `text`.
void Replace(std::string& text, const std::string& from, const std::string& to)
{
    const std::size_t at = text.find(from);
    ASSERT_NE(at, npos) << from << " in:\n" << text;
    text.replace(at, from.size(), to);
}

TEST_F(CliStateTest, ExportEditPlanApplyAndPlanAgain)
{
    ASSERT_EQ(Run({"user", "add", "bob", "--password", "pw-bob", "--description", "Sales desk"}).Status, 0);
    ASSERT_EQ(Run({"database", "add", "Sales", "--directory", "/data/sales"}).Status, 0);
    ASSERT_EQ(Run({"dbuser", "add", "Sales", "bob", "--rights", "read,insert"}).Status, 0);
    ASSERT_EQ(Run({"config", "set", "max_connections=100"}).Status, 0);

    CliRun exported = Run({"export"});
    ASSERT_EQ(exported.Status, 0) << exported.Err;
    EXPECT_NE(exported.Out.find("password_env: KORVEL_PASSWORD_BOB\n"), npos) << exported.Out;
    EXPECT_EQ(exported.Out.find("pw-bob"), npos);
    CliRun unchanged = Run({"plan", Write("exported.yaml", exported.Out), "--detailed-exitcode"});
    EXPECT_EQ(unchanged.Status, 0) << unchanged.Err;
    EXPECT_EQ(unchanged.Out, "No changes.\n");

    std::string edited = exported.Out;
    Replace(edited, "\"Sales desk\"\n    administrator: false", "\"Sales desk\"\n    administrator: true");
    Replace(edited, "databases:\n", "  - name: carol\n    password_env: CAROL_PASSWORD\ndatabases:\n");
    Replace(edited, "    Sales: RI\n", "    Sales: RIU\n  carol:\n    Sales: [read]\n");
    Replace(edited, "max_connections: 100", "max_connections: 50");
    const std::string file = Write("edited.yaml", edited);
    const std::vector<std::string> password{"CAROL_PASSWORD=pw-carol"};
    const std::string changes = "~ user bob: administrator false -> true\n"
                                "+ user carol: administrator false; description \"\"; password set\n"
                                "~ rights bob@Sales: RI -> RIU\n"
                                "+ rights carol@Sales: R\n"
                                "~ config max_connections: 100 -> 50\n";

    const std::string journalBefore = Read(JournalPath());
    CliRun planned = RunWith({"plan", file, "--detailed-exitcode"}, password);
    EXPECT_EQ(planned.Status, 3) << planned.Err;
    EXPECT_EQ(planned.Out, changes);
    EXPECT_EQ(Json({"user", "show", "bob"})["administrator"], false) << "a plan changes nothing";
    EXPECT_EQ(Read(JournalPath()), journalBefore) << "nor journals anything";

    CliRun applied = RunWith({"apply", file, "--force"}, password);
    EXPECT_EQ(applied.Status, 0) << applied.Err;
    EXPECT_EQ(applied.Out, changes);
    CliRun again = RunWith({"plan", file, "--detailed-exitcode"}, password);
    EXPECT_EQ(again.Status, 0) << again.Out;
    CliRun twice = RunWith({"--json", "apply", file, "--force"}, password);
    EXPECT_EQ(nlohmann::json::parse(twice.Out)["done"], 0) << twice.Out;

    EXPECT_EQ(Json({"user", "show", "bob"})["administrator"], true);
    EXPECT_EQ(Json({"user", "show", "carol", "--show-password"})["password"], "pw-carol");
    nlohmann::json rights = Json({"rights"})["rights"];
    EXPECT_EQ(rights["bob"]["Sales"], nlohmann::json({"read", "insert", "update"}));
    EXPECT_EQ(rights["carol"]["Sales"], nlohmann::json({"read"}));
    EXPECT_EQ(Json({"config", "show"})["max_connections"], 50);

    ASSERT_EQ(Run({"--json", "export", "--output", dir + "/state.json"}).Status, 0);
    EXPECT_EQ(nlohmann::json::parse(Read(dir + "/state.json"))["users"][1]["password_env"],
              "KORVEL_PASSWORD_BOB");
    CliRun fromJson = Run({"plan", dir + "/state.json", "--detailed-exitcode"});
    EXPECT_EQ(fromJson.Status, 0) << fromJson.Out << fromJson.Err;
}

TEST_F(CliStateTest, ExportNamesEachPasswordVariableOnce)
{
    for (const char* user : {"bob.smith", "bob_smith", "BOB-SMITH_2", "Zoë"})
        ASSERT_EQ(Run({"user", "add", user, "--password", "p"}).Status, 0) << user;
    nlohmann::json users = Json({"export"})["users"];
    std::map<std::string, std::string> variables;
    for (const auto& user : users)
        variables[user["name"]] = user["password_env"];
    EXPECT_EQ(variables["BOB-SMITH_2"], "KORVEL_PASSWORD_BOB_SMITH_2");
    EXPECT_EQ(variables["bob.smith"], "KORVEL_PASSWORD_BOB_SMITH");
    EXPECT_EQ(variables["bob_smith"], "KORVEL_PASSWORD_BOB_SMITH_3")
        << "_2 is taken by the name that is BOB_SMITH_2";
    EXPECT_EQ(variables["Zoë"], "KORVEL_PASSWORD_ZO_");
}

TEST_F(CliStateTest, PruneKeepsTheLastAdministratorAndAsksBeforeTheOwnAccount)
{
    ASSERT_EQ(Run({"user", "add", "bob", "--password", "b"}).Status, 0);
    ASSERT_EQ(Run({"database", "add", "Sales", "--directory", "/data/sales"}).Status, 0);
    ASSERT_EQ(Run({"dbuser", "add", "Sales", "bob"}).Status, 0);

    const std::string withoutAdministrator = Write("bob.yaml", "users:\n  - name: bob\n");
    const std::string lastAdministrator =
        "'admin' is the last administrator of this server. Deleting this user "
        "would leave nobody able to administer the server, so it is not done.";
    CliRun preview = Run({"plan", withoutAdministrator, "--prune"});
    EXPECT_EQ(preview.Out, "- user admin\n");
    EXPECT_NE(preview.Err.find("apply would refuse this plan: " + lastAdministrator), npos) << preview.Err;
    CliRun refused = Run({"apply", withoutAdministrator, "--prune", "--force"});
    EXPECT_EQ(refused.Status, 1);
    EXPECT_EQ(refused.Err, lastAdministrator + "\n");
    EXPECT_EQ(Json({"user", "list"}), nlohmann::json({"admin", "bob"}));

    const std::string noRights = Write("rights.yaml", "rights:\n  bob: {}\n");
    EXPECT_EQ(Run({"plan", noRights}).Out, "No changes.\n");
    EXPECT_EQ(Run({"plan", noRights, "--prune"}).Out, "- rights bob@Sales: R\n")
        << "a rights section lists them all";

    ASSERT_EQ(Run({"user", "add", "root", "--admin", "--password", "r"}).Status, 0);
    const std::string file = Write("root.yaml", "users:\n  - name: root\n  - name: carol\ndatabases: []\n");
    const std::string carol = "+ user carol: administrator false; description \"\"; no password\n";
    EXPECT_EQ(Run({"plan", file}).Out, carol) << "without --prune nothing is deleted";
    const std::string pruned = carol + "- rights bob@Sales: R\n"
                                       "- database Sales\n"
                                       "- user bob\n"
                                       "- user admin\n";
    CliRun planned = Run({"plan", file, "--prune"});
    EXPECT_EQ(planned.Out, pruned);
    EXPECT_NE(planned.Err.find("a rename cannot be expressed"), npos) << planned.Err;
    EXPECT_NE(planned.Err.find("user 'carol' is new and no password is given for it"), npos);
    EXPECT_NE(planned.Err.find("You are logged in as 'admin'. Delete this account? You will be logged out."),
              npos);
    EXPECT_EQ(Run({"apply", file, "--prune"}).Status, 2) << "no terminal to ask on";

    std::string terminal;
    CliRun applied =
        RunCliOnTerminal(Args({"apply", file, "--prune"}),
                         {{"Send them? [y/N]", "y\n"}, {"You will be logged out. [y/N]", "y\n"}}, terminal);
    EXPECT_EQ(applied.Status, 0) << applied.Err << terminal;
    EXPECT_EQ(applied.Out, pruned);
    EXPECT_NE(applied.Err.find("the changes to send:\n  " + carol), npos) << "shown before the question";
    CliRun asRoot = RunCli({"--port", std::to_string(server.AdminPort()), "--user", "root", "--password", "r",
                            "--json", "user", "list"});
    EXPECT_EQ(nlohmann::json::parse(asRoot.Out), nlohmann::json({"carol", "root"}));
}

TEST_F(CliStateTest, AConfigurationThatWouldRefuseConnectedSessionsIsPreviewedAndAsked)
{
    LoadClients load(server, 1);
    const std::string file = Write("deny.yaml", "config:\n  deny_logins: true\n");
    std::string terminal;
    CliRun declined = RunCliOnTerminal(
        Args({"apply", file}), {{"Send them? [y/N]", "y\n"}, {"Save anyway? [y/N]", "n\n"}}, terminal);
    EXPECT_EQ(declined.Status, 2);
    EXPECT_NE(declined.Err.find("1 connected session from 127.0.0.1 would be refused"), npos) << declined.Err;
    EXPECT_EQ(Json({"config", "show"})["deny_logins"], false);
    CliRun forced = Run({"apply", file, "--force"});
    EXPECT_EQ(forced.Status, 0) << forced.Err;
    EXPECT_NE(forced.Err.find("would be refused"), npos) << "still warned";
    EXPECT_EQ(Json({"config", "show"})["deny_logins"], true);
}

TEST_F(CliStateTest, ChangesMadeMeanwhileAreListedAndSkippedUnlessOverwritten)
{
    ASSERT_EQ(Run({"user", "add", "bob", "--password", "b", "--description", "first"}).Status, 0);
    ASSERT_EQ(Run({"database", "add", "Sales", "--directory", "/data/sales"}).Status, 0);
    ASSERT_EQ(Run({"dbuser", "add", "Sales", "bob", "--rights", "read,insert"}).Status, 0);
    const std::string file = Write("state.yaml", "users:\n  - name: bob\n    description: planned\n"
                                                 "rights:\n  bob:\n    Sales: RIU\n"
                                                 "config:\n  max_connections: 7\n");
    auto anotherSession = [this]
    {
        EXPECT_EQ(Run({"user", "modify", "bob", "--description", "meanwhile"}).Status, 0);
        EXPECT_EQ(Run({"dbuser", "modify", "Sales", "bob", "--rights", "read"}).Status, 0);
    };
    std::string terminal;
    CliRun skipped = RunCliOnTerminal(
        Args({"--json", "apply", file}),
        {{"Send them? [y/N]", "y\n", 0, anotherSession}, {"Overwrite these too? [y/N]", "n\n"}}, terminal);
    EXPECT_EQ(skipped.Status, 1) << skipped.Err;
    EXPECT_NE(skipped.Err.find("2 changes skipped"), npos) << skipped.Err;
    EXPECT_NE(skipped.Err.find("changed on the server since they were read:\n"
                               "user 'bob': description \"first\" -> \"meanwhile\" since it was read\n"
                               "'bob' on 'Sales': read as RI, now R\n"),
              npos)
        << skipped.Err;
    nlohmann::json out = nlohmann::json::parse(skipped.Out, nullptr, false);
    EXPECT_EQ(out["done"], 1);
    EXPECT_EQ(out["skipped"], 2);
    EXPECT_EQ(Json({"user", "show", "bob"})["description"], "meanwhile");
    EXPECT_EQ(Json({"rights"})["rights"]["bob"]["Sales"], nlohmann::json({"read"}));
    EXPECT_EQ(Json({"config", "show"})["max_connections"], 7);

    auto yetAnother = [this] {
        EXPECT_EQ(Run({"user", "modify", "bob", "--description", "again"}).Status, 0);
    };
    CliRun overwritten = RunCliOnTerminal(
        Args({"apply", file}),
        {{"Send them? [y/N]", "y\n", 0, yetAnother}, {"Overwrite these too? [y/N]", "y\n"}}, terminal);
    EXPECT_EQ(overwritten.Status, 0) << overwritten.Err;
    EXPECT_EQ(overwritten.Out,
              "~ user bob: description \"again\" -> \"planned\"\n~ rights bob@Sales: R -> RIU\n");
    EXPECT_EQ(Json({"user", "show", "bob"})["description"], "planned");
    EXPECT_EQ(Json({"rights"})["rights"]["bob"]["Sales"], nlohmann::json({"read", "insert", "update"}));
}

TEST_F(CliStateTest, EveryMistakeIsNamedWithItsLineBeforeAnythingIsSent)
{
    const std::string file = Write("bad.yaml", "users:\n"
                                               "  - name: bob\n"
                                               "    password: secret\n"     // 3
                                               "    administrator: maybe\n" // 4
                                               "  - name: bob\n"            // 5
                                               "  - description: no name\n" // 6
                                               "  - name: eve\n"
                                               "    password_env: A\n"
                                               "    password_file: /nowhere\n" // 9
                                               "databses: []\n"                // 10
                                               "databases:\n"
                                               "  - name: X\n" // 12
                                               "rights:\n"
                                               "  bob:\n"
                                               "    X: RIZ\n"          // 15
                                               "    Y: [read, reed]\n" // 16
                                               "  eve: RI\n"           // 17
                                               "config:\n"
                                               "  max_connections: 70000\n"         // 19
                                               "  authorized_addresses: 10.0.0.1\n" // 20
                                               "  color: blue\n"                    // 21
                                               "  deny_logins: yes\n"
                                               "  deny_logins: no\n"); // 23
    CliRun run = Run({"apply", file, "--force"});
    EXPECT_EQ(run.Status, 2);
    std::size_t lines = 0;
    for (int line : {3, 4, 5, 6, 9, 10, 12, 15, 16, 17, 19, 20, 21, 23})
    {
        EXPECT_NE(run.Err.find(file + ":" + std::to_string(line) + ": "), npos) << line << ":\n" << run.Err;
        ++lines;
    }
    EXPECT_EQ(std::count(run.Err.begin(), run.Err.end(), '\n'), static_cast<long>(lines) + 1) << run.Err;
    EXPECT_EQ(run.Err.find("secret"), npos) << "a password given in the file is not repeated";
    EXPECT_FALSE(std::filesystem::exists(JournalPath())) << "nothing was sent";

    CliRun syntax = Run({"plan", Write("syntax.yaml", "users: [\n  - x\n")});
    EXPECT_EQ(syntax.Status, 2);
    EXPECT_NE(syntax.Err.find("syntax.yaml:2: "), npos) << syntax.Err;

    // Mistakes only the server's state shows: still before anything is sent.
    const std::string unknown = Write("unknown.yaml", "users:\n"
                                                      "  - name: erin\n"
                                                      "    password_env: ERIN_PASSWORD\n"
                                                      "rights:\n"
                                                      "  ghost:\n"
                                                      "    Sales: R\n");
    CliRun planned = Run({"apply", unknown, "--force"});
    EXPECT_EQ(planned.Status, 2);
    EXPECT_NE(planned.Err.find(unknown + ":2: user 'erin' is new and needs a password, but the variable "
                                         "ERIN_PASSWORD is not set"),
              npos)
        << planned.Err;
    EXPECT_NE(planned.Err.find(unknown +
                               ":6: rights of 'ghost' on 'Sales': there is no user 'ghost' on the server "
                               "or in the file"),
              npos);
    EXPECT_NE(planned.Err.find(unknown + ":6: rights of 'ghost' on 'Sales': there is no database 'Sales'"),
              npos);
    EXPECT_EQ(Json({"user", "list"}), nlohmann::json({"admin"}));
    EXPECT_FALSE(std::filesystem::exists(JournalPath()));
}

TEST_F(CliStateTest, PasswordsByVariableAndByFileAreNeverPrinted)
{
    const std::string file = Write("users.yaml", "users:\n"
                                                 "  - name: carol\n"
                                                 "    password_env: CAROL_PASSWORD\n"
                                                 "  - name: dave\n"
                                                 "    password_file: dave.password\n");
    Write("dave.password", "d-secret-1\n");
    CliRun applied = RunWith({"apply", file, "--force"}, {"CAROL_PASSWORD=c-secret-1"});
    EXPECT_EQ(applied.Status, 0) << applied.Err;
    EXPECT_EQ(applied.Out, "+ user carol: administrator false; description \"\"; password set\n"
                           "+ user dave: administrator false; description \"\"; password set\n");
    EXPECT_EQ(Json({"user", "show", "carol", "--show-password"})["password"], "c-secret-1");
    EXPECT_EQ(Json({"user", "show", "dave", "--show-password"})["password"], "d-secret-1")
        << "beside the file";

    Write("dave.password", "d-secret-2\n");
    CliRun changed = RunWith({"plan", file, "--detailed-exitcode"}, {"CAROL_PASSWORD=c-secret-2"});
    EXPECT_EQ(changed.Status, 3);
    EXPECT_EQ(changed.Out, "~ user carol: password changed\n~ user dave: password changed\n");
    CliRun unmanaged = Run({"--json", "plan", file});
    EXPECT_EQ(nlohmann::json::parse(unmanaged.Out)["summary"], "1 change") << "carol's variable is not set";
    CliRun sent = RunWith({"apply", file, "--force"}, {"CAROL_PASSWORD=c-secret-2"});
    EXPECT_EQ(sent.Status, 0) << sent.Err;
    EXPECT_EQ(Json({"user", "show", "dave", "--show-password"})["password"], "d-secret-2");

    for (const CliRun& run : {applied, changed, unmanaged, sent})
        for (const char* secret : {"c-secret-1", "c-secret-2", "d-secret-1", "d-secret-2"})
            EXPECT_EQ((run.Out + run.Err).find(secret), npos) << secret << " in " << run.Out << run.Err;
    const std::string journal = Read(JournalPath());
    EXPECT_NE(journal.find("password changed"), npos) << journal;
    for (const char* secret : {"c-secret-1", "c-secret-2", "d-secret-1", "d-secret-2"})
        EXPECT_EQ(journal.find(secret), npos) << secret;
}

} // namespace
} // namespace korvel::test
