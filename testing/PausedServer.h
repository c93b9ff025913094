// Holds a korvel-refserver still (SIGSTOP) while it lives, so a request under way waits for the test: the
// test can act while the window's runner is busy, and the server goes on (SIGCONT) when this goes.
#pragma once

#include <csignal>
#include <sys/types.h>

namespace korvel::test
{

class PausedServer
{
public:
    explicit PausedServer(pid_t pid) : pid_(pid) { ::kill(pid_, SIGSTOP); }
    ~PausedServer() { Resume(); }
    PausedServer(const PausedServer&) = delete;
    PausedServer& operator=(const PausedServer&) = delete;

    void Resume()
    {
        if (pid_ > 0)
            ::kill(pid_, SIGCONT);
        pid_ = -1;
    }

private:
    pid_t pid_;
};

} // namespace korvel::test
