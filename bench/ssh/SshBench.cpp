// The remote session through an SSH bastion (a real sshd that the benchmark starts) against the same work
// through a forward that OpenSSH's own client makes to the same sshd (`ssh -N -L`), in the same run, the two
// taking turns so that both see the same machine:
// - small_ratio: one argument-less LAN request and its reply (goal: within 1.2x).
// - log_ratio: a 10 MiB log read in LAN mode (goal: within 1.2x).
// - cancel_ms: how long a Cancel takes to end a connect to a bastion that never answers (goal: 1 s).
// - jump_ratio: the small request through a two-hop ProxyJump route (hop1, then the bastion) that this
//   program builds itself, against `ssh -J hop1 -N -L` (goal: within 1.3x).
// - cli_status_ratio: the CLI's one-shot `status` through the bastion against the same CLI through an
//   `ssh -W` started per run (goal: within 1.2x).
// With KORVEL_BENCH_SMOKE=1 the log is small so that CTest can prove the benchmark runs.
#include "testing/bench/BenchSupport.h"

#include "bench/ssh/SshWRelay.h"
#include "engine/DataSession.h"
#include "engine/SshTransport.h"
#include "testing/HomeAt.h"
#include "testing/LoopbackSocket.h"
#include "testing/RefServer.h"
#include "testing/SshServer.h"

#include <benchmark/benchmark.h>

