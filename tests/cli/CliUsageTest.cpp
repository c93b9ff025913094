// Usage errors, help, credentials and the terminal prompt of korvel-admin-cli.
#include "CliTest.h"
#include "ScriptedPeer.h"

#include <fstream>
#include <sstream>

namespace korvel::test
{
namespace
{

using CliUsageTest = CliTest;

TEST(CliUsage, UsageErrorsExitWithTwoAHintAndNothingSent)
{
    ScriptedPeer peer;
    const std::string port = std::to_string(peer.Port());
    const std::vector<std::vector<std::string>> mistakes = {
        {"frobnicate"},
        {},
        {"--bogus", "version"},
        {"--port", "abc", "version"},
        {"--port", "70000", "version"},
        {"user"},
        {"session", "disconnect", "abc"},
        {"dbuser", "add", "db", "bob", "--rights", "read,fly"},
        {"dbuser", "modify", "db", "bob"},
        {"dbuser", "modify", "db", "bob", "--rights", ""},
        {"config", "set", "max_connections=65536"},
        {"config", "set", "max_connections=-1"},
        {"config", "set", "colour=blue"},
        {"config", "set", "deny_logins=maybe"},
        {"config", "set", "max_connections"},
        {"user", "modify", "bob", "--admin", "--no-admin"},
        {"database", "add", "db"},
    };
    for (std::vector<std::string> args : mistakes)
    {
        args.insert(args.begin(), {"--port", port, "--user", "admin", "--password", "secret"});
        CliRun run = RunCli(args);
        std::string line = ::testing::PrintToString(args);
        EXPECT_EQ(run.Status, 2) << line << run.Err;
        EXPECT_NE(run.Err.find("--help"), std::string::npos) << line << run.Err;
        EXPECT_EQ(run.Out, "") << line;
    }
    // Without a terminal, missing credentials are a usage error too.
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--port", port, "version"}, {"--port", port, "--user", "admin", "version"}})
    {
        CliRun run = RunCli(args);
        EXPECT_EQ(run.Status, 2) << run.Err;
        EXPECT_NE(run.Err.find("password"), std::string::npos) << run.Err;
    }
    EXPECT_EQ(peer.Connections(), 0);
}

TEST(CliUsage, HelpIsOfferedOnEveryLevel)
{
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--help"}, {"user", "--help"}, {"dbuser", "add", "--help"}, {"config", "set", "--help"}})
    {
        CliRun run = RunCli(args);
        EXPECT_EQ(run.Status, 0) << run.Err;
        EXPECT_NE(run.Out.find("Usage"), std::string::npos) << run.Out;
    }
}

TEST_F(CliUsageTest, CredentialsComeFromOptionsTheEnvironmentOrTheTerminal)
{
    CliRun fromEnvironment = RunCli(Args({"version"}, ""), {"KORVEL_PASSWORD=secret"});
    EXPECT_EQ(fromEnvironment.Status, 0) << fromEnvironment.Err;

    // Without a terminal a rejected login ends at once with the server's refusal.
    CliRun rejected = RunCli(Args({"version"}, "wrong"));
    EXPECT_EQ(rejected.Status, 1);
    EXPECT_EQ(rejected.Err, "KORVEL Engine Error # 11287 A connection to the database server at '127.0.0.1' "
                            "cannot be established, the login information provided is invalid\n");

    // On a terminal the user is asked there; the password is not echoed and stdout stays clean.
    std::string terminal;
    CliRun asked = RunCliOnTerminal({"--port", std::to_string(server.AdminPort()), "version"},
                                    {{"User name: ", "admin\n"}, {"Password: ", "secret\n"}}, terminal);
    EXPECT_EQ(asked.Status, 0) << asked.Err;
    EXPECT_EQ(asked.Out, "engine_version: 3.21\n");
    EXPECT_NE(terminal.find("admin"), std::string::npos) << terminal;
    EXPECT_EQ(terminal.find("secret"), std::string::npos) << terminal;

    // A rejected login is asked again on the terminal.
    terminal.clear();
    CliRun again = RunCliOnTerminal(Args({"version"}, "wrong"),
                                    {{"User name: ", "admin\n"}, {"Password: ", "secret\n"}}, terminal);
    EXPECT_EQ(again.Status, 0) << again.Err << terminal;

    // Closing the terminal's input cancels the login.
    terminal.clear();
    CliRun cancelled = RunCliOnTerminal({"--port", std::to_string(server.AdminPort()), "version"},
                                        {{"User name: ", "\x04"}}, terminal);
    EXPECT_EQ(cancelled.Status, 1);
    EXPECT_EQ(cancelled.Err, "Operation aborted\n");
}

TEST_F(CliUsageTest, FailuresAreOneLineAndTracesAreAppended)
{
    CliRun unreachable = RunCli({"--port", "1", "--user", "admin", "--password", "secret", "version"});
    EXPECT_EQ(unreachable.Status, 1);
    EXPECT_EQ(unreachable.Err,
              "KORVEL Engine Error # 11280 A connection to the database server at '127.0.0.1' "
              "cannot be established\n");

    std::string tracePath = server.DataDir() + "/trace.txt";
    EXPECT_EQ(Run({"--trace", tracePath, "version"}).Status, 0);
    EXPECT_EQ(Run({"--trace", tracePath, "--internet", "user", "list"}).Status, 0);
    std::ifstream file(tracePath);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front().rfind("Send request - Code: REQUEST_LOGIN ", 0), 0u) << lines.front();
    int logins = 0;
    for (const std::string& line : lines)
        logins += line.rfind("Send request - Code: REQUEST_LOGIN ", 0) == 0;
    EXPECT_EQ(logins, 2);
    EXPECT_EQ(lines.back().rfind("Send request - Code: REQUEST_LOGOUT ", 0), 0u) << lines.back();
}

TEST_F(CliUsageTest, JsonReplacesBytesThatAreNotUtf8)
{
    ASSERT_EQ(Run({"user", "add", "eve", "--description", "caf\xe9"}).Status, 0);
    CliRun json = Run({"--json", "user", "show", "eve"});
    EXPECT_EQ(json.Status, 0) << json.Err;
    EXPECT_NE(json.Out.find("caf\xef\xbf\xbd"), std::string::npos) << json.Out;
    EXPECT_FALSE(nlohmann::json::parse(json.Out, nullptr, false).is_discarded());
    EXPECT_EQ(Run({"user", "show", "eve"}).Out, "name: eve\ndescription: caf\xe9\nadministrator: false\n");
}

} // namespace
} // namespace korvel::test
