// The korvel.admin collection as an administrator uses it: installed with ansible-galaxy, its documentation
// rendered by ansible-doc, its example playbook run by ansible-playbook from the control node against two
// reference servers, and each module run on its own, in check mode and for real.
#include "testing/LoopbackSocket.h"
#include "testing/RefServer.h"
#include "testing/TempDir.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace korvel::test
{
namespace
{

struct Ran
{
    int Status = -1;
    std::string Output; // standard output and error together
};

struct Recap
{
    int Changed = -1;
    int Failed = -1;
};

bool OnPath(const std::string& program)
{
    return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

// Whether Ansible said `text`, which it may have wrapped over several lines.
bool Said(const Ran& ran, const std::string& text)
{
    return std::regex_replace(ran.Output, std::regex(R"(\s+)"), " ").find(text) != std::string::npos;
}

// "CHANGED", "SUCCESS" or "FAILED" of a module run by `ansible localhost -m`.
std::string OutcomeOf(const Ran& ran)
{
    std::smatch found;
    return std::regex_search(ran.Output, found, std::regex(R"(localhost \| ([A-Z]+))")) ? found[1].str() : "";
}

class AnsibleCollectionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(OnPath("ansible-playbook") && OnPath("ansible-galaxy"))
            << "ansible-core is not installed (scripts/setup installs it)";
        scratch = std::make_unique<test::TempDir>("korvel-ansible-test");
        dir = scratch->Path();
        std::ofstream(dir + "/ansible.cfg") << "[defaults]\n"; // none of the account's settings
        Ran installed =
            Run("ansible-galaxy collection install " KORVEL_COLLECTION_SOURCE " -p " + dir + "/collections");
        ASSERT_EQ(installed.Status, 0) << installed.Output;
    }

    // Runs a shell command line in the test's directory, with Ansible's files and the journal kept there.
    Ran Run(const std::string& command)
    {
        const std::string environment = "cd " + dir + " && ANSIBLE_HOME=" + dir +
                                        "/home ANSIBLE_LOCAL_TEMP=" + dir +
                                        "/tmp ANSIBLE_COLLECTIONS_PATH=" + dir +
                                        "/collections ANSIBLE_CONFIG=ansible.cfg ANSIBLE_NOCOLOR=1 "
                                        "ANSIBLE_RETRY_FILES_ENABLED=0 XDG_STATE_HOME=" +
                                        dir + "/state ";
        FILE* pipe = popen((environment + command + " 2>&1").c_str(), "r");
        Ran ran;
        std::array<char, 4096> chunk;
        for (std::size_t got; (got = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0;)
            ran.Output.append(chunk.data(), got);
        const int status = pclose(pipe);
        ran.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return ran;
    }

    // The example playbook against both servers, with the administrator's password and further options.
    Ran Playbook(const std::string& password, const std::string& options = "")
    {
        std::ofstream(dir + "/inventory.ini")
            << "[korvel_servers]\n"
            << "db1 korvel_host=127.0.0.1 korvel_port=" << first.AdminPort() << "\n"
            << "db2 korvel_host=127.0.0.1 korvel_port=" << second.AdminPort() << "\n"
            << "[korvel_servers:vars]\nkorvel_login_user=admin\nkorvel_cli=" KORVEL_ADMIN_CLI_PATH "\n";
        return Run("ansible-playbook -i inventory.ini " KORVEL_COLLECTION_SOURCE "/examples/apply-state.yml "
                   "-e korvel_login_password=" +
                   password + " -e carol_password=carol-secret " + options);
    }

    static Recap RecapOf(const Ran& ran, const std::string& host)
    {
        std::smatch found;
        const std::regex line(host + R"( +: ok=\d+ +changed=(\d+) +unreachable=\d+ +failed=(\d+))");
        if (!std::regex_search(ran.Output, found, line))
            return {};
        return {std::stoi(found[1]), std::stoi(found[2])};
    }

    // One module run on its own against `port`; `args` are the module's own, as JSON members.
    Ran Module(const std::string& module, const std::string& args, int port, const std::string& options)
    {
        return Run(
            "ansible localhost -m korvel.admin." + module + " " + options + " -a '{" + args +
            R"(, "login_port": )" + std::to_string(port) +
            R"(, "login_user": "admin", "login_password": "secret", "cli_path": ")" KORVEL_ADMIN_CLI_PATH
            "\"}'");
    }

    Ran Cli(const RefServer& server, const std::string& args)
    {
        return Run(KORVEL_ADMIN_CLI_PATH " --port " + std::to_string(server.AdminPort()) +
                   " --user admin --password secret " + args);
    }

    RefServer first;
    RefServer second;
    std::unique_ptr<test::TempDir> scratch;
    std::string dir;
};

TEST_F(AnsibleCollectionTest, EveryModulesDocumentationRenders)
{
    for (const char* module :
         {"korvel_user", "korvel_database", "korvel_rights", "korvel_config", "korvel_info"})
    {
        Ran doc = Run(std::string("ansible-doc korvel.admin.") + module);
        EXPECT_EQ(doc.Status, 0) << module << ":\n" << doc.Output;
        EXPECT_NE(doc.Output.find("login_password"), std::string::npos) << module;
        EXPECT_NE(doc.Output.find("EXAMPLES"), std::string::npos) << module;
    }
}

TEST_F(AnsibleCollectionTest, ThePlaybookChangesTwoServersOnceAndThenNothing)
{
    // Under --check, the rights of the users and databases the play only plans count as to be added.
    Ran planned = Playbook("secret", "--check --diff");
    ASSERT_EQ(planned.Status, 0) << planned.Output;
    for (const char* host : {"db1", "db2"})
        EXPECT_EQ(RecapOf(planned, host).Changed, 4) << host << planned.Output;
    EXPECT_TRUE(Said(planned, R"("rights dave@Stock": "RIUD")")) << planned.Output;
    EXPECT_EQ(Cli(first, "--json user list").Output, "[\"admin\"]\n") << "check mode changes nothing";

    Ran applied = Playbook("secret");
    ASSERT_EQ(applied.Status, 0) << applied.Output;
    for (const char* host : {"db1", "db2"})
    {
        EXPECT_GT(RecapOf(applied, host).Changed, 0) << host << applied.Output;
        EXPECT_EQ(RecapOf(applied, host).Failed, 0) << host;
    }
    EXPECT_NE(applied.Output.find("user 'dave' is new and no password is given for it"), std::string::npos)
        << "warned";
    Ran shown = Cli(second, "--json user show carol --show-password");
    EXPECT_NE(shown.Output.find("\"password\":\"carol-secret\""), std::string::npos) << shown.Output;
    EXPECT_NE(
        Cli(second, "--json rights").Output.find("\"Stock\":[\"read\",\"insert\",\"update\",\"delete\"]"),
        std::string::npos);

    Ran again = Playbook("secret");
    ASSERT_EQ(again.Status, 0) << again.Output;
    for (const char* host : {"db1", "db2"})
        EXPECT_EQ(RecapOf(again, host).Changed, 0) << host << again.Output;

    // Another administrator changes db2; check mode only says so, and diff mode shows how.
    ASSERT_EQ(Cli(second, "user modify carol --description Changed").Status, 0);
    Ran checked = Playbook("secret", "--check --diff");
    ASSERT_EQ(checked.Status, 0) << checked.Output;
    EXPECT_EQ(RecapOf(checked, "db1").Changed, 0) << checked.Output;
    EXPECT_EQ(RecapOf(checked, "db2").Changed, 1) << checked.Output;
    EXPECT_TRUE(std::regex_search(
        checked.Output,
        std::regex(R"(-\s+"description": "\\"Changed\\""\n\+\s+"description": "\\"Sales desk\\"")")))
        << checked.Output;
    EXPECT_NE(Cli(second, "user show carol").Output.find("description: Changed"), std::string::npos)
        << "check mode changes nothing";

    Ran refused = Playbook("wrong");
    EXPECT_NE(refused.Status, 0);
    for (const char* host : {"db1", "db2"})
        EXPECT_EQ(RecapOf(refused, host).Failed, 1) << host << refused.Output;
    EXPECT_NE(refused.Output.find("the login information provided is invalid"), std::string::npos)
        << refused.Output;

    for (const Ran* run : {&planned, &applied, &again, &checked, &refused})
        EXPECT_EQ(run->Output.find("carol-secret"), std::string::npos) << run->Output;
    std::ifstream journal(dir + "/state/korvel-admin/journal.jsonl");
    std::stringstream lines;
    lines << journal.rdbuf();
    EXPECT_NE(lines.str().find("\"program\":\"korvel-admin-cli (korvel.admin.korvel_user)\""),
              std::string::npos)
        << "the journal is on the control node and names the module";
    EXPECT_EQ(lines.str().find("carol-secret"), std::string::npos);
}

// Each row is run in check mode, then for real: check mode must foretell the real run's outcome and message;
// a change made, a second real run must change nothing.
TEST_F(AnsibleCollectionTest, CheckModeForetellsEachModulesRealRun)
{
    std::uint16_t silentPort = 0;
    const int silent = ListenOnLoopback(silentPort); // accepts connections into its queue, never answers
    for (const char* command :
         {"user add -- -mallory", "user add carol", "database add --directory /d -- -Sales",
          "rights set R --users carol --databases=-Sales --force"})
        ASSERT_EQ(Cli(first, command).Status, 0) << command;
    struct Case
    {
        const char* What;
        const char* Module;
        std::string Args;
        const char* Outcome; // of check mode and the first real run
        const char* Says;    // in both
        int Port;
    };
    const Case cases[] = {
        {"a user deleted, its name starting with -", "korvel_user",
         R"("name": "-mallory", "state": "absent")", "CHANGED", R"("- user -mallory")", first.AdminPort()},
        {"rights taken off", "korvel_rights", R"("user": "carol", "database": "-Sales", "state": "absent")",
         "CHANGED", "rights carol@-Sales", first.AdminPort()},
        {"a database deleted", "korvel_database", R"("name": "-Sales", "state": "absent")", "CHANGED",
         R"("- database -Sales")", first.AdminPort()},
        {"a password kept on an existing user", "korvel_user",
         R"("name": "carol", "password": "other", "update_password": "on_create")", "SUCCESS",
         R"("user": { "administrator": false, "description": "", "name": "carol" })", first.AdminPort()},
        {"the last administrator deleted", "korvel_user", R"("name": "admin", "state": "absent")", "FAILED",
         "'admin' is the last administrator of this server", first.AdminPort()},
        {"the last administrator demoted", "korvel_user", R"("name": "admin", "administrator": false)",
         "FAILED", "'admin' is the last administrator of this server", first.AdminPort()},
        {"an entry that is no address pattern", "korvel_config",
         R"("authorized_addresses": ["127.0.0", "*"])", "CHANGED",
         R"("127.0.0" is not a recognised address pattern)", first.AdminPort()},
        {"a silent server", "korvel_info", R"("connect_timeout": 1, "mode": "lan")", "FAILED",
         "within 1 seconds (--timeout)", silentPort},
    };
    for (const Case& row : cases)
    {
        for (const char* options : {"--check --diff", "--diff"})
        {
            Ran ran = Module(row.Module, row.Args, row.Port, options);
            EXPECT_EQ(OutcomeOf(ran), row.Outcome) << row.What << " " << options << ":\n" << ran.Output;
            EXPECT_TRUE(Said(ran, row.Says)) << row.What << " " << options << ":\n" << ran.Output;
        }
        if (std::string(row.Outcome) == "CHANGED")
        {
            EXPECT_EQ(OutcomeOf(Module(row.Module, row.Args, row.Port, "")), "SUCCESS") << row.What;
        }
    }
    close(silent);
    EXPECT_EQ(Cli(first, "--json user list").Output, "[\"admin\",\"carol\"]\n");
    EXPECT_EQ(Cli(first, "--json database list").Output, "[]\n");
    EXPECT_NE(Cli(first, "user show carol --show-password").Output.find("password: \n"), std::string::npos)
        << "on_create leaves an existing user's password";
}

} // namespace
} // namespace korvel::test
