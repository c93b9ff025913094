#include "cli/Interrupt.h"

#include <csignal>

namespace korvel::cli
{

namespace
{

volatile std::sig_atomic_t receivedSignal = 0;

void RecordSignal(int signal)
{
    receivedSignal = signal;
}

} // namespace

void InstallInterruptHandling()
{
    struct sigaction action
    {
    };
    action.sa_handler = RecordSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a blocked read returns EINTR so the signal is seen at once. SA_RESETHAND: a second
    // signal ends the program as usual.
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool Interrupted()
{
    return receivedSignal != 0;
}

void ThrowIfInterrupted()
{
    if (int signal = receivedSignal)
        throw Interruption(signal);
}

} // namespace korvel::cli
