// SIGINT and SIGTERM, handled once for the whole CLI. The handler records the first signal and cancels the
// engine's CallInterrupt that the CLI's session uses, so whatever waits ends at once: a call to the server
// (the engine ends it with an error and does not retry it), the password prompt and the pause between two
// reads of a followed log (both wait on the interrupt beside their own file descriptor). The command then
// ends in order, with the terminal restored and the session logged out within a short time, and main exits
// with 128 + the signal number. A second signal of the same kind ends the program as usual.
#pragma once

#include "engine/CallLimits.h"

#include <memory>
#include <poll.h>
#include <stdexcept>

namespace korvel::cli
{

// Raised by code that stops because of the signal.
class StoppedBySignal : public std::runtime_error
{
public:
    explicit StoppedBySignal(int signal) : std::runtime_error("interrupted"), signal_(signal) {}
    int Signal() const { return signal_; }

private:
    int signal_;
};

// Installs the handler for SIGINT and SIGTERM (once, at start-up).
void InstallInterruptHandling();
// The interrupt that the signals cancel, for the session's call limits; null before InstallInterruptHandling.
std::shared_ptr<const CallInterrupt> SignalInterrupt();
// For the work that ends the program after a signal (the logout): a new interrupt, not cancelled yet, that a
// later signal of the other kind cancels.
std::shared_ptr<const CallInterrupt> FreshInterrupt();
// 0 until SIGINT or SIGTERM came, then the first one's number.
int ReceivedSignal();
// Raises StoppedBySignal when a signal came.
void ThrowIfInterrupted();

enum class Wait
{
    Ready,
    TimedOut,
    Signalled
};
// Waits until `fd` can be read (-1: nothing to read), `timeoutMs` passes (negative: no limit) or a signal
// comes, also when it came just before the wait. Other signals are waited through. With `events` 0 instead
// of poll's POLLIN, Ready means only that `fd` failed or hung up (an output whose reader has gone).
Wait WaitFor(int fd, int timeoutMs, short events = POLLIN);

} // namespace korvel::cli
