// The length of a second for the window's timers that count in whole seconds: the Status page's auto-refresh
// and the Log page's follow rounds. A real second in the program; tests shorten it
// (testing/admin/ShortSeconds.h) so that they wait milliseconds where the person waits seconds.
#pragma once

#include <chrono>

namespace korvel::admin
{

inline std::chrono::milliseconds TimerSecond{1000};

// `seconds` of these timers in milliseconds, for QTimer::start.
inline int TimerMs(int seconds)
{
    return static_cast<int>(seconds * TimerSecond.count());
}

} // namespace korvel::admin
