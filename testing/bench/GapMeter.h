// How long the window could not answer: a 1 ms timer notes each turn of the event loop, and the figures are
// the longest time between two turns and the most CPU the user-interface thread spent between two turns.
#pragma once

#include "testing/bench/BenchSupport.h"

#include <QObject>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <time.h>
#include <utility>

namespace korvel::bench
{

// CPU time of the calling thread.
inline double ThreadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// The event loop's waits during a command, in seconds: the longest time between two turns, and the most CPU
// the user-interface thread spent between two turns. On a busy machine the first can be far longer than the
// second, the thread waiting for a core rather than working.
struct Gaps
{
    double Longest = 0;
    double BusiestWork = 0;

    void Add(const Gaps& other)
    {
        Longest = std::max(Longest, other.Longest);
        BusiestWork = std::max(BusiestWork, other.BusiestWork);
    }
    double LongestMs() const { return Longest * 1000; }
    // "12.3 ms (the user-interface thread working at most 4.5 ms in any one)"
    std::string Text() const
    {
        char text[96];
        std::snprintf(text, sizeof text,
                      "%.1f ms (the user-interface thread working at most %.1f ms in any one)",
                      Longest * 1000, BusiestWork * 1000);
        return text;
    }
};

// Notes each turn of the event loop from its construction on, by a timer firing every millisecond.
class GapMeter
{
public:
    GapMeter()
    {
        ticker_.setInterval(1);
        QObject::connect(&ticker_, &QTimer::timeout, [this] { Turn(); });
        ticker_.start();
    }
    // Also called by hand around work that runs outside the event loop, and at the end of what is measured.
    void Turn()
    {
        const auto now = Clock::now();
        const double work = ThreadCpuSeconds();
        gaps_.Longest = std::max(gaps_.Longest, std::chrono::duration<double>(now - lastTurn_).count());
        gaps_.BusiestWork = std::max(gaps_.BusiestWork, work - lastWork_);
        lastTurn_ = now;
        lastWork_ = work;
    }
    // Runs `next` on every turn the timer notes, after the turn was noted: a check that ends a local event
    // loop, say.
    template <typename Next> void OnTurn(Next&& next)
    {
        QObject::connect(&ticker_, &QTimer::timeout, std::forward<Next>(next));
    }
    const Gaps& Result() const { return gaps_; }

private:
    QTimer ticker_;
    Clock::time_point lastTurn_ = Clock::now();
    double lastWork_ = ThreadCpuSeconds();
    Gaps gaps_;
};

} // namespace korvel::bench
