#include "server/EventLoop.h"

#include "server/ProcessSetup.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <span>
#include <stdexcept>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <tuple>
#include <unistd.h>
#include <utility>

namespace korvel::server
{

namespace
{

constexpr std::uint64_t AdminListenerToken = ~std::uint64_t{0};
constexpr std::uint64_t MainListenerToken = AdminListenerToken - 1;
constexpr std::uint64_t SignalToken = AdminListenerToken - 2;
constexpr int MaxEvents = 256;
constexpr int AcceptsPerWakeup = 64;
constexpr auto SweepPeriod = std::chrono::seconds{1};
constexpr auto DescriptorBackoff = std::chrono::milliseconds{200};
constexpr auto DescriptorWarningPeriod = std::chrono::seconds{10};
constexpr auto IdleAfter = std::chrono::seconds{5};
// Descriptors kept for the administration port, and for what the server opens besides connections (the
// signal descriptor, the log, SQLite's files).
constexpr std::size_t AdminReserve = 32;
constexpr std::size_t OtherDescriptors = 16;

// Connections that the descriptor limit leaves room for, counted from the lowest free descriptor now.
std::size_t ConnectionCapacity(int anyFd)
{
    rlimit limit{};
    int lowestFree = fcntl(anyFd, F_DUPFD_CLOEXEC, 0);
    if (lowestFree < 0 || getrlimit(RLIMIT_NOFILE, &limit) != 0)
        throw std::runtime_error(std::string("cannot count descriptors: ") + std::strerror(errno));
    ::close(lowestFree);
    auto used = static_cast<rlim_t>(lowestFree) + OtherDescriptors;
    auto room = limit.rlim_cur > used ? limit.rlim_cur - used : 0;
    return static_cast<std::size_t>(std::max<rlim_t>(room, AdminReserve + 1));
}

std::string PeerAddress(const sockaddr_in& address)
{
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return text;
}

void AddToEpoll(int epoll, int fd, std::uint32_t events, std::uint64_t token)
{
    epoll_event event{};
    event.events = events;
    event.data.u64 = token;
    if (epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &event) != 0)
        throw std::runtime_error(std::string("epoll_ctl: ") + std::strerror(errno));
}

} // namespace

EventLoop::EventLoop(const ServerOptions& options, ServerLog& log)
    : log_(log), maxIdlePerAddress_(static_cast<std::size_t>(options.MaxIdlePerAddress)),
      maxIdle_(static_cast<std::size_t>(options.MaxIdle))
{
    epoll_ = epoll_create1(EPOLL_CLOEXEC);
    if (epoll_ < 0)
        throw std::runtime_error(std::string("epoll_create1: ") + std::strerror(errno));
    admin_.Address = options.AdminAddress;
    admin_.Port = options.AdminPort;
    main_.Address = options.MainAddress;
    main_.Port = options.MainPort;
}

EventLoop::~EventLoop()
{
    CloseAll();
    if (signals_ >= 0)
        ::close(signals_);
    ::close(epoll_);
}

void EventLoop::OpenListener(Listener& listener)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(listener.Port));
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    bool all = listener.Address.empty() || listener.Address == "0.0.0.0";
    if (!all && inet_pton(AF_INET, listener.Address.c_str(), &address.sin_addr) != 1)
        throw std::runtime_error("not an IPv4 address: " + listener.Address);
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd, SOMAXCONN) != 0)
    {
        std::string reason = std::strerror(errno);
        if (fd >= 0)
            ::close(fd);
        throw std::runtime_error("cannot listen on " + (all ? std::string("*") : listener.Address) + ":" +
                                 std::to_string(listener.Port) + ": " + reason);
    }
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    listener.Port = ntohs(address.sin_port); // a second start reuses the port the first one got
    listener.Fd = fd;
    listener.Paused = false;
    AddToEpoll(epoll_, fd, EPOLLIN, &listener == &admin_ ? AdminListenerToken : MainListenerToken);
}

