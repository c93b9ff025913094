// A channel of one hop's SSH session, carried to and from a socket pair on a thread of its own, so that the
// next hop's SSH session runs over the pair's other end as over a TCP socket: its waits, keepalives and
// limits stay its own. While the pump runs the hop's session is the pump's alone (libssh sessions are not
// shared between threads). When either side ends, the pump closes its end and the next session sees its
// connection end.
#pragma once

#include <atomic>
#include <libssh/libssh.h>
#include <string>
#include <thread>

namespace korvel
{

class ChannelPump
{
public:
    // Takes `channel`, open on `session`; `session` stays the caller's, used by the pump until it ends.
    // Raises TransportError when no socket pair can be had (the channel is freed then).
    ChannelPump(ssh_session session, ssh_channel channel);
    // Stops the thread, then frees the channel.
    ~ChannelPump();
    ChannelPump(const ChannelPump&) = delete;
    ChannelPump& operator=(const ChannelPump&) = delete;

    // The pair's other end, non-blocking: the caller's from now on.
    int TakeSocket();
    // False once the channel or the next session ended.
    bool Running() const { return running_; }

private:
    void Run();
    // Rounds until a side ends or the pump is stopped.
    void Pump();
    // One round: moves what can be moved each way. False when a side ended.
    bool Move(short sessionEvents, short pairEvents);
    bool FromChannel();
    bool ToChannel();
    bool FromPair();
    bool ToPair();

    ssh_session session_;
    ssh_channel channel_;
    int ours_ = -1;
    int theirs_ = -1;
    int stopFd_ = -1;
    std::string toPair_;    // read from the channel, not yet written to the pair
    std::string toChannel_; // read from the pair, not yet taken by the channel
    std::atomic<bool> running_ = true;
    std::thread thread_; // last: starts once everything else exists
};

} // namespace korvel
