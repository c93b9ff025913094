// korvel-refserver under load. Each figure is printed as a ratio against a floor measured in the same run:
// requests per second from 1, 8 and 64 clients against a raw loopback ping-pong with as many clients (goals:
// at least 0.9, 0.7 and 0.7 of it), and the listing of 10,000 sessions held by korvel-load against as many
// raw round trips (goal: within 1.3x), with the server's resident memory (goal: under 100 MB).
#include "bench/server/LoopbackEcho.h"
#include "engine/DataSession.h"
#include "testing/RefServer.h"
#include "testing/bench/BenchSupport.h"

#include "testing/bench/RatioReporter.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

using korvel::TDataSession;
using korvel::bench::EchoClient;
using korvel::bench::LoopbackEcho;
using korvel::bench::RatioReporter;
using korvel::bench::Smoke;
using korvel::test::RefServer;

int HeldSessions()
{
    return Smoke() ? 100 : 10000;
}

// The size of a GETUPTIME reply: a header and one 4-byte value.
constexpr std::size_t SmallReply = 18;

RefServer* server = nullptr;
LoopbackEcho* echo = nullptr;

std::unique_ptr<TDataSession> AdminSession()
{
    auto session = std::make_unique<TDataSession>();
    session->SetRemote(true);
    session->SetPort(server->AdminPort());
    session->SetUserName("admin");
    session->SetPassword("secret");
    session->Connect();
    session->Login();
    return session;
}

// korvel-load holding HeldSessions() main-port sessions, started on first use and stopped at the end.
class HeldLoad
{
public:
    HeldLoad()
    {
        std::string port = std::to_string(server->MainPort());
        std::string clients = std::to_string(HeldSessions());
        std::string executable = RefServer::LoadExecutable();
        int out[2];
        if (pipe(out) != 0)
            throw std::runtime_error("pipe failed");
        pid_ = fork();
        if (pid_ == 0)
        {
            dup2(out[1], STDOUT_FILENO);
            execl(executable.c_str(), executable.c_str(), "--port", port.c_str(), "--clients",
                  clients.c_str(), "--user", "admin", "--password", "secret", "--seconds", "0",
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        ::close(out[1]);
        std::string output;
        char chunk[256];
        pollfd ready{out[0], POLLIN, 0};
        while (output.find('\n') == std::string::npos && poll(&ready, 1, 120000) > 0)
        {
            ssize_t got = ::read(out[0], chunk, sizeof chunk);
            if (got <= 0)
                break;
            output.append(chunk, static_cast<std::size_t>(got));
        }
        ::close(out[0]);
        if (output != "opened " + clients + " sessions\n")
            throw std::runtime_error("korvel-load did not open its sessions: " + output);
    }
    ~HeldLoad()
    {
        ::kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    HeldLoad(const HeldLoad&) = delete;
    HeldLoad& operator=(const HeldLoad&) = delete;

private:
    pid_t pid_ = -1;
};

std::unique_ptr<HeldLoad> load;
double serverMegabytes = 0;

void EnsureLoad()
{
    if (!load)
    {
        load = std::make_unique<HeldLoad>();
        serverMegabytes = AdminSession()->GetMemoryUsage();
    }
}

void BM_RawPingPong(benchmark::State& state)
{
    EchoClient client(echo->Port(), SmallReply);
    for (auto _ : state)
        client.RoundTrip();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RawPingPong)->Threads(1)->Threads(8)->Threads(64)->UseRealTime();

void BM_GetUpTime(benchmark::State& state)
{
    auto admin = AdminSession();
    for (auto _ : state)
        benchmark::DoNotOptimize(admin->GetUpTime());
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GetUpTime)->Threads(1)->Threads(8)->Threads(64)->UseRealTime();

// Each pass times the floor (as many raw round trips as the listing makes) right before the listing, so both
// see the same load on a shared machine.
void BM_ListHeldSessions(benchmark::State& state)
{
    using Clock = std::chrono::steady_clock;
    EnsureLoad();
    auto admin = AdminSession();
    EchoClient client(echo->Port(), 64); // about the size of one session's information
    korvel::SessionInfo info;
    Clock::duration floor{}, listing{};
    for (auto _ : state)
    {
        auto start = Clock::now();
        for (int i = 0; i <= HeldSessions(); ++i)
            client.RoundTrip();
        auto middle = Clock::now();
        std::int32_t count = admin->GetSessionCount();
        for (std::int32_t position = 1; position <= count; ++position)
            admin->GetSessionInfo(position, info);
        floor += middle - start;
        listing += Clock::now() - middle;
        if (count != HeldSessions())
            state.SkipWithError("korvel-load lost sessions");
    }
    auto passes = static_cast<double>(state.iterations());
    state.counters["floor_ms"] = std::chrono::duration<double, std::milli>(floor).count() / passes;
    state.counters["listing_ms"] = std::chrono::duration<double, std::milli>(listing).count() / passes;
    state.counters["server_MB"] = serverMegabytes;
}
// A fixed number of passes: one pass takes about a second at full size, and a few smooth out the noise.
BENCHMARK(BM_ListHeldSessions)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// The comparisons, once every run is done.
void PrintRatios(const RatioReporter& reporter)
{
    struct Goal
    {
        int Threads;
        double Share; // of the raw floor, at least
    };
    for (Goal goal : {Goal{1, 0.9}, Goal{8, 0.7}, Goal{64, 0.7}})
    {
        std::string suffix = "/real_time/threads:" + std::to_string(goal.Threads);
        double floor = reporter.Rate("BM_RawPingPong" + suffix);
        double served = reporter.Rate("BM_GetUpTime" + suffix);
        if (floor > 0)
            std::printf("GETUPTIME from %2d clients: %.0f requests/s = %.2f of the raw ping-pong floor "
                        "(%.0f/s; goal: at least %.1f, %s)\n",
                        goal.Threads, served, served / floor, floor, goal.Share,
                        served / floor >= goal.Share ? "reached" : "NOT reached");
    }
    double floor = reporter.Counter("BM_ListHeldSessions/", "floor_ms");
    double listing = reporter.Counter("BM_ListHeldSessions/", "listing_ms");
    if (floor > 0)
        std::printf(
            "Listing %d sessions: %.1f ms = %.2fx %d raw round trips (%.1f ms; goal: within 1.3x, %s)\n",
            HeldSessions(), listing, listing / floor, HeldSessions() + 1, floor,
            listing / floor <= 1.3 ? "reached" : "NOT reached");
    std::printf("Server resident memory with %d sessions: %.1f MB (goal: under 100 MB)\n", HeldSessions(),
                serverMegabytes);
}

} // namespace

int main(int argc, char** argv)
{
    std::signal(SIGPIPE, SIG_IGN);
    benchmark::Initialize(&argc, argv);
    RefServer refServer;
    LoopbackEcho loopback;
    server = &refServer;
    echo = &loopback;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    PrintRatios(reporter);
    load.reset();
    benchmark::Shutdown();
    return 0;
}
