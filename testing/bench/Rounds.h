// A case against its floor, timed in alternation. Loopback latency on a shared machine drifts by as much as
// 2x within a minute, so a floor and a case timed in separate benchmarks do not compare. Each round times
// both, one right after the other, and the figures are the medians over the rounds.
#pragma once

#include "testing/bench/BenchSupport.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace korvel::bench
{

inline double MedianMs(std::vector<double> seconds)
{
    return Median(std::move(seconds)) * 1000;
}

// Nine rounds give a median that a few slow rounds cannot move.
inline int RoundCount()
{
    return Smoke() ? 2 : 9;
}

struct Rounds
{
    std::vector<double> floorSeconds;
    std::vector<double> caseSeconds;

    // Runs both, each returning its seconds. The floor goes first in every other round, so that latency
    // drifting during a round weighs on both alike.
    template <typename Floor, typename Case> void Time(Floor&& floor, Case&& measured)
    {
        const bool floorFirst = caseSeconds.size() % 2 == 0;
        const double first = floorFirst ? floor() : measured();
        const double second = floorFirst ? measured() : floor();
        floorSeconds.push_back(floorFirst ? first : second);
        caseSeconds.push_back(floorFirst ? second : first);
    }
    double FloorMs() const { return MedianMs(floorSeconds); }
    double CaseMs() const { return MedianMs(caseSeconds); }
    double Ratio() const { return CaseMs() / FloorMs(); }
    // The lowest and highest ratio of a single round, to show how steady the figure is.
    std::pair<double, double> RatioSpread() const
    {
        std::vector<double> ratios;
        for (std::size_t round = 0; round < caseSeconds.size(); ++round)
            ratios.push_back(caseSeconds[round] / floorSeconds[round]);
        const auto [lowest, highest] = std::minmax_element(ratios.begin(), ratios.end());
        return {*lowest, *highest};
    }
    // "(F ms; 9 rounds, 1.10x to 1.30x; goal: within 1.5x)"
    std::string Details(double goal) const
    {
        const auto [lowest, highest] = RatioSpread();
        char text[128];
        std::snprintf(text, sizeof text, "(%.1f ms; %zu rounds, %.2fx to %.2fx; goal: within %gx)", FloorMs(),
                      caseSeconds.size(), lowest, highest, goal);
        return text;
    }
    void SetCounters(benchmark::State& state) const
    {
        state.counters["floor_ms"] = FloorMs();
        state.counters["case_ms"] = CaseMs();
        state.counters["x_floor"] = Ratio();
    }
};

} // namespace korvel::bench
