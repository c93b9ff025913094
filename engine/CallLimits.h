// What ends a remote session's call early, whatever it is waiting for (a host name, the connect, a write, a
// reply): a cancel from another thread or a signal handler, and a deadline the caller has. Without either, a
// call waits for a silent server as long as the connection stays open.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

namespace korvel
{

// Cancels the calls that use it, from any thread. Once cancelled it stays so: make a new one for the next
// piece of work.
class CallInterrupt
{
public:
    CallInterrupt();
    ~CallInterrupt();
    CallInterrupt(const CallInterrupt&) = delete;
    CallInterrupt& operator=(const CallInterrupt&) = delete;

    // Safe from any thread and from a signal handler: the call under way ends at once, and every later one
    // that uses this interrupt ends before it waits.
    void Cancel() noexcept;
    bool Cancelled() const noexcept { return cancelled_.load(std::memory_order_acquire); }
    // Readable once cancelled, so a wait can watch it beside its socket.
    int WakeFd() const noexcept { return wakeFd_; }

private:
    std::atomic<bool> cancelled_ = false;
    int wakeFd_ = -1;
};

// Why a call ended early.
enum class Interruption
{
    None,
    Cancelled,
    Expired
};

using SteadyTime = std::chrono::steady_clock::time_point;

// What a caller sets on a session. Off by default: no interrupt, no limit.
struct CallLimits
{
    std::shared_ptr<const CallInterrupt> Interrupt = {};
    // Each call (re-connection included) ends after this long; 0 for no limit.
    std::int32_t TimeoutMs = 0;
    // Every call ends by then.
    std::optional<SteadyTime> Deadline = {};
};

// What one call's waits obey: the interrupt and the deadline that are in force for it.
struct WaitLimits
{
    const CallInterrupt* Interrupt = nullptr;
    std::optional<SteadyTime> Deadline = {};

    // Raises TransportInterrupted when the interrupt was cancelled or the deadline has passed.
    void Check() const;
    // `timeoutMs` (negative: no time-out) shortened to what is left before the deadline.
    int Cap(int timeoutMs) const;
};

// Waits until `fd` reports one of `events` (true), `timeoutMs` passes (false; negative waits without a
// time-out), or the limits end the wait (raises TransportInterrupted). Signals that interrupt the wait are
// waited through. `limits` may be null.
bool PollWithin(int fd, short events, int timeoutMs, const WaitLimits* limits);

} // namespace korvel
