// Launch to first painted window, whole process, offscreen: korvel-admin (settings, trace file, session, the
// six pages, styling) against a bare 6-tab window of the same size started the same way in the same run.
// Goal: within 2x of the bare window.
#include "testing/bench/RatioReporter.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace
{

// Runs `program` until it exits; false when it could not be started or failed.
bool RunToFirstPaint(const char* program)
{
    std::vector<std::string> variables{"QT_QPA_PLATFORM=offscreen", "KORVEL_ADMIN_EXIT_AFTER_PAINT=1"};
    for (char** variable = environ; *variable; ++variable)
        variables.emplace_back(*variable);
    std::vector<char*> envp;
    for (std::string& variable : variables)
        envp.push_back(variable.data());
    envp.push_back(nullptr);
    std::string path = program;
    char* argv[] = {path.data(), nullptr};
    // Qt's start-up notes on stderr would only clutter the table.
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int spawned = posix_spawn(&pid, program, &quiet, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&quiet);
    if (spawned != 0)
        return false;
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void Launch(benchmark::State& state, const char* program)
{
    for (auto _ : state)
        if (!RunToFirstPaint(program))
        {
            state.SkipWithError((std::string(program) + " did not run to its first paint").c_str());
            return;
        }
}

void BM_BareTabWindow(benchmark::State& state)
{
    Launch(state, KORVEL_BARE_WINDOW_PATH);
}
void BM_AdminWindow(benchmark::State& state)
{
    Launch(state, KORVEL_ADMIN_PATH);
}
BENCHMARK(BM_BareTabWindow)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AdminWindow)->Unit(benchmark::kMillisecond)->UseRealTime();

// The launch against its floor, once both have run.
void PrintRatio(const korvel::bench::RatioReporter& reporter)
{
    const double floor = reporter.RealTime("BM_BareTabWindow");
    const double admin = reporter.RealTime("BM_AdminWindow");
    if (floor > 0 && admin > 0)
        std::printf("Launch to first painted window: %.1f ms = %.2fx a bare 6-tab window (%.1f ms) "
                    "(goal: within 2x)\n",
                    admin, admin / floor, floor);
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    korvel::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    PrintRatio(reporter);
    benchmark::Shutdown();
    return 0;
}