void EventLoop::Listen()
{
    OpenListener(admin_);
    OpenListener(main_);
    capacity_ = ConnectionCapacity(epoll_);
}

int EventLoop::BoundPort(PortKind port) const
{
    return port == PortKind::Admin ? admin_.Port : main_.Port;
}

bool EventLoop::StartMainListener()
{
    if (main_.Fd >= 0)
        return true;
    try
    {
        OpenListener(main_);
        return true;
    }
    catch (const std::runtime_error& error)
    {
        log_.Write(error.what());
        return false;
    }
}

void EventLoop::StopMainListener()
{
    if (main_.Fd >= 0)
    {
        ::close(main_.Fd);
        main_.Fd = -1;
    }
    std::vector<std::uint64_t> mainConnections;
    for (auto& [serial, connection] : connections_)
        if (connection->Port == PortKind::Main)
            mainConnections.push_back(serial);
    for (auto serial : mainConnections)
        Close(serial);
}

void EventLoop::Run(ServerCore& core)
{
    core_ = &core;
    const sigset_t stopSignals = StopSignals();
    signals_ = signalfd(-1, &stopSignals, SFD_NONBLOCK | SFD_CLOEXEC);
    AddToEpoll(epoll_, signals_, EPOLLIN, SignalToken);
    nextSweep_ = Clock::now() + SweepPeriod;
    epoll_event events[MaxEvents];
    for (;;)
    {
        int count = epoll_wait(epoll_, events, MaxEvents, WaitMilliseconds(Clock::now()));
        if (count < 0 && errno != EINTR)
            throw std::runtime_error(std::string("epoll_wait: ") + std::strerror(errno));
        for (int i = 0; i < count; ++i)
        {
            std::uint64_t token = events[i].data.u64;
            if (token == SignalToken)
            {
                CloseAll();
                return;
            }
            if (token == AdminListenerToken || token == MainListenerToken)
            {
                Accept(token == AdminListenerToken ? admin_ : main_,
                       token == AdminListenerToken ? PortKind::Admin : PortKind::Main);
                continue;
            }
            auto found = connections_.find(token);
            if (found == connections_.end())
                continue; // closed earlier in this batch
            Connection& connection = *found->second;
            std::uint32_t ready = events[i].events;
            // An error or hang-up without data to read: the peer is gone (reported even while not watched
            // for).
            if ((ready & EPOLLERR) || ((ready & EPOLLHUP) && !(ready & EPOLLIN)))
            {
                Lose(connection, "Connection closed by client");
                continue;
            }
            if (ready & EPOLLOUT)
                Writable(connection);
            if ((ready & EPOLLIN) && connections_.contains(token))
                Readable(connection);
        }
        for (auto serial : std::exchange(ready_, {}))
            if (auto found = connections_.find(serial); found != connections_.end())
                Readable(*found->second);
        auto now = Clock::now();
        SendDueReplies(now);
        if ((admin_.Paused || main_.Paused) && now >= resumeListenersAt_)
            ResumeListeners();
        if (now >= nextSweep_)
            Sweep(now);
    }
}

