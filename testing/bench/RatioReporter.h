// Google Benchmark's console table, and every run's real time and counters kept for the lines that compare a
// case with its floor once all runs are done.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace korvel::bench
{

class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const auto& run : runs)
        {
            Result& result = results_[run.benchmark_name()];
            result.RealTime = run.GetAdjustedRealTime();
            for (const auto& [name, counter] : run.counters)
                result.Counters[name] = counter.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // A counter of the first run whose name starts with `prefix`, or 0.
    double Counter(const std::string& prefix, const std::string& counter) const
    {
        const Result* result = Find(prefix);
        if (!result)
            return 0;
        const auto found = result->Counters.find(counter);
        return found == result->Counters.end() ? 0 : found->second;
    }
    // A counter of whichever run set it last, or 0 (for benches whose counters have names of their own).
    double Counter(const std::string& counter) const
    {
        double value = 0;
        for (const auto& [name, result] : results_)
            if (const auto found = result.Counters.find(counter); found != result.Counters.end())
                value = found->second;
        return value;
    }
    // The real time of the first run whose name starts with `prefix`, in the benchmark's unit, or 0.
    double RealTime(const std::string& prefix) const
    {
        const Result* result = Find(prefix);
        return result ? result->RealTime : 0;
    }
    double Rate(const std::string& prefix) const { return Counter(prefix, "items_per_second"); }

private:
    struct Result
    {
        double RealTime = 0;
        std::map<std::string, double> Counters;
    };
    const Result* Find(const std::string& prefix) const
    {
        const auto run = results_.lower_bound(prefix);
        return run == results_.end() || !run->first.starts_with(prefix) ? nullptr : &run->second;
    }

    std::map<std::string, Result> results_;
};

} // namespace korvel::bench
