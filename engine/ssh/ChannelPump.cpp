#include "engine/ssh/ChannelPump.h"

#include "engine/Transport.h"
#include "platform/OnDemandLibrary.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace korvel
{
namespace
{

// As much as one channel read may bring; the next one waits until the pair took it all.
constexpr std::size_t ChunkSize = 64 * 1024;

} // namespace

ChannelPump::ChannelPump(ssh_session session, ssh_channel channel) : session_(session), channel_(channel)
{
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, pair) != 0)
    {
        const int error = errno;
        ssh_channel_free(channel_);
        throw TransportError(std::string("Cannot make a socket pair: ") + std::strerror(error));
    }
    ours_ = pair[0];
    theirs_ = pair[1];
    stopFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stopFd_ < 0)
    {
        const int error = errno;
        close(ours_);
        close(theirs_);
        ssh_channel_free(channel_);
        throw TransportError(std::string("eventfd: ") + std::strerror(error));
    }
    thread_ = std::thread([this] { Run(); });
}

ChannelPump::~ChannelPump()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(stopFd_, &one, sizeof one);
    thread_.join();
    ssh_channel_free(channel_);
    if (ours_ >= 0)
        close(ours_);
    if (theirs_ >= 0)
        close(theirs_);
    close(stopFd_);
}

int ChannelPump::TakeSocket()
{
    const int fd = theirs_;
    theirs_ = -1;
    return fd;
}

void ChannelPump::Run()
{
    try
    {
        Pump();
    }
    catch (const platform::LibraryUnavailable&) // a libssh older than the one built against: as a hang-up
    {
    }
    running_ = false;
    // The next session sees its connection end; the hop's channel ends with the pump.
    shutdown(ours_, SHUT_RDWR);
}

void ChannelPump::Pump()
{
    short sessionEvents = 0;
    short pairEvents = 0;
    while (Move(sessionEvents, pairEvents))
    {
        // Input libssh already took off the socket shows no event there: it is passed on without a wait.
        const bool held = toPair_.empty() && ssh_channel_poll(channel_, 0) != 0;
        // The session's input is taken in only when there is room for it (or a write awaits the window).
        const bool room = toPair_.empty() || !toChannel_.empty();
        pollfd fds[3] = {{ssh_get_fd(session_), static_cast<short>(room ? POLLIN : 0), 0},
                         {ours_, 0, 0},
                         {stopFd_, POLLIN, 0}};
        if ((ssh_get_poll_flags(session_) & SSH_WRITE_PENDING) != 0)
            fds[0].events |= POLLOUT;
        if (toChannel_.empty())
            fds[1].events |= POLLIN;
        if (!toPair_.empty())
            fds[1].events |= POLLOUT;
        if (poll(fds, 3, held ? 0 : -1) < 0 && errno != EINTR)
            break;
        if (fds[2].revents != 0)
            break;
        sessionEvents = fds[0].revents;
        pairEvents = fds[1].revents;
    }
}

bool ChannelPump::Move(short sessionEvents, short pairEvents)
{
    // A side that hung up ends the chain; what it has not taken yet no longer matters, and polling on would
    // only see the hang-up again.
    if (((sessionEvents | pairEvents) & (POLLHUP | POLLERR | POLLNVAL)) != 0)
        return false;
    if ((sessionEvents & POLLOUT) != 0 && ssh_blocking_flush(session_, 0) == SSH_ERROR)
        return false;
    if ((pairEvents & POLLIN) != 0 && !FromPair())
        return false;
    // The channel is asked every round: a write waiting for its window, or input libssh already holds,
    // shows no event on the socket.
    return ToChannel() && FromChannel() && ToPair();
}

bool ChannelPump::FromPair()
{
    if (!toChannel_.empty())
        return true;
    char buffer[ChunkSize];
    const ssize_t got = read(ours_, buffer, sizeof buffer);
    if (got > 0)
        toChannel_.assign(buffer, static_cast<std::size_t>(got));
    return got > 0 || (got < 0 && (errno == EAGAIN || errno == EINTR));
}

bool ChannelPump::ToChannel()
{
    if (toChannel_.empty())
        return true;
    const int written =
        ssh_channel_write(channel_, toChannel_.data(), static_cast<std::uint32_t>(toChannel_.size()));
    if (written < 0 || ssh_channel_is_closed(channel_))
        return false;
    toChannel_.erase(0, static_cast<std::size_t>(written));
    return true;
}

bool ChannelPump::FromChannel()
{
    if (!toPair_.empty())
        return true;
    char buffer[ChunkSize];
    const int got = ssh_channel_read_timeout(channel_, buffer, sizeof buffer, 0, 0);
    if (got > 0)
        toPair_.assign(buffer, static_cast<std::size_t>(got));
    if (got == SSH_EOF || (got == 0 && ssh_channel_is_eof(channel_)))
        return false;
    return got >= 0 || got == SSH_AGAIN;
}

bool ChannelPump::ToPair()
{
    if (toPair_.empty())
        return true;
    // The hop behind may have closed its end: that ends the pump, it must not end the process by SIGPIPE.
    const ssize_t written = send(ours_, toPair_.data(), toPair_.size(), MSG_NOSIGNAL);
    if (written < 0)
        return errno == EAGAIN || errno == EINTR;
    toPair_.erase(0, static_cast<std::size_t>(written));
    return true;
}

} // namespace korvel
