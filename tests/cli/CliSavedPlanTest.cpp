// Plans as a reviewer and a CI job need them, against a real korvel-refserver: a new object shows every value
// it gets, exit codes tell what happened, a saved plan is sent as reviewed or refused when the server moved,
// every change of one apply shares a run, and hostile names survive export, plan and a saved plan.
#include "CliStateTest.h"

#include "journal/JsonText.h"

#include <cstdio>
#include <sys/stat.h>

namespace korvel::test
{
namespace
{

constexpr auto npos = std::string::npos;

std::string Sha256Of(const std::string& path)
{
    std::string text(64, '\0');
    FILE* pipe = popen(("sha256sum '" + path + "'").c_str(), "r");
    const std::size_t got = pipe ? std::fread(text.data(), 1, text.size(), pipe) : 0;
    if (pipe)
        pclose(pipe);
    return text.substr(0, got);
}

TEST_F(CliStateTest, ANewObjectShowsEveryValueAndAPasswordOnlyAsAWord)
{
    ASSERT_EQ(Run({"user", "add", "bob", "--password", "b"}).Status, 0);
    ASSERT_EQ(Run({"user", "add", "eve", "--password", "e"}).Status, 0);
    Write("empty.password", "\n");
    const std::string file = Write("state.yaml", "users:\n"
                                                 "  - name: bob\n"
                                                 "    password_env: BOB_PW\n"
                                                 "  - name: eve\n"
                                                 "    password_file: empty.password\n"
                                                 "  - name: mallory\n"
                                                 "    administrator: true\n"
                                                 "    description: ops\n"
                                                 "databases:\n"
                                                 "  - name: Vault\n"
                                                 "    directory: /srv/vault\n");
    const CliRun text = RunWith({"plan", file}, {"BOB_PW=b-secret"});
    EXPECT_EQ(text.Out, "~ user bob: password changed\n"
                        "~ user eve: password emptied\n"
                        "+ user mallory: administrator true; description \"ops\"; no password\n"
                        "+ database Vault: directory \"/srv/vault\"; description \"\"\n");
    const CliRun json = RunWith({"--json", "plan", file}, {"BOB_PW=b-secret"});
    const nlohmann::json changes = nlohmann::json::parse(json.Out)["changes"];
    using J = nlohmann::json;
    EXPECT_EQ(changes[0]["before"], "set");
    EXPECT_EQ(changes[0]["after"], "changed");
    EXPECT_EQ(changes[1]["after"], "emptied");
    EXPECT_EQ(changes[2]["after"],
              (J{{"administrator", true}, {"description", "ops"}, {"password", "none"}}));
    EXPECT_EQ(changes[3]["after"], (J{{"directory", "/srv/vault"}, {"description", ""}}));
    EXPECT_EQ((text.Out + text.Err + json.Out + json.Err).find("b-secret"), npos);
}

TEST_F(CliStateTest, ASavedPlanIsSentAsReviewedOrRefusedWhenTheServerMoved)
{
    ASSERT_EQ(Run({"user", "add", "bob", "--password", "b", "--description", "first"}).Status, 0);
    const std::string state = Write("state.yaml", "users:\n"
                                                  "  - name: bob\n"
                                                  "    description: reviewed\n"
                                                  "  - name: carol\n"
                                                  "    administrator: true\n"
                                                  "    password_env: CAROL_PW\n");
    const std::string saved = dir + "/reviewed.plan";
    const CliRun planned = RunWith({"plan", state, "-out", saved}, {"CAROL_PW=carol-secret"});
    ASSERT_EQ(planned.Status, 0) << planned.Err;
    struct stat status
    {
    };
    ASSERT_EQ(stat(saved.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    const std::string text = Read(saved);
    EXPECT_EQ(text.find("carol-secret"), npos) << text;
    const nlohmann::json plan = nlohmann::json::parse(text);
    EXPECT_EQ(plan["state_file"]["sha256"], Sha256Of(state));
    EXPECT_EQ(plan["users"][1]["after"]["password"], (nlohmann::json{{"env", "CAROL_PW"}}));
    EXPECT_EQ(Run({"plan", saved}).Status, 2) << "a saved plan is for apply";

    // The file changes after the review: the saved plan still sends what was reviewed.
    Write("state.yaml", "users: []\n");
    const CliRun applied = RunWith({"--json", "apply", saved, "--force"}, {"CAROL_PW=carol-secret"});
    ASSERT_EQ(applied.Status, 0) << applied.Err;
    const nlohmann::json out = nlohmann::json::parse(applied.Out);
    EXPECT_EQ(out["done"], 2);
    EXPECT_EQ(Json({"user", "show", "bob"})["description"], "reviewed");
    EXPECT_EQ(Json({"user", "show", "carol", "--show-password"})["password"], "carol-secret");
    EXPECT_EQ(Json({"user", "show", "carol"})["administrator"], true);

    const nlohmann::json run = Json({"history", "--run", out["run"]});
    ASSERT_EQ(run.size(), 2u) << run;
    for (const auto& entry : run)
    {
        EXPECT_EQ(entry["run"]["file"], state);
        EXPECT_EQ(entry["run"]["sha256"], plan["state_file"]["sha256"]);
    }
    EXPECT_EQ(Json({"history"}).size(), 3u) << "the user add before stays outside the run";

    // Another client changes bob after the review: nothing is sent, and bob is named.
    Write("state.yaml", "users:\n  - name: bob\n    description: second\n");
    ASSERT_EQ(Run({"plan", state, "--out", saved}).Status, 0);
    ASSERT_EQ(Run({"user", "modify", "bob", "--description", "meanwhile"}).Status, 0);
    const CliRun refused = Run({"apply", saved, "--force"});
    EXPECT_EQ(refused.Status, 1);
    EXPECT_NE(refused.Err.find("user 'bob': description \"reviewed\" -> \"meanwhile\""), npos) << refused.Err;
    EXPECT_NE(refused.Err.find("1 object changed since it was made"), npos) << refused.Err;
    EXPECT_EQ(Json({"user", "show", "bob"})["description"], "meanwhile");
}

struct ExitCase
{
    const char* What;
    std::vector<std::string> Args; // FILE in them is the case's file
    std::string File;              // its text; empty: the file named in Args is used as it is
    int Status;
    std::vector<std::string> Environment = {};
};

TEST_F(CliStateTest, ExitCodesSayWhatCiNeedsToKnow)
{
    ASSERT_EQ(Run({"user", "add", "bob", "--password", "b"}).Status, 0);
    const std::string needsVariable = dir + "/erin.plan";
    ASSERT_EQ(RunWith({"plan", Write("erin.yaml", "users:\n  - name: erin\n    password_env: ERIN_PW\n"),
                       "--out", needsVariable},
                      {"ERIN_PW=e"})
                  .Status,
              0);
    const std::vector<ExitCase> cases = {
        {"nothing to change", {"plan", "FILE", "--detailed-exitcode"}, "users:\n  - name: bob\n", 0},
        {"changes", {"plan", "FILE", "--detailed-exitcode"}, "users:\n  - name: carol\n", 3},
        {"apply would refuse",
         {"plan", "FILE", "--prune", "--detailed-exitcode"},
         "users:\n  - name: bob\n",
         1},
        {"refused plans are not saved", {"plan", "FILE", "--prune", "--out", dir + "/x"}, "users: []\n", 1},
        {"a mistake in the file", {"plan", "FILE", "--detailed-exitcode"}, "users: 5\n", 2},
        {"no such file", {"plan", dir + "/missing.yaml"}, "", 2},
        {"apply refuses", {"apply", "FILE", "--prune", "--force"}, "users:\n  - name: bob\n", 1},
        {"apply, checked afterwards", {"apply", "FILE", "--force"}, "users:\n  - name: dave\n", 0},
        {"apply, nothing left", {"apply", "FILE", "--force"}, "users:\n  - name: dave\n", 0},
        {"a saved plan's variable unset", {"apply", needsVariable, "--force"}, "", 2},
        {"a saved plan with --prune", {"apply", needsVariable, "--prune", "--force"}, "", 2, {"ERIN_PW=e"}},
        {"a saved plan cut short",
         {"apply", "FILE", "--force"},
         "{\"korvel_saved_plan\": 1, \"users\": [",
         2},
        {"a saved plan of another form", {"apply", "FILE", "--force"}, "{\"korvel_saved_plan\": 7}", 2},
    };
    for (const ExitCase& row : cases)
    {
        std::vector<std::string> args = row.Args;
        for (std::string& arg : args)
            if (arg == "FILE")
                arg = Write("case.yaml", row.File);
        const CliRun run = RunWith(args, row.Environment);
        EXPECT_EQ(run.Status, row.Status) << row.What << "\n" << run.Out << run.Err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir + "/x"));
    EXPECT_EQ(Json({"user", "list"}), nlohmann::json({"admin", "bob", "dave"}));
}

TEST_F(CliStateTest, HostileNamesSurviveExportPlanAndASavedPlan)
{
    std::size_t users = 0, databases = 0;
    for (const std::string& name : HostileNames())
        if (!name.empty() && name.find('\0') == npos)
        {
            users += Run({"user", "add", "--password", "p", "--", name}).Status == 0;
            databases += Run({"database", "add", "--directory", "/d", "--", name}).Status == 0;
        }
    ASSERT_GT(users, 20u);
    ASSERT_GT(databases, 20u);

    const std::string exported = dir + "/exported.yaml";
    ASSERT_EQ(Run({"export", "--output", exported}).Status, 0);
    const CliRun same = Run({"plan", exported, "--detailed-exitcode"});
    EXPECT_EQ(same.Status, 0) << same.Out << same.Err;
    ASSERT_EQ(Run({"--json", "export", "--output", dir + "/exported.json"}).Status, 0);
    const CliRun sameJson = Run({"plan", dir + "/exported.json", "--detailed-exitcode"});
    EXPECT_EQ(sameJson.Status, 0) << sameJson.Out << sameJson.Err;

    // The 255-byte name's placeholder is a variable of its own, longer than any server value.
    std::string variable;
    const nlohmann::ordered_json document = journal::ParseJson(Run({"--json", "export"}).Out);
    for (const auto& user : document["users"])
        if (user["name"] == std::string(255, 'n'))
            variable = user["password_env"];
    ASSERT_EQ(variable, "KORVEL_PASSWORD_" + std::string(255, 'N'));
    const CliRun password = RunWith({"plan", exported, "--detailed-exitcode"}, {variable + "=new"});
    EXPECT_EQ(password.Status, 3) << password.Err;
    EXPECT_EQ(password.Out, "~ user " + std::string(255, 'n') + ": password changed\n");

    // Every hostile object deleted through a saved plan: its JSON keeps their exact bytes.
    const std::string saved = dir + "/prune.plan";
    ASSERT_EQ(Run({"plan", Write("admin.yaml", "users:\n  - name: admin\ndatabases: []\n"), "--prune",
                   "--out", saved})
                  .Status,
              0);
    const CliRun applied = Run({"--json", "apply", saved, "--force"});
    EXPECT_EQ(applied.Status, 0) << applied.Err;
    EXPECT_EQ(journal::ParseJson(applied.Out)["done"], users + databases);
    EXPECT_EQ(Json({"user", "list"}), nlohmann::json({"admin"}));
    EXPECT_EQ(Json({"database", "list"}), nlohmann::json::array());
}

} // namespace
} // namespace korvel::test
