#include "cli/Interrupt.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <poll.h>
#include <vector>

namespace korvel::cli
{

namespace
{

std::atomic<int> receivedSignal = 0;
// The interrupt the handler cancels. Every one ever armed stays alive to the end (Interrupts below): the
// handler may run on another thread (the engine's host lookup) while a fresh one replaces it.
std::atomic<CallInterrupt*> armed = nullptr;
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<CallInterrupt*>::is_always_lock_free,
              "the signal handler needs lock-free atomics");

std::vector<std::shared_ptr<CallInterrupt>>& Interrupts()
{
    static std::vector<std::shared_ptr<CallInterrupt>> interrupts;
    return interrupts;
}

void OnSignal(int signal)
{
    int none = 0;
    receivedSignal.compare_exchange_strong(none, signal);
    if (CallInterrupt* interrupt = armed.load())
        interrupt->Cancel();
}

std::shared_ptr<const CallInterrupt> Arm()
{
    auto interrupt = std::make_shared<CallInterrupt>();
    Interrupts().push_back(interrupt);
    armed = interrupt.get();
    return interrupt;
}

} // namespace

void InstallInterruptHandling()
{
    Arm();
    struct sigaction action
    {
    };
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a blocked read returns EINTR. SA_RESETHAND: a second signal of the same kind ends the
    // program as usual.
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

std::shared_ptr<const CallInterrupt> SignalInterrupt()
{
    return Interrupts().empty() ? nullptr : Interrupts().front();
}

std::shared_ptr<const CallInterrupt> FreshInterrupt()
{
    return Arm();
}

int ReceivedSignal()
{
    return receivedSignal.load();
}

void ThrowIfInterrupted()
{
    if (int signal = ReceivedSignal())
        throw StoppedBySignal(signal);
}

Wait WaitFor(int fd, int timeoutMs, short events)
{
    const std::shared_ptr<const CallInterrupt> interrupt = SignalInterrupt();
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;)
    {
        if (ReceivedSignal())
            return Wait::Signalled;
        int waitMs = -1;
        if (timeoutMs >= 0)
        {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return Wait::TimedOut;
            waitMs = static_cast<int>(left.count());
        }
        // The handler makes the interrupt's descriptor readable, so a signal that came after the check above
        // still ends this wait.
        pollfd entries[2] = {{fd, events, 0}, {interrupt ? interrupt->WakeFd() : -1, POLLIN, 0}};
        const int ready = ::poll(entries, 2, waitMs);
        if (ready < 0 && errno != EINTR)
            return Wait::Ready; // nothing to wait on: let the caller's read report the error
        if (ready > 0 && entries[0].revents != 0 && !ReceivedSignal())
            return Wait::Ready;
    }
}

} // namespace korvel::cli
