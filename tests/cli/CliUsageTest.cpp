// Usage errors, help, credentials and the terminal prompt of korvel-admin-cli.
#include "CliTest.h"

#include "journal/JsonText.h"
#include "testing/Eventually.h"
#include "testing/ScriptedPeer.h"

#include "engine/wire/ErrorCodes.h"
#include "engine/wire/RequestCodes.h"

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

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
        {"version", "--bogus"},
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

    CliRun option = RunCli({"--port", port, "status", "--bogus"});
    EXPECT_EQ(option.Status, 2);
    EXPECT_EQ(option.Err.rfind("korvel-admin-cli: unknown option --bogus\n", 0), 0u) << option.Err;
    CliRun command = RunCli({"--port", port, "frobnicate"});
    EXPECT_EQ(command.Status, 2);
    EXPECT_EQ(command.Err.rfind("korvel-admin-cli: unknown command frobnicate\n", 0), 0u) << command.Err;
}

TEST(CliUsage, ServerOptionsAreCheckedAsTheWindowChecksThem)
{
    auto cli = [](std::vector<std::string> args)
    {
        args.insert(args.end(), {"--user", "admin", "--password", "secret", "--timeout", "10", "version"});
        return RunCli(args);
    };
    const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
        {{"--port", "0"}, "You must specify a port or service for a remote connection"},
        {{"--port", "65536"}, "The port must be between 0 and 65535"},
        {{"--address", "", "--port", "1"},
         "You must specify a host name or IP address for a remote connection"},
    };
    for (const auto& [args, message] : refused)
    {
        CliRun run = cli(args);
        EXPECT_EQ(run.Status, 2) << message;
        EXPECT_EQ(run.Err, "korvel-admin-cli: " + message + "\nRun with --help for more information.\n");
    }
    // Accepted: the program goes on to reach a server, which is not there.
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--port", "0", "--service", "korvel-no-such-service"}, {"--port", "65535"}})
    {
        CliRun run = cli(args);
        EXPECT_EQ(run.Status, 1) << args[1];
        EXPECT_NE(run.Err.find("cannot be established"), std::string::npos) << run.Err;
    }
}

TEST(CliUsage, HelpIsOfferedOnEveryLevel)
{
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--help"}, {"user", "--help"}, {"dbuser", "add", "--help"}, {"config", "set", "--help"}})
    {
        CliRun run = RunCli(args);
        EXPECT_EQ(run.Status, 0) << run.Err;
        EXPECT_NE(run.Out.find("Usage"), std::string::npos) << run.Out;
        EXPECT_NE(run.Out.find("`user add bob --password PW` sets bob's password"), std::string::npos)
            << run.Out;
    }
}

TEST(CliUsage, ARefusedLoginWithoutATerminalClosesTheConnectionWithoutALogout)
{
    ScriptedPeer peer;
    peer.Then(peer.Automatic()); // CONNECTPARAMS
    peer.Then(ScriptedPeer::AnswerError(KORVEL_REMOTEINVLOGIN));
    CliRun run =
        RunCli({"--port", std::to_string(peer.Port()), "--user", "admin", "--password", "wrong", "version"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Err.find("11287"), std::string::npos) << run.Err;
    EXPECT_FALSE(peer.WaitForRequests(3)); // nothing after the login
    EXPECT_EQ(peer.RequestCodes(), (std::vector<std::uint16_t>{REQUEST_CONNECTPARAMS, REQUEST_LOGIN}));
}

TEST(CliUsage, AnOutputThatCannotBeWrittenIsAFailure)
{
    int full = open("/dev/full", O_WRONLY);
    ASSERT_GE(full, 0);
    ScriptedPeer peer;
    const std::vector<std::string> args{
        "--port", std::to_string(peer.Port()), "--user", "admin", "--password", "secret", "version"};
    CliRun diskFull = RunCliWritingTo(args, full);
    close(full);
    EXPECT_EQ(diskFull.Status, 1);
    EXPECT_EQ(diskFull.Err, "Cannot write the output: No space left on device\n");

    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    close(ends[0]);
    CliRun closedPipe = RunCliWritingTo(args, ends[1]);
    close(ends[1]);
    EXPECT_EQ(closedPipe.Status, 1);
    EXPECT_EQ(closedPipe.Err, "Cannot write the output: Broken pipe\n");
    // The session still logged out. The logout has no reply, so the peer may note it after the program ended.
    EXPECT_TRUE(Eventually(
        [&]
        {
            const std::vector<std::uint16_t> codes = peer.RequestCodes();
            return !codes.empty() && codes.back() == REQUEST_LOGOUT;
        },
        std::chrono::seconds(10)));
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

TEST_F(CliUsageTest, CtrlCOrSigtermAtThePromptRestoresTheEchoAndExitsWith128PlusTheSignal)
{
    for (int signal : {SIGINT, SIGTERM})
    {
        TerminalRun run =
            RunCliOnTerminal({"--port", std::to_string(server.AdminPort()), "--user", "admin", "version"},
                             {{"Password: ", "", signal}});
        ASSERT_EQ(run.EchoOn.size(), 1u);
        EXPECT_FALSE(run.EchoOn[0]) << "the echo was on at the prompt";
        EXPECT_TRUE(run.EchoOnAtEnd) << signal;
        EXPECT_EQ(run.Run.Status, 128 + signal) << run.Run.Err;
        EXPECT_EQ(run.Run.Err, "korvel-admin-cli: interrupted\n");
        EXPECT_EQ(run.Run.Out, "");
    }
}

TEST_F(CliUsageTest, LoadSaysThatAWrongPasswordWasRefused)
{
    std::string command = RefServer::LoadExecutable() + " --port " + std::to_string(server.MainPort()) +
                          " --user admin --password wrong --seconds 1 2>&1";
    FILE* load = popen(command.c_str(), "r");
    ASSERT_NE(load, nullptr);
    std::string output;
    char chunk[256];
    while (std::size_t got = fread(chunk, 1, sizeof chunk, load))
        output.append(chunk, got);
    int status = pclose(load);
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(output.find("KORVEL Engine Error # 11287 "), std::string::npos) << output;
    EXPECT_EQ(output.find("Operation aborted"), std::string::npos) << output;
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

TEST_F(CliUsageTest, JsonKeepsBytesThatAreNotUtf8AndTextShowsThem)
{
    ASSERT_EQ(Run({"user", "add", "eve", "--description", "caf\xe9"}).Status, 0);
    CliRun json = Run({"--json", "user", "show", "eve"});
    EXPECT_EQ(json.Status, 0) << json.Err;
    EXPECT_NE(json.Out.find("caf\\udce9"), std::string::npos) << json.Out;
    EXPECT_EQ(journal::ParseJson(json.Out)["description"], "caf\xe9");
    EXPECT_EQ(Run({"user", "show", "eve"}).Out, "name: eve\ndescription: caf\\xE9\nadministrator: false\n");
}

} // namespace
} // namespace korvel::test
