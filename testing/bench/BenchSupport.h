// What the benchmarks share: the quick smoke mode CI runs (KORVEL_BENCH_SMOKE=1), milliseconds and medians,
// fixtures kept from one benchmark to the next, and the goal lines printed after Google Benchmark's table,
// one per goal.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace korvel::bench
{

using Clock = std::chrono::steady_clock;

inline bool Smoke()
{
    const char* smoke = std::getenv("KORVEL_BENCH_SMOKE");
    return smoke != nullptr && std::string(smoke) == "1";
}

inline double Ms(Clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

// The middle value (the mean of the two middle ones for an even count; 0 for none).
inline double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

template <typename Work> double SecondsOf(Work&& work)
{
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Each fixture lives from its first benchmark until released: servers and windows must be gone before the
// session list and the application object.
template <typename Fixture> struct Shared
{
    static Fixture& Get()
    {
        if (!instance)
            instance = std::make_unique<Fixture>();
        return *instance;
    }
    static void Release() { instance.reset(); }
    static inline std::unique_ptr<Fixture> instance;
};

inline std::vector<std::string>& GoalLines()
{
    static std::vector<std::string> lines;
    return lines;
}

[[gnu::format(printf, 1, 2)]] inline void AddGoalLine(const char* format, ...)
{
    char line[1024];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    GoalLines().emplace_back(line);
}

inline void PrintGoals()
{
    for (const std::string& line : GoalLines())
        std::printf("%s\n", line.c_str());
}

} // namespace korvel::bench
