#include "cli/Interrupt.h"

#include <cerrno>
#include <csignal>
#include <poll.h>
#include <pthread.h>

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

bool WaitReadableOrInterrupted(int fd)
{
    sigset_t stop, previous;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    // Blocked from here on, the two signals can only arrive inside ppoll, which then returns EINTR: one that
    // came between the check of the flag and the wait cannot leave the program waiting.
    pthread_sigmask(SIG_BLOCK, &stop, &previous);
    while (!Interrupted())
    {
        pollfd ready{fd, POLLIN, 0};
        if (::ppoll(&ready, 1, nullptr, &previous) >= 0 || errno != EINTR)
            break;
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return !Interrupted();
}

} // namespace korvel::cli