#include <csignal>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace korvel::bench
{
namespace
{

std::size_t LogBytes()
{
    return Smoke() ? 100 * 1024 : 10 * 1024 * 1024;
}

test::RefServerOptions WithLog(const test::TempDir& dir)
{
    std::ofstream log(dir / "server.log", std::ios::binary);
    for (std::size_t written = 0, i = 0; written < LogBytes(); ++i)
    {
        const std::string line = "2026-01-01 12:00:" + std::to_string(i % 60) + " INFO session " +
                                 std::to_string(i) + " read " + std::to_string(i * 7 % 100000) + " pages\n";
        log << line;
        written += line.size();
    }
    test::RefServerOptions options;
    options.DataDir = dir.Path();
    options.ExtraArgs = {"--max-log", "1000000000"};
    return options;
}

// `ssh -N -L PORT:127.0.0.1:TARGET` and `route` (the options and the SSH server). ssh cannot be told to
// pick its local port, so one is picked here and ssh tried again with another when it was taken meanwhile
// (ExitOnForwardFailure).
class OpenSshForward
{
public:
    OpenSshForward(const std::vector<std::string>& route, int target)
    {
        for (int attempt = 0; attempt < 5 && pid_ < 0; ++attempt)
        {
            std::uint16_t port = 0;
            close(test::ListenOnLoopback(port));
            port_ = port;
            Start(route, target);
            if (!WaitUntilListening())
                Stop();
        }
        if (pid_ < 0)
            throw std::runtime_error("ssh -N -L did not start");
    }
    ~OpenSshForward() { Stop(); }
    int Port() const { return port_; }

private:
    void Start(const std::vector<std::string>& route, int target)
    {
        std::vector<std::string> args{"ssh", "-N",
                                      "-o",  "ExitOnForwardFailure=yes",
                                      "-L",  std::to_string(port_) + ":127.0.0.1:" + std::to_string(target)};
        args.insert(args.end(), route.begin(), route.end());
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        pid_ = fork();
        if (pid_ == 0)
        {
            execvp(argv[0], argv.data());
            _exit(127);
        }
    }

    // True once the forward accepts a connection; false when ssh ended (its port was taken) or 30 s passed.
    bool WaitUntilListening()
    {
        for (int tries = 0; tries < 3000; ++tries)
        {
            if (waitpid(pid_, nullptr, WNOHANG) == pid_)
            {
                pid_ = -1;
                return false;
            }
            try
            {
                close(test::ConnectToLoopback(port_));
                return true;
            }
            catch (const std::exception&)
            {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
        return false;
    }

    void Stop()
    {
        if (pid_ <= 0)
            return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

    pid_t pid_ = -1;
    int port_ = 0;
};

// Everything both measurements share, started once.
struct Fleet
{
    Fleet()
    {
        test::GenerateKey(key);
        test::SshServerOptions options;
        options.AuthorizedKeys = {key + ".pub"};
        options.Record = false;
        bastion = std::make_unique<test::SshServer>(options);
        hop = std::make_unique<test::SshServer>(options);
        std::ofstream(knownHosts) << bastion->KnownHostsLine() << "\n" << hop->KnownHostsLine() << "\n";
        WriteConfig();
        forward = std::make_unique<OpenSshForward>(
            std::vector<std::string>{"-F", "none", "-o", "BatchMode=yes", "-o", "IdentitiesOnly=yes", "-o",
                                     "UserKnownHostsFile=" + knownHosts, "-i", key, "-p",
                                     std::to_string(bastion->Port()), "127.0.0.1"},
            server.AdminPort());
        LogIn(direct, forward->Port());
        tunnel.SetTransportFactory(SshTransportFactory(Ssh(), {}));
        LogIn(tunnel, server.AdminPort());
        jumpForward = std::make_unique<OpenSshForward>(
            std::vector<std::string>{"-F", config, "-J", "hop1", "bastion"}, server.AdminPort());
        LogIn(jumpDirect, jumpForward->Port());
        SshSettings behind;
        behind.Host = "behind";
        behind.UseAgent = false;
        jumpTunnel.SetTransportFactory(SshTransportFactory(behind, {}));
        LogIn(jumpTunnel, server.AdminPort());
    }

    // The same file for OpenSSH (-F) and for this program (~/.ssh/config): `behind` is the bastion
    // through hop1.
    void WriteConfig() const
    {
        std::filesystem::create_directories(dir / ".ssh");
        const auto block = [](const std::string& name, const test::SshServer& server)
        { return "Host " + name + "\n  HostName 127.0.0.1\n  Port " + std::to_string(server.Port()) + "\n"; };
        std::ofstream(config) << block("hop1", *hop) << block("bastion", *bastion)
                              << block("behind", *bastion) << "  ProxyJump hop1\nHost *\n  IdentityFile "
                              << key << "\n  IdentitiesOnly yes\n  UserKnownHostsFile " << knownHosts
                              << "\n  GlobalKnownHostsFile /dev/null\n  BatchMode yes\n";
    }

    SshSettings Ssh() const
    {
        SshSettings ssh;
        ssh.Host = "127.0.0.1";
        ssh.Port = bastion->Port();
        ssh.IdentityFile = key;
        ssh.KnownHostsFile = knownHosts;
        ssh.UseAgent = false;
        return ssh;
    }

    void LogIn(TDataSession& session, int port)
    {
        session.SetRemote(true);
        session.SetPort(port);
        session.SetUserName(server.Options().AdminUser);
        session.SetPassword(server.Options().AdminPassword);
        session.Connect();
        session.Login();
    }

    test::TempDir dir{"korvel-ssh-bench"};
    test::HomeAt home{dir.Path()}; // this program reads ~/.ssh/config from there
    test::RefServer server{WithLog(dir)};
    const std::string key = dir / "id_ed25519";
    const std::string knownHosts = dir / "known_hosts";
    const std::string config = dir / ".ssh/config";
    std::unique_ptr<test::SshServer> bastion;
    std::unique_ptr<test::SshServer> hop; // before the bastion on the jump route
    std::unique_ptr<OpenSshForward> forward;
    std::unique_ptr<OpenSshForward> jumpForward;
    TDataSession direct;     // through ssh -N -L
    TDataSession tunnel;     // through this program's own SSH channel
    TDataSession jumpDirect; // through ssh -J hop1 -N -L
    TDataSession jumpTunnel; // through this program's own chain of hop1 and the bastion
};

Fleet& Shared()
{
    static Fleet fleet;
    return fleet;
}

double smallRatio = 0;
double logRatio = 0;
double cancelMs = 0;
double jumpRatio = 0;
double cliStatusRatio = 0;

// Runs `work` on the tunnel and on the forward in turns; the tunnel's time over the forward's.
double ThreadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Runs `work` on `tunnel` and on `direct` in turns; the tunnel's time over the direct one's. Each one's
// time and this thread's CPU time go to the counters, in milliseconds per run.
template <typename Work>
double Compare(benchmark::State& state, Work work, TDataSession& tunnel, TDataSession& direct)
{
    double seconds[2] = {};
    double cpuSeconds[2] = {};
    for (auto _ : state)
        for (int path = 0; path < 2; ++path)
        {
            const auto start = Clock::now();
            const double cpuStart = ThreadCpuSeconds();
            work(path == 0 ? tunnel : direct);
            cpuSeconds[path] += ThreadCpuSeconds() - cpuStart;
            seconds[path] += std::chrono::duration<double>(Clock::now() - start).count();
        }
    const double runs = static_cast<double>(state.iterations()) / 1000;
    state.counters["tunnel_ms"] = seconds[0] / runs;
    state.counters["forward_ms"] = seconds[1] / runs;
    state.counters["tunnel_cpu_ms"] = cpuSeconds[0] / runs;
    state.counters["forward_cpu_ms"] = cpuSeconds[1] / runs;
    return seconds[1] > 0 ? seconds[0] / seconds[1] : 0;
}

// The same through the one bastion.
template <typename Work> double Compare(benchmark::State& state, Work work)
{
    return Compare(state, work, Shared().tunnel, Shared().direct);
}

void SmallRequest(benchmark::State& state)
{
    smallRatio = Compare(state, [](TDataSession& session) { benchmark::DoNotOptimize(session.GetUpTime()); });
    state.counters["small_ratio"] = smallRatio;
}

void LogRead(benchmark::State& state)
{
    LogText log;
    logRatio = Compare(state,
                       [&](TDataSession& session)
                       {
                           session.GetLogText(log);
                           if (log.Text().size() < LogBytes())
                               state.SkipWithError("the log did not arrive");
                       });
    state.counters["log_ratio"] = logRatio;
    state.counters["log_bytes"] = static_cast<double>(log.Text().size());
}

void JumpRequest(benchmark::State& state)
{
    Fleet& fleet = Shared();
    jumpRatio = Compare(
        state, [](TDataSession& session) { benchmark::DoNotOptimize(session.GetUpTime()); }, fleet.jumpTunnel,
        fleet.jumpDirect);
    state.counters["jump_ratio"] = jumpRatio;
}

// One `korvel-admin-cli status` run, start to end: through the bastion by the CLI's own SSH, then through
// an `ssh -W` that the connection starts, in turns.
void CliStatus(benchmark::State& state)
{
    Fleet& fleet = Shared();
    const SshWRelay relay("ssh -F " + fleet.config + " bastion", fleet.server.AdminPort());
    const std::string user = fleet.server.Options().AdminUser;
    const std::vector<std::string> environment{"HOME=" + fleet.dir.Path(),
                                               "KORVEL_PASSWORD=" + fleet.server.Options().AdminPassword};
    const std::vector<std::string> runs[2] = {
        {KORVEL_CLI_PATH, "--ssh", "bastion", "--port", std::to_string(fleet.server.AdminPort()), "--user",
         user, "status"},
        {KORVEL_CLI_PATH, "--port", std::to_string(relay.Port()), "--user", user, "status"}};
    double seconds[2] = {};
    for (auto _ : state)
        for (int path = 0; path < 2; ++path)
        {
            const auto start = Clock::now();
            if (!RunQuietly(runs[path], environment))
                state.SkipWithError(path == 0 ? "the CLI failed through its SSH"
                                              : "the CLI failed through ssh -W");
            seconds[path] += std::chrono::duration<double>(Clock::now() - start).count();
        }
    const double runsDone = static_cast<double>(state.iterations()) / 1000;
    state.counters["cli_ssh_ms"] = seconds[0] / runsDone;
    state.counters["ssh_w_ms"] = seconds[1] / runsDone;
    cliStatusRatio = seconds[1] > 0 ? seconds[0] / seconds[1] : 0;
    state.counters["cli_status_ratio"] = cliStatusRatio;
}

// A bastion that accepts and never answers: from the Cancel to the connect's end.
void CancelSilentBastion(benchmark::State& state)
{
    Fleet& fleet = Shared();
    fleet.bastion->SetSilent(true);
    std::vector<double> samples;
    for (auto _ : state)
    {
        auto interrupt = std::make_shared<CallInterrupt>();
        TDataSession session;
        session.SetRemote(true);
        session.SetPort(fleet.server.AdminPort());
        session.SetConnectTimeoutMs(60'000);
        session.SetTransportFactory(SshTransportFactory(fleet.Ssh(), {}));
        CallLimits limits;
        limits.Interrupt = interrupt;
        session.SetCallLimits(limits);
        const int before = fleet.bastion->Connections();
        Clock::time_point cancelled;
        std::thread canceller(
            [&]
            {
                while (fleet.bastion->Connections() == before)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                std::this_thread::sleep_for(std::chrono::milliseconds(50)); // well into the wait
                cancelled = Clock::now();
                interrupt->Cancel();
            });
        try
        {
            session.Connect();
            state.SkipWithError("the connect to a silent bastion succeeded");
        }
        catch (const std::exception&)
        {
        }
        const auto ended = Clock::now();
        canceller.join();
        samples.push_back(Ms(ended - cancelled));
    }
    fleet.bastion->SetSilent(false);
    cancelMs = Median(samples);
    state.counters["cancel_ms"] = cancelMs;
}

} // namespace
} // namespace korvel::bench

BENCHMARK(korvel::bench::SmallRequest)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(korvel::bench::LogRead)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(korvel::bench::JumpRequest)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(korvel::bench::CliStatus)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(korvel::bench::Smoke() ? 1 : 10);
BENCHMARK(korvel::bench::CancelSilentBastion)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(5);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    using namespace korvel::bench;
    AddGoalLine("ssh_small_ratio %.2f (goal <= 1.20): a LAN request through the bastion against ssh -N -L",
                smallRatio);
    AddGoalLine(
        "ssh_log_ratio %.2f (goal <= 1.20): a %zu-byte log read through the bastion against ssh -N -L",
        logRatio, LogBytes());
    AddGoalLine("ssh_cancel_ms %.1f (goal <= 1000): a Cancel ending the connect to a silent bastion",
                cancelMs);
    AddGoalLine("ssh_jump_ratio %.2f (goal <= 1.30, %s): a LAN request through hop1 and the bastion against "
                "ssh -J hop1 -N -L",
                jumpRatio, jumpRatio <= 1.3 ? "met" : "NOT met");
    AddGoalLine("ssh_cli_status_ratio %.2f (goal <= 1.20, %s): the CLI's status through the bastion against "
                "the CLI through ssh -W started per run",
                cliStatusRatio, cliStatusRatio <= 1.2 ? "met" : "NOT met");
    PrintGoals();
    benchmark::Shutdown();
}
