// The server's one thread: an epoll loop over both listeners and every connection. It turns readable bytes
// into complete messages for the ServerCore, writes replies, holds back throttled replies, closes silent
// connections once a second, and backs off when the process runs out of file descriptors.
// Neighbours are bounded as OpenSSH bounds unauthenticated connections: one that has not logged in and has
// sent nothing for 5 s is idle, and idle ones are kept only up to a limit per address and in all, the oldest
// closed first. The main port never takes the last descriptors, so that an administrator can still log in
// while it is flooded.
#pragma once

#include "server/Connection.h"
#include "server/ServerCore.h"

#include <cstdint>
#include <memory>
#include <queue>
#include <string>
#include <unordered_map>
#include <vector>

namespace korvel::server
{

class EventLoop : public ConnectionControl
{
public:
    EventLoop(const ServerOptions& options, ServerLog& log);
    ~EventLoop() override;
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    // Binds both ports; throws std::runtime_error when one cannot be opened.
    void Listen();
    // Serves until SIGINT or SIGTERM (which the caller has blocked), then closes everything.
    void Run(ServerCore& core);

    // ConnectionControl
    void Send(Connection& connection, const std::uint8_t* bytes, std::size_t size) override;
    void SendLater(Connection& connection, std::vector<std::uint8_t> reply, Clock::time_point at) override;
    void Close(std::uint64_t serial) override;
    bool StartMainListener() override;
    void StopMainListener() override;
    int BoundPort(PortKind port) const override;

private:
    struct Listener
    {
        int Fd = -1;
        std::string Address;
        int Port = 0;
        bool Paused = false;
    };
    struct DelayedReply
    {
        Clock::time_point At;
        std::uint64_t Serial;
        bool operator>(const DelayedReply& other) const { return At > other.At; }
    };

    void OpenListener(Listener& listener);
    void Accept(Listener& listener, PortKind port);
    // Whether the port may take one more connection now, closing the oldest idle one when that makes room.
    bool MakeRoom(PortKind port, Clock::time_point now);
    bool Idle(const Connection& connection, Clock::time_point now) const;
    // Closes the oldest idle connections beyond the limits.
    void CloseIdleBeyondLimits(Clock::time_point now);
    void Pause(Listener& listener, Clock::time_point now);
    void PauseListeners(Clock::time_point now);
    void ResumeListeners();
    void Readable(Connection& connection);
    // Reads until a message is complete (true), the socket has no more bytes, or the connection is lost.
    bool ReceiveMessage(Connection& connection);
    // Serves what was read ahead once nothing holds the connection back.
    void ResumeIfPending(Connection& connection);
    void Writable(Connection& connection);
    void Lose(Connection& connection, std::string_view detail);
    void UpdateInterest(Connection& connection);
    void SendDueReplies(Clock::time_point now);
    void Sweep(Clock::time_point now);
    int WaitMilliseconds(Clock::time_point now) const;
    void CloseAll();

    ServerLog& log_;
    std::size_t maxIdlePerAddress_;
    std::size_t maxIdle_;
    // Connections the descriptor limit allows in all (set by Listen); the main port leaves a reserve of them
    // to the administration port.
    std::size_t capacity_ = 0;
    // Idle connections closed since the last sweep, logged there in one line.
    std::size_t idleClosed_ = 0;
    ServerCore* core_ = nullptr;
    int epoll_ = -1;
    int signals_ = -1;
    Listener admin_;
    Listener main_;
    std::unordered_map<std::uint64_t, std::unique_ptr<Connection>> connections_;
    std::uint64_t nextSerial_ = 1;
    // Set while a connection's message is served: closing it then waits until the message is done.
    std::uint64_t serving_ = 0;
    bool closeServed_ = false;
    // The start of a message is read in one go with what follows; most requests fit.
    std::uint8_t readAhead_[4096] = {};
    // Connections with a complete request already read ahead, served before the next wait.
    std::vector<std::uint64_t> ready_;
    std::priority_queue<DelayedReply, std::vector<DelayedReply>, std::greater<>> delayed_;
    Clock::time_point nextSweep_{};
    Clock::time_point resumeListenersAt_{};
    Clock::time_point lastDescriptorWarning_{};
};

} // namespace korvel::server
