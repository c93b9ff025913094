#include "engine/CallLimits.h"

#include "engine/Transport.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace korvel
{

CallInterrupt::CallInterrupt() : wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    if (wakeFd_ < 0)
        throw TransportError(std::string("eventfd: ") + std::strerror(errno));
}

CallInterrupt::~CallInterrupt()
{
    close(wakeFd_);
}

void CallInterrupt::Cancel() noexcept
{
    cancelled_.store(true, std::memory_order_release);
    const std::uint64_t one = 1;
    // write() is safe in a signal handler; a full counter (never reached) would still leave the fd readable.
    [[maybe_unused]] const ssize_t written = write(wakeFd_, &one, sizeof one);
}

void WaitLimits::Check() const
{
    if (Interrupt && Interrupt->Cancelled())
        throw TransportInterrupted(Interruption::Cancelled);
    if (Deadline && std::chrono::steady_clock::now() >= *Deadline)
        throw TransportInterrupted(Interruption::Expired);
}

int WaitLimits::Cap(int timeoutMs) const
{
    if (!Deadline)
        return timeoutMs;
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(*Deadline - std::chrono::steady_clock::now());
    const int leftMs = static_cast<int>(std::clamp<std::int64_t>(left.count(), 0, 1 << 30));
    return timeoutMs < 0 ? leftMs : std::min(timeoutMs, leftMs);
}

bool PollWithin(int fd, short events, int timeoutMs, const WaitLimits* limits)
{
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + std::chrono::milliseconds(std::max(timeoutMs, 0));
    for (;;)
    {
        if (limits)
            limits->Check();
        int waitMs = timeoutMs;
        if (timeoutMs >= 0)
            waitMs = static_cast<int>(std::max<std::int64_t>(
                std::chrono::ceil<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count(),
                0));
        if (limits)
            waitMs = limits->Cap(waitMs);
        pollfd entries[2] = {{fd, events, 0},
                             {limits && limits->Interrupt ? limits->Interrupt->WakeFd() : -1, POLLIN, 0}};
        const int result = poll(entries, 2, waitMs);
        if (result < 0)
        {
            if (errno == EINTR)
                continue;
            throw TransportError(std::string("poll: ") + std::strerror(errno));
        }
        if (entries[1].revents != 0 || (limits && limits->Deadline && result == 0))
            limits->Check(); // raises: cancelled, or the deadline cut this wait short
        if (entries[0].revents != 0)
            return true;
        if (result == 0 && timeoutMs >= 0 && std::chrono::steady_clock::now() >= end)
            return false;
    }
}

} // namespace korvel
