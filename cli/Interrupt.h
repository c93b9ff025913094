// Ctrl-C (SIGINT) and SIGTERM, handled once for the whole CLI. The handler only records the signal and gives
// the next one its default action, so a second Ctrl-C still ends a program that is stuck. Blocking reads are
// not restarted: the password prompt and the commands that wait poll Interrupted() (or call
// ThrowIfInterrupted) and end in order, with the terminal restored and the session logged out; main then
// exits with 128 + the signal number.
#pragma once

#include <stdexcept>

namespace korvel::cli
{

// Raised by code that stops because of the signal.
class Interruption : public std::runtime_error
{
public:
    explicit Interruption(int signal) : std::runtime_error("interrupted"), signal_(signal) {}
    int Signal() const { return signal_; }

private:
    int signal_;
};

// Installs the handler for SIGINT and SIGTERM (once, at start-up).
void InstallInterruptHandling();
// True once either signal came.
bool Interrupted();
// Raises Interruption when a signal came.
void ThrowIfInterrupted();
// Waits until `fd` can be read (true) or SIGINT or SIGTERM came (false), also when it came just before the
// wait. Other signals are waited through.
bool WaitReadableOrInterrupted(int fd);

} // namespace korvel::cli
