// Waiting in a test, without Qt, for something another process or thread brings about.
#pragma once

#include <chrono>
#include <thread>

namespace korvel::test
{

// Polls `condition` for up to `limit`; returns its last value.
template <typename Condition> bool Eventually(Condition&& condition, std::chrono::milliseconds limit)
{
    auto end = std::chrono::steady_clock::now() + limit;
    while (!condition())
    {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds{20});
    }
    return true;
}

} // namespace korvel::test
