// Shortens the second of the window's repeating timers (admin/common/TimerSecond.h) while it lives, so that a
// test sees an auto-refresh or a follow round after milliseconds.
#pragma once

#include "admin/common/TimerSecond.h"

namespace korvel::test
{

class ShortSeconds
{
public:
    explicit ShortSeconds(std::chrono::milliseconds second = std::chrono::milliseconds{50})
        : saved_(admin::TimerSecond)
    {
        admin::TimerSecond = second;
    }
    ~ShortSeconds() { admin::TimerSecond = saved_; }
    ShortSeconds(const ShortSeconds&) = delete;
    ShortSeconds& operator=(const ShortSeconds&) = delete;

private:
    std::chrono::milliseconds saved_;
};

} // namespace korvel::test
