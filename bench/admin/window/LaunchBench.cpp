// Launch to first painted window, offscreen: from the start of the process until it says its first frame is
// painted, korvel-admin (settings, trace file, session, the seven pages, styling) against a bare 6-tab window
// of the same size started the same way, the two timed in alternation in the same run (goal: within 1.2x of
// the bare window). What the window does after its first frame is not launch time.
#include "testing/bench/BenchSupport.h"
#include "testing/bench/FirstPaintProcess.h"
#include "testing/bench/Rounds.h"

#include <benchmark/benchmark.h>

#include <optional>

namespace korvel::bench
{
namespace
{

void BM_Launch_AgainstBareWindow(benchmark::State& state)
{
    Rounds rounds;
    for (auto _ : state)
    {
        bool failed = false;
        auto launch = [&failed](const char* program)
        {
            const std::optional<FirstPaint> run = RunToFirstPaint(program);
            failed = failed || !run;
            return run ? run->Seconds : 0;
        };
        rounds.Time([&] { return launch(KORVEL_BARE_WINDOW_PATH); },
                    [&] { return launch(KORVEL_ADMIN_PATH); });
        if (failed)
            return state.SkipWithError("a window did not run to its first paint");
    }
    rounds.SetCounters(state);
    constexpr double Goal = 1.2;
    AddGoalLine("Launch to first painted window: %.1f ms = %.2fx a bare 6-tab window %s, %s", rounds.CaseMs(),
                rounds.Ratio(), rounds.Details(Goal).c_str(),
                rounds.Ratio() <= Goal ? "reached" : "NOT reached");
}
BENCHMARK(BM_Launch_AgainstBareWindow)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(RoundCount());

} // namespace
} // namespace korvel::bench

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    korvel::bench::PrintGoals();
    benchmark::Shutdown();
    return 0;
}
