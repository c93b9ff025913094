#include "server/ProcessSetup.h"

#include <sys/resource.h>
#include <sys/stat.h>

namespace korvel::server
{

sigset_t StopSignals()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

void BlockStopSignals()
{
    const sigset_t signals = StopSignals();
    sigprocmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

void RaiseFileLimit(long most)
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return;
    rlim_t wanted = limit.rlim_max;
    if (most > 0 && (wanted == RLIM_INFINITY || static_cast<rlim_t>(most) < wanted))
        wanted = static_cast<rlim_t>(most);
    if (wanted != limit.rlim_cur)
    {
        limit.rlim_cur = wanted;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

void KeepCreatedFilesPrivate()
{
    umask(077);
}

} // namespace korvel::server
