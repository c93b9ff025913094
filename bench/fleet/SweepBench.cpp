// A sweep of 200 profiles, 180 spread over 3 reference servers and 20 silent (every tenth) with a 2 s
// deadline, 16 checks at once, each figure against a floor measured in the same run:
// - when the last live row is in, against the same logins and reads made raw (a bare session each, no
//   sweep, no keyring, no report) on 16 threads in the same order (goal: within 1.2x);
// - the whole sweep (goal: within the deadline + 0.5 s; with more silent servers than checks at once, some
//   wait for a place, so it takes at least two deadlines);
// - a repeated sweep, which checks the servers silent last time last (for information);
// - the growth of this process's resident memory over the sweeps (goal: under 20 MB).
// Smoke mode (CTest) sweeps 20 profiles with a short deadline.
#include "engine/DataSession.h"
#include "fleet/Sweep.h"
#include "testing/LoopbackSocket.h"
#include "testing/RefServer.h"
#include "testing/bench/BenchSupport.h"
#include "testing/bench/RatioReporter.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <condition_variable>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{

using korvel::TDataSession;
using korvel::bench::Clock;
using korvel::bench::Median;
using korvel::bench::Ms;
using korvel::bench::RatioReporter;
using korvel::bench::Smoke;
using korvel::fleet::ServerReport;
using korvel::fleet::ServerState;
using korvel::settings::Profile;
using korvel::test::RefServer;

constexpr int AtOnce = 16;

std::chrono::milliseconds Deadline()
{
    return Smoke() ? std::chrono::milliseconds(200) : std::chrono::milliseconds(2000);
}

// This process's resident memory in kB (VmRSS).
long ResidentKb()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmRSS:"))
            return std::stol(line.substr(6));
    return 0;
}

struct Fleet
{
    Fleet()
    {
        for (int count = 0; count < 3; ++count)
            servers.push_back(std::make_unique<RefServer>());
        silent = korvel::test::ListenOnLoopback(silentPort, 256);
        const int total = Smoke() ? 20 : 200;
        for (int at = 0; at < total; ++at)
        {
            Profile profile;
            const bool quiet = at % 10 == 9;
            profile.Name = (quiet ? "silent-" : "live-") + std::to_string(at);
            profile.Server.Address = "127.0.0.1";
            profile.Server.Port =
                static_cast<std::uint16_t>(quiet ? silentPort : servers[at % 3]->AdminPort());
            profile.User = servers[0]->Options().AdminUser;
            profile.KeepPassword = true;
            profiles.push_back(profile);
        }
    }
    ~Fleet() { ::close(silent); }

    bool Live(const Profile& profile) const { return profile.Server.Port != silentPort; }

    std::vector<std::unique_ptr<RefServer>> servers;
    std::uint16_t silentPort = 0;
    int silent = -1;
    std::vector<Profile> profiles;
};

Fleet* fleet = nullptr;

// The same login and reads as a check, on a bare session.
void RawCheck(const Profile& profile)
{
    TDataSession session;
    session.SetRemote(true);
    session.SetAddress(profile.Server.Address);
    session.SetPort(profile.Server.Port);
    session.SetUserName(profile.User);
    session.SetPassword(fleet->servers[0]->Options().AdminPassword);
    session.SetCallLimits({.Deadline = Clock::now() + Deadline()});
    try
    {
        session.Connect();
        session.Login();
        benchmark::DoNotOptimize(session.ServerVersionText());
        benchmark::DoNotOptimize(session.GetSessionCount());
        benchmark::DoNotOptimize(session.GetConnectedSessionCount());
        session.SetCallLimits({.Deadline = Clock::now() + std::chrono::milliseconds(500)});
        session.Logout();
    }
    catch (const std::exception&)
    {
    }
}

struct Timings
{
    double LastLiveMs = 0;
    double WholeMs = 0;
};

// Runs `check` over every profile on `AtOnce` threads, in order; notes when the last live one ended.
template <typename Check> Timings RunRaw(Check&& check)
{
    std::atomic<std::size_t> next = 0;
    std::mutex mutex;
    Timings timings;
    const Clock::time_point start = Clock::now();
    std::vector<std::thread> threads;
    for (int count = 0; count < AtOnce; ++count)
        threads.emplace_back(
            [&]
            {
                for (std::size_t at; (at = next++) < fleet->profiles.size();)
                {
                    check(fleet->profiles[at]);
                    const std::lock_guard lock(mutex);
                    if (fleet->Live(fleet->profiles[at]))
                        timings.LastLiveMs = std::max(timings.LastLiveMs, Ms(Clock::now() - start));
                }
            });
    for (std::thread& thread : threads)
        thread.join();
    timings.WholeMs = Ms(Clock::now() - start);
    return timings;
}

