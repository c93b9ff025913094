// The korvel-exporter program as an administrator starts it: it refuses a module file others can read and a
// --target its default module does not allow, with --target its /metrics carries that server's metrics
// beside its own, and SIGTERM ends it while a probe waits on a server that never answers.
#include "engine/wire/RequestCodes.h"
#include "testing/LoadClients.h"
#include "testing/RefServer.h"
#include "testing/SshServer.h"
#include "testing/exporter/ExporterTestSupport.h"

#include <csignal>
#include <gtest/gtest.h>
#include <thread>

namespace
{

using korvel::test::ChildProcess;
using korvel::test::HttpClient;
using korvel::test::ReadFile;
using korvel::test::RefServer;
using korvel::test::Samples;
using korvel::test::SilentPeer;
using korvel::test::TempDir;

const char* const Modules = "[default]\nuser=admin\npassword=secret\ntargets=127.0.0.1:*\n";

// Runs the program to its end; its exit status, with what it wrote on stderr in `errors`.
int RunToEnd(const TempDir& dir, const std::vector<std::string>& args, std::string& errors)
{
    std::vector<std::string> command{KORVEL_EXPORTER_PATH, "--listen", "127.0.0.1:0"};
    command.insert(command.end(), args.begin(), args.end());
    ChildProcess program(command, dir.Path() + "/stderr.txt");
    const int status = program.ExitStatus();
    errors = ReadFile(dir.Path() + "/stderr.txt");
    return status;
}

TEST(ExporterProgramTest, RefusesToStartWithAReadableModuleFileOrATargetItsModuleForbids)
{
    TempDir dir;
    std::string errors;
    EXPECT_EQ(RunToEnd(dir, {"--config", dir.WriteFile("open.ini", Modules, 0644)}, errors), 1);
    EXPECT_NE(errors.find("readable by group or others"), std::string::npos) << errors;

    const std::string modules = dir.WriteFile("modules.ini", Modules);
    EXPECT_EQ(RunToEnd(dir, {"--config", modules, "--target", "10.9.8.7:12006"}, errors), 1);
    EXPECT_NE(errors.find("does not allow the target 10.9.8.7:12006"), std::string::npos) << errors;

    EXPECT_EQ(RunToEnd(dir, {"--target", "127.0.0.1:12006"}, errors), 1);
    EXPECT_NE(errors.find("--target needs --config"), std::string::npos) << errors;

    EXPECT_EQ(RunToEnd(dir, {"--detail-interval", "-1"}, errors), 2);
}

TEST(ExporterProgramTest, MetricsCarryTheFixedTargetBesideTheExportersOwn)
{
    RefServer server;
    korvel::test::LoadClients load(server, 2);
    TempDir dir;
    ChildProcess program({KORVEL_EXPORTER_PATH, "--listen", "127.0.0.1:0", "--config",
                          dir.WriteFile("modules.ini", Modules), "--target",
                          "127.0.0.1:" + std::to_string(server.AdminPort())});
    const std::string announced = program.FirstLine();
    ASSERT_EQ(announced.rfind("listening on 127.0.0.1:", 0), 0u) << announced;

    HttpClient http;
    const auto reply = http.Get("http://" + announced.substr(announced.rfind(' ') + 1) + "/metrics");
    ASSERT_EQ(reply.Status, 200);
    const auto samples = Samples(reply.Body);
    EXPECT_EQ(samples.at("korvel_up"), 1);
    EXPECT_EQ(samples.at(R"(korvel_sessions{state="connected"})"), 2);
    EXPECT_EQ(samples.count(R"(korvel_exporter_probes_total{outcome="up"})"), 1u);
    EXPECT_GT(samples.at("process_resident_memory_bytes"), 0);
}

TEST(ExporterProgramTest, ABastionWhoseHostKeyIsNotKnownIsRefusedAndItsFingerprintToldOnce)
{
    RefServer server;
    TempDir dir;
    const std::string key = dir / "key";
    korvel::test::GenerateKey(key);
    korvel::test::SshServerOptions options;
    options.AuthorizedKeys = {key + ".pub"};
    korvel::test::SshServer bastion(options);
    const std::string modules = dir.WriteFile(
        "modules.ini", "[default]\nuser=admin\npassword=secret\ntargets=127.0.0.1:*\nssh=127.0.0.1:" +
                           std::to_string(bastion.Port()) + "\nssh_identity=" + key +
                           "\nssh_known_hosts=" + dir.WriteFile("known_hosts", "") + "\n");
    ChildProcess program({KORVEL_EXPORTER_PATH, "--listen", "127.0.0.1:0", "--config", modules},
                         dir / "stderr.txt");
    const std::string announced = program.FirstLine();
    const std::string probe = "http://" + announced.substr(announced.rfind(' ') + 1) +
                              "/probe?target=127.0.0.1:" + std::to_string(server.AdminPort());
    HttpClient http;
    for (int scrape = 0; scrape < 2; ++scrape)
        EXPECT_EQ(Samples(http.Get(probe).Body).at("korvel_up"), 0);

    const std::string told = "127.0.0.1:" + std::to_string(server.AdminPort()) +
                             ": The host key of the SSH server 127.0.0.1:" + std::to_string(bastion.Port()) +
                             " is not known: ssh-ed25519 " + bastion.HostKeyFingerprint();
    const std::string errors = ReadFile(dir / "stderr.txt");
    EXPECT_NE(errors.find(told), std::string::npos) << errors;
    EXPECT_EQ(errors.find(told), errors.rfind(told)) << "told once: " << errors;
}

TEST(ExporterProgramTest, SigtermEndsTheProgramWhileProbesWaitOnSilentServers)
{
    // One probe waits in a scrape on a listener that never answers, another in the walk of a session list
    // on a server that fell silent; each would wait ten minutes.
    SilentPeer silent;
    RefServer server;
    korvel::test::LoadClients load(server, 1);
    SilentPeer relay(server.AdminPort());
    relay.FallSilentAt(korvel::REQUEST_GETSESSIONINFO);
    TempDir dir;
    ChildProcess program({KORVEL_EXPORTER_PATH, "--listen", "127.0.0.1:0", "--config",
                          dir.WriteFile("modules.ini", Modules), "--scrape-timeout", "600"});
    const std::string announced = program.FirstLine();
    const std::string probe =
        "http://" + announced.substr(announced.rfind(' ') + 1) + "/probe?target=127.0.0.1:";
    const std::vector<std::string> timeout{"X-Prometheus-Scrape-Timeout-Seconds: 600"};
    HttpClient http;
    EXPECT_EQ(Samples(http.Get(probe + std::to_string(relay.Port()), timeout).Body).at("korvel_up"), 1);
    std::thread scrape(
        [&]
        {
            HttpClient own;
            own.Get(probe + std::to_string(silent.Port()), timeout, 120);
        });
    EXPECT_TRUE(relay.WaitUntilUnanswered(1, std::chrono::minutes(1))) << "the walk met no silence";
    EXPECT_TRUE(silent.WaitUntilUnanswered(1, std::chrono::minutes(1)))
        << "the probe never reached the server";

    kill(program.Pid(), SIGTERM);
    EXPECT_EQ(program.ExitStatusWithin(std::chrono::minutes(1)), 0) << "SIGTERM waited for a silent server";
    scrape.join();
}

} // namespace
