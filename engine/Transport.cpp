#include "engine/Transport.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace korvel
{
namespace
{

[[noreturn]] void Fail(const std::string& what)
{
    throw TransportError(what + ": " + std::strerror(errno));
}

class SystemResolverImpl final : public Resolver
{
public:
    std::uint32_t ResolveHost(const std::string& hostName) override
    {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        const int result = getaddrinfo(hostName.c_str(), nullptr, &hints, &found);
        if (result != 0 || found == nullptr)
            throw TransportError("cannot resolve host " + hostName + ": " + gai_strerror(result));
        const std::uint32_t address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
        freeaddrinfo(found);
        return address;
    }

    std::vector<HostAddress> ResolveHostAll(const std::string& hostName) override
    {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        const int result = getaddrinfo(hostName.c_str(), nullptr, &hints, &found);
        if (result != 0 || found == nullptr)
            throw TransportError("cannot resolve host " + hostName + ": " + gai_strerror(result));
        std::vector<HostAddress> addresses;
        for (const addrinfo* entry = found; entry; entry = entry->ai_next)
            if (entry->ai_addrlen <= sizeof(sockaddr_storage))
            {
                HostAddress& address = addresses.emplace_back();
                std::memcpy(&address.Address, entry->ai_addr, entry->ai_addrlen);
                address.Size = entry->ai_addrlen;
            }
        freeaddrinfo(found);
        return addresses;
    }

    std::uint16_t ResolveService(const std::string& serviceName) override
    {
        servent entry{};
        servent* found = nullptr;
        char scratch[1024];
        if (getservbyname_r(serviceName.c_str(), "tcp", &entry, scratch, sizeof scratch, &found) != 0 ||
            found == nullptr)
            throw TransportError("unknown TCP service " + serviceName);
        return ntohs(static_cast<std::uint16_t>(found->s_port));
    }
};

} // namespace

namespace
{

class TcpTransport final : public Transport
{
public:
    explicit TcpTransport(std::shared_ptr<Resolver> resolver) : resolver_(std::move(resolver)) {}
    ~TcpTransport() override { Close(); }

    void Open(const ConnectionDescription& endpoint, int connectTimeoutMs, int streamTimeoutMs,
              const WaitLimits* limits) override
    {
        Close();
        limits_ = limits;
        streamTimeoutMs_ = streamTimeoutMs;
        sockaddr_in peer{};
        peer.sin_family = AF_INET;
        peer.sin_addr.s_addr = ResolveAddress(endpoint);
        peer.sin_port = htons(ResolvePort(endpoint));

        // Non-blocking for good: every wait is a poll that also watches the call's interrupt.
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd_ < 0)
            Fail("socket");
        try
        {
            Connect(peer, connectTimeoutMs);
        }
        catch (...)
        {
            Close();
            throw;
        }
        // Each chunk goes out in one write; without NODELAY a message split over two writes waits ~40 ms.
        SetOption(IPPROTO_TCP, TCP_NODELAY, 1);
        SetOption(SOL_SOCKET, SO_KEEPALIVE, 1);
        SetOption(IPPROTO_TCP, TCP_KEEPIDLE, KeepAliveIdleSeconds);
        SetOption(IPPROTO_TCP, TCP_KEEPINTVL, KeepAliveIntervalSeconds);
        SetOption(IPPROTO_TCP, TCP_KEEPCNT, KeepAliveProbes);
    }

    void Connect(const sockaddr_in& peer, int timeoutMs)
    {
        if (connect(fd_, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0)
            return;
        if (errno != EINPROGRESS && errno != EINTR) // after EINTR the connect goes on, as after EINPROGRESS
            Fail("connect");
        if (!PollWithin(fd_, POLLOUT, timeoutMs, limits_))
        {
            errno = ETIMEDOUT;
            Fail("connect");
        }
        int error = 0;
        socklen_t size = sizeof error;
        if (getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
            Fail("connect");
        if (error != 0)
        {
            errno = error;
            Fail("connect");
        }
    }

    void Close() override
    {
        if (fd_ >= 0)
            close(fd_);
        fd_ = -1;
        readAheadStart_ = readAheadEnd_ = 0;
    }

    bool IsOpen() const override { return fd_ >= 0; }

    bool WaitForData(int timeoutMs) override
    {
        if (readAheadEnd_ > readAheadStart_)
            return true;
        // Readable, end of stream or an error that the next read reports.
        return PollWithin(fd_, POLLIN, timeoutMs, limits_);
    }

    std::int32_t Write(const std::uint8_t* data, std::int32_t size) override
    {
        if (limits_)
            limits_->Check(); // a cancelled call sends nothing more, even where the socket has room
        for (;;)
        {
            const ssize_t sent = send(fd_, data, static_cast<std::size_t>(size), MSG_NOSIGNAL);
            if (sent >= 0)
                return static_cast<std::int32_t>(sent);
            if (errno == EAGAIN || errno == EWOULDBLOCK)
            {
                if (!PollWithin(fd_, POLLOUT, streamTimeoutMs_, limits_))
                    return 0;
            }
            else if (errno != EINTR)
                Fail("send");
        }
    }

    // Small reads (the 4-byte length of a reply) fetch what has already arrived into a read-ahead block, so
    // the rest of a short reply costs neither a poll nor a receive call of its own.
    std::int32_t Read(std::uint8_t* data, std::int32_t size) override
    {
        if (readAheadEnd_ == readAheadStart_)
        {
            if (size >= ReadAheadSize)
                return Receive(data, size);
            readAheadStart_ = 0;
            readAheadEnd_ = Receive(readAhead_.get(), ReadAheadSize);
        }
        const std::int32_t count = std::min(size, readAheadEnd_ - readAheadStart_);
        std::memcpy(data, readAhead_.get() + readAheadStart_, static_cast<std::size_t>(count));
        readAheadStart_ += count;
        return count;
    }

private:
    std::uint32_t ResolveAddress(const ConnectionDescription& endpoint)
    {
        if (!endpoint.Host.empty())
            return ResolveHostWithin(resolver_, endpoint.Host, limits_);
        in_addr address{};
        if (endpoint.Address.empty() || inet_pton(AF_INET, endpoint.Address.c_str(), &address) != 1)
            throw TransportError("no valid host name or IPv4 address");
        return address.s_addr;
    }

    std::uint16_t ResolvePort(const ConnectionDescription& endpoint)
    {
        if (!endpoint.Service.empty())
            return resolver_->ResolveService(endpoint.Service);
        if (endpoint.Port < 0 || endpoint.Port > 65535)
            throw TransportError("port out of range");
        return static_cast<std::uint16_t>(endpoint.Port);
    }

    std::int32_t Receive(std::uint8_t* data, std::int32_t size)
    {
        for (;;)
        {
            const ssize_t got = recv(fd_, data, static_cast<std::size_t>(size), 0);
            if (got >= 0)
                return static_cast<std::int32_t>(got);
            if (errno == EAGAIN || errno == EWOULDBLOCK)
            {
                if (!PollWithin(fd_, POLLIN, streamTimeoutMs_, limits_))
                    return 0;
            }
            else if (errno != EINTR)
                Fail("recv");
        }
    }

    void SetOption(int level, int name, int value) { setsockopt(fd_, level, name, &value, sizeof value); }

    static constexpr std::int32_t ReadAheadSize = 16384;
    static constexpr int KeepAliveIdleSeconds = 60;
    static constexpr int KeepAliveIntervalSeconds = 10;
    static constexpr int KeepAliveProbes = 6;

    std::shared_ptr<Resolver> resolver_;
    const WaitLimits* limits_ = nullptr;
    int streamTimeoutMs_ = -1;
    int fd_ = -1;
    std::unique_ptr<std::uint8_t[]> readAhead_ = std::make_unique<std::uint8_t[]>(ReadAheadSize);
    std::int32_t readAheadStart_ = 0;
    std::int32_t readAheadEnd_ = 0;
};

} // namespace

std::vector<HostAddress> Resolver::ResolveHostAll(const std::string& hostName)
{
    HostAddress address;
    auto* peer = reinterpret_cast<sockaddr_in*>(&address.Address);
    peer->sin_family = AF_INET;
    peer->sin_addr.s_addr = ResolveHost(hostName);
    address.Size = sizeof(sockaddr_in);
    return {address};
}

std::shared_ptr<Resolver> SystemResolver()
{
    return std::make_shared<SystemResolverImpl>();
}

std::unique_ptr<Transport> CreateTcpTransport(std::shared_ptr<Resolver> resolver)
{
    return std::make_unique<TcpTransport>(std::move(resolver));
}

} // namespace korvel