void Report(benchmark::State& state, const std::vector<Timings>& runs)
{
    std::vector<double> live;
    std::vector<double> whole;
    for (const Timings& run : runs)
    {
        live.push_back(run.LastLiveMs);
        whole.push_back(run.WholeMs);
    }
    state.counters["last_live_ms"] = Median(live);
    state.counters["whole_ms"] = Median(whole);
}

void BM_RawChecks(benchmark::State& state)
{
    std::vector<Timings> runs;
    for (auto _ : state)
        runs.push_back(RunRaw(RawCheck));
    Report(state, runs);
}

korvel::fleet::CheckSettings SweepSettings()
{
    korvel::fleet::CheckSettings settings;
    settings.Deadline = Deadline();
    const std::string password = fleet->servers[0]->Options().AdminPassword;
    settings.Password = [password](const Profile&) { return password; };
    return settings;
}

// One sweep of every profile; counts the rows in a state other than their own.
Timings SweepOnce(korvel::fleet::Sweep& sweep, std::size_t& wrong)
{
    std::mutex mutex;
    std::condition_variable done;
    std::size_t reported = 0;
    Timings timings;
    const Clock::time_point start = Clock::now();
    sweep.Start(fleet->profiles,
                [&](const ServerReport& report)
                {
                    const std::lock_guard lock(mutex);
                    const bool live = report.Profile.starts_with("live-");
                    if (live)
                        timings.LastLiveMs = std::max(timings.LastLiveMs, Ms(Clock::now() - start));
                    wrong += (report.State == ServerState::Up) != live;
                    if (++reported == fleet->profiles.size())
                    {
                        timings.WholeMs = Ms(Clock::now() - start);
                        done.notify_one();
                    }
                });
    std::unique_lock lock(mutex);
    done.wait(lock, [&] { return reported == fleet->profiles.size(); });
    return timings;
}

// A first sweep each time: nothing known of the profiles yet, checked in the order given.
void BM_Sweep(benchmark::State& state)
{
    std::vector<Timings> runs;
    long grown = 0;
    std::size_t wrong = 0;
    const long before = ResidentKb();
    for (auto _ : state)
    {
        korvel::fleet::Sweep sweep(SweepSettings(), AtOnce);
        runs.push_back(SweepOnce(sweep, wrong));
        grown = std::max(grown, ResidentKb() - before);
    }
    Report(state, runs);
    state.counters["memory_growth_kb"] = static_cast<double>(grown);
    state.counters["wrong_states"] = static_cast<double>(wrong);
}

// The window's repeated sweeps: the servers silent last time are checked last.
void BM_RepeatedSweep(benchmark::State& state)
{
    korvel::fleet::Sweep sweep(SweepSettings(), AtOnce);
    std::size_t wrong = 0;
    SweepOnce(sweep, wrong);
    std::vector<Timings> runs;
    for (auto _ : state)
        runs.push_back(SweepOnce(sweep, wrong));
    Report(state, runs);
    state.counters["wrong_states"] = static_cast<double>(wrong);
}

BENCHMARK(BM_RawChecks)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_Sweep)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_RepeatedSweep)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void PrintRatios(const RatioReporter& reporter)
{
    const double raw = reporter.Counter("BM_RawChecks", "last_live_ms");
    const double live = reporter.Counter("BM_Sweep", "last_live_ms");
    const double whole = reporter.Counter("BM_Sweep", "whole_ms");
    const double limit = Ms(Deadline()) + 500;
    const double growthMb = reporter.Counter("BM_Sweep", "memory_growth_kb") / 1024;
    const auto reached = [](bool yes) { return yes ? "reached" : "NOT reached"; };
    std::printf("%zu profiles (%zu silent, %.0f ms deadline), %d at once; %.0f rows in a wrong state\n",
                fleet->profiles.size(), fleet->profiles.size() / 10, Ms(Deadline()), AtOnce,
                reporter.Counter("BM_Sweep", "wrong_states") +
                    reporter.Counter("BM_RepeatedSweep", "wrong_states"));
    std::printf("All live rows in: %.0f ms; the same logins and reads raw: %.0f ms; %.2fx (goal: within "
                "1.2x): %s\n",
                live, raw, raw > 0 ? live / raw : 0, raw > 0 ? reached(live <= 1.2 * raw) : "not measured");
    std::printf("Whole sweep: %.0f ms, raw %.0f ms (goal: within %.0f ms): %s\n", whole,
                reporter.Counter("BM_RawChecks", "whole_ms"), limit, reached(whole <= limit));
    std::printf("A repeated sweep, the servers silent last time checked last: all live rows in %.0f ms, the "
                "whole sweep %.0f ms (for information)\n",
                reporter.Counter("BM_RepeatedSweep", "last_live_ms"),
                reporter.Counter("BM_RepeatedSweep", "whole_ms"));
    std::printf("Memory growth over the sweeps: %.1f MB (goal: under 20 MB): %s\n", growthMb,
                reached(growthMb < 20));
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    Fleet shared;
    fleet = &shared;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    PrintRatios(reporter);
    benchmark::Shutdown();
    return 0;
}
