// The main function of the window's benchmarks: an offscreen application in the window's own style (what a
// person's paints cost is the style's) and the session list around Google Benchmark's run, then the goal
// lines. `release` frees what must go before the session list does.
#pragma once

#include "session/SessionList.h"
#include "styling/FlatStyle.h"
#include "testing/bench/BenchSupport.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <functional>

namespace korvel::bench
{

inline int RunAdminBenchmarks(int argc, char** argv, const std::function<void()>& release = {})
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    styling::ApplyFlatStyle(application);
    CreateSessions();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    PrintGoals();
    benchmark::Shutdown();
    if (release)
        release();
    DestroySessions();
    return 0;
}

} // namespace korvel::bench