void EventLoop::Accept(Listener& listener, PortKind port)
{
    for (int i = 0; i < AcceptsPerWakeup; ++i)
    {
        if (!MakeRoom(port, Clock::now()))
        {
            Pause(listener, Clock::now()); // the rest wait in the backlog until a connection closes
            return;
        }
        sockaddr_in address{};
        socklen_t length = sizeof address;
        int fd = accept4(listener.Fd, reinterpret_cast<sockaddr*>(&address), &length,
                         SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
        {
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
            {
                auto now = Clock::now();
                if (now - lastDescriptorWarning_ >= DescriptorWarningPeriod)
                {
                    lastDescriptorWarning_ = now;
                    log_.Write(std::string("Cannot accept connections: ") + std::strerror(errno) +
                               "; accepting paused for a moment");
                }
                PauseListeners(now);
            }
            return; // EAGAIN, or a connection that was reset before we took it
        }
        int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        auto connection = std::make_unique<Connection>();
        connection->Serial = nextSerial_++;
        connection->Fd = fd;
        connection->Port = port;
        connection->PeerAddress = PeerAddress(address);
        connection->AcceptedAt = connection->LastActivity = Clock::now();
        AddToEpoll(epoll_, fd, EPOLLIN, connection->Serial);
        connections_.emplace(connection->Serial, std::move(connection));
    }
}

bool EventLoop::MakeRoom(PortKind port, Clock::time_point now)
{
    const std::size_t allowed = port == PortKind::Main ? capacity_ - AdminReserve : capacity_;
    if (connections_.size() < allowed)
        return true;
    Connection* oldest = nullptr;
    for (auto& entry : connections_)
        if (Idle(*entry.second, now) && (!oldest || entry.second->LastActivity < oldest->LastActivity))
            oldest = entry.second.get();
    if (!oldest)
        return false;
    Lose(*oldest, "Idle connection closed");
    ++idleClosed_;
    return true;
}

bool EventLoop::Idle(const Connection& connection, Clock::time_point now) const
{
    // A connection whose answer the server holds back is waiting for the server, not idle.
    return connection.State != Phase::LoggedIn && !connection.ReplyDelayed &&
           now - connection.LastActivity >= IdleAfter;
}

void EventLoop::CloseIdleBeyondLimits(Clock::time_point now)
{
    std::vector<Connection*> idle;
    std::unordered_map<std::string, std::size_t> perAddress;
    for (auto& entry : connections_)
        if (Idle(*entry.second, now))
        {
            idle.push_back(entry.second.get());
            ++perAddress[entry.second->PeerAddress];
        }
    if (idle.size() <= maxIdle_ && std::ranges::all_of(perAddress, [this](const auto& count)
                                                       { return count.second <= maxIdlePerAddress_; }))
        return;
    std::ranges::sort(idle,
                      [](const Connection* a, const Connection* b) {
                          return std::tie(a->LastActivity, a->Serial) < std::tie(b->LastActivity, b->Serial);
                      });
    // Oldest first: each closes while its address, or all of them, is over its limit.
    std::size_t left = idle.size();
    std::vector<std::uint64_t> closing;
    for (Connection* connection : idle)
    {
        std::size_t& fromAddress = perAddress[connection->PeerAddress];
        if (fromAddress <= maxIdlePerAddress_ && left <= maxIdle_)
            continue;
        --fromAddress;
        --left;
        closing.push_back(connection->Serial);
    }
    idleClosed_ += closing.size();
    for (auto serial : closing)
        if (auto found = connections_.find(serial); found != connections_.end())
            Lose(*found->second, "Idle connection closed");
}

void EventLoop::Pause(Listener& listener, Clock::time_point now)
{
    // Level-triggered listeners would wake us at once again: stop watching them for a while instead.
    if (listener.Fd >= 0 && !listener.Paused)
    {
        epoll_ctl(epoll_, EPOLL_CTL_DEL, listener.Fd, nullptr);
        listener.Paused = true;
    }
    resumeListenersAt_ = now + DescriptorBackoff;
}

void EventLoop::PauseListeners(Clock::time_point now)
{
    Pause(admin_, now);
    Pause(main_, now);
}

void EventLoop::ResumeListeners()
{
    for (Listener* listener : {&admin_, &main_})
        if (listener->Fd >= 0 && listener->Paused)
        {
            AddToEpoll(epoll_, listener->Fd, EPOLLIN,
                       listener == &admin_ ? AdminListenerToken : MainListenerToken);
            listener->Paused = false;
        }
}

void EventLoop::Readable(Connection& connection)
{
    // Half-duplex: nothing more is read until the reply has left.
    if (connection.ReplyDelayed || !connection.Outgoing.empty() || !ReceiveMessage(connection))
        return;
    std::uint64_t serial = connection.Serial;
    connection.LastActivity = Clock::now();
    serving_ = serial;
    closeServed_ = false;
    bool keep = core_->HandleMessage(connection, connection.Incoming.Message());
    serving_ = 0;
    connection.Incoming.Reset();
    if (!keep)
        core_->ConnectionLost(connection, "Invalid message"); // nothing happens after LOGOUT
    if (!keep || closeServed_)
        Close(serial);
    else
        ResumeIfPending(connection);
}

bool EventLoop::ReceiveMessage(Connection& connection)
{
    for (;;)
    {
        const std::uint8_t* bytes = nullptr;
        std::size_t size = 0;
        bool pending = connection.PendingAt < connection.Pending.size();
        if (pending)
        {
            bytes = connection.Pending.data() + connection.PendingAt;
            size = connection.Pending.size() - connection.PendingAt;
        }
        else
        {
            // A message's start goes to the read-ahead buffer (header and body in one read); the rest of a
            // large one straight to its place.
            auto space = connection.Incoming.Empty() ? std::span<std::uint8_t>(readAhead_)
                                                     : connection.Incoming.Space();
            ssize_t got = ::recv(connection.Fd, space.data(), space.size(), 0);
            if (got < 0 && (errno == EAGAIN || errno == EINTR))
                return false;
            if (got <= 0)
            {
                Lose(connection, "Connection closed by client");
                return false;
            }
            bytes = space.data();
            size = static_cast<std::size_t>(got);
        }
        std::size_t used = 0;
        auto status = connection.Incoming.Feed(bytes, size, core_->MessageLimit(connection), used);
        if (pending)
            connection.PendingAt += used;
        else if (used < size)
            connection.Pending.assign(bytes + used, bytes + size);
        if (connection.PendingAt == connection.Pending.size())
        {
            connection.Pending.clear();
            connection.PendingAt = 0;
        }
        if (status == FrameAssembler::Status::Invalid)
        {
            log_.Write("Message of invalid size " + std::to_string(connection.Incoming.TotalSize()) +
                       " from " + connection.PeerAddress + "; connection closed");
            Lose(connection, "Invalid message");
            return false;
        }
        if (status == FrameAssembler::Status::Complete)
            return true;
    }
}

void EventLoop::ResumeIfPending(Connection& connection)
{
    if (!connection.Pending.empty() && !connection.ReplyDelayed && connection.Outgoing.empty())
        ready_.push_back(connection.Serial);
}

void EventLoop::Writable(Connection& connection)
{
    while (connection.OutgoingSent < connection.Outgoing.size())
    {
        ssize_t sent = ::send(connection.Fd, connection.Outgoing.data() + connection.OutgoingSent,
                              connection.Outgoing.size() - connection.OutgoingSent, MSG_NOSIGNAL);
        if (sent < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        if (sent <= 0)
        {
            Lose(connection, "Connection closed by client");
            return;
        }
        connection.OutgoingSent += static_cast<std::size_t>(sent);
    }
    connection.Outgoing.clear();
    connection.Outgoing.shrink_to_fit();
    connection.OutgoingSent = 0;
    UpdateInterest(connection);
    ResumeIfPending(connection);
}

void EventLoop::Send(Connection& connection, const std::uint8_t* bytes, std::size_t size)
{
    if (connection.Fd < 0)
        return; // a connection without a socket (fuzzing never gets here)
    std::size_t sent = 0;
    if (connection.Outgoing.empty())
    {
        ssize_t n = ::send(connection.Fd, bytes, size, MSG_NOSIGNAL);
        // An error shows again on the next read, which ends the connection in the usual way.
        sent = n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    if (sent < size)
    {
        connection.Outgoing.insert(connection.Outgoing.end(), bytes + sent, bytes + size);
        UpdateInterest(connection);
    }
}

void EventLoop::SendLater(Connection& connection, std::vector<std::uint8_t> reply, Clock::time_point at)
{
    connection.DelayedReply = std::move(reply);
    connection.ReplyDelayed = true;
    connection.ReplyAt = at;
    delayed_.push({at, connection.Serial});
    UpdateInterest(connection);
}

void EventLoop::SendDueReplies(Clock::time_point now)
{
    while (!delayed_.empty() && delayed_.top().At <= now)
    {
        auto serial = delayed_.top().Serial;
        delayed_.pop();
        auto found = connections_.find(serial);
        if (found == connections_.end() || !found->second->ReplyDelayed)
            continue;
        Connection& connection = *found->second;
        connection.ReplyDelayed = false;
        connection.LastActivity = now; // idle only counting from when its answer left
        auto reply = std::move(connection.DelayedReply);
        connection.DelayedReply = {};
        Send(connection, reply.data(), reply.size());
        UpdateInterest(connection);
        ResumeIfPending(connection);
    }
}

void EventLoop::UpdateInterest(Connection& connection)
{
    std::uint32_t events = 0;
    if (!connection.Outgoing.empty())
        events |= EPOLLOUT;
    else if (!connection.ReplyDelayed)
        events |= EPOLLIN;
    epoll_event event{};
    event.events = events;
    event.data.u64 = connection.Serial;
    epoll_ctl(epoll_, EPOLL_CTL_MOD, connection.Fd, &event);
}

void EventLoop::Lose(Connection& connection, std::string_view detail)
{
    core_->ConnectionLost(connection, detail);
    Close(connection.Serial);
}

void EventLoop::Close(std::uint64_t serial)
{
    if (serial == serving_)
    {
        closeServed_ = true;
        return;
    }
    auto found = connections_.find(serial);
    if (found == connections_.end())
        return;
    epoll_ctl(epoll_, EPOLL_CTL_DEL, found->second->Fd, nullptr);
    ::close(found->second->Fd);
    connections_.erase(found);
}

void EventLoop::Sweep(Clock::time_point now)
{
    nextSweep_ = now + SweepPeriod;
    std::vector<std::pair<std::uint64_t, const char*>> expired;
    for (auto& [serial, connection] : connections_)
        if (const char* reason = core_->TimeoutReason(*connection, now))
            expired.emplace_back(serial, reason);
    for (auto [serial, reason] : expired)
    {
        auto found = connections_.find(serial);
        if (found == connections_.end())
            continue;
        if (found->second->State != Phase::LoggedIn)
            log_.Write(std::string(reason) + ": " + found->second->PeerAddress + "; connection closed");
        Lose(*found->second, reason);
    }
    CloseIdleBeyondLimits(now);
    if (idleClosed_ > 0)
    {
        // One line a second at most, however hard the ports are flooded.
        log_.Write("Closed " + std::to_string(std::exchange(idleClosed_, 0)) +
                   " idle connections that had not logged in (limits: " + std::to_string(maxIdlePerAddress_) +
                   " per address, " + std::to_string(maxIdle_) +
                   " in all, spare descriptors for the "
                   "administration port)");
    }
    core_->Tick(now);
}

int EventLoop::WaitMilliseconds(Clock::time_point now) const
{
    if (!ready_.empty())
        return 0;
    auto until = nextSweep_;
    if (!delayed_.empty() && delayed_.top().At < until)
        until = delayed_.top().At;
    if ((admin_.Paused || main_.Paused) && resumeListenersAt_ < until)
        until = resumeListenersAt_;
    auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count();
    return wait < 0 ? 0 : static_cast<int>(wait) + 1;
}

void EventLoop::CloseAll()
{
    for (auto& [serial, connection] : connections_)
        ::close(connection->Fd);
    connections_.clear();
    for (Listener* listener : {&admin_, &main_})
        if (listener->Fd >= 0)
        {
            ::close(listener->Fd);
            listener->Fd = -1;
        }
}

} // namespace korvel::server
