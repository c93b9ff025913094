// The TCP transport beneath a remote session: one IPv4 client connection whose every wait (the host name, the
// connect, each read and write) also ends when the call's limits say so. Name and service resolution sit
// behind a resolver so tests can map a service name to an ephemeral port.
#pragma once

#include "engine/CallLimits.h"
#include "engine/ConnectionDescription.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <vector>

namespace korvel
{

// A failure of the socket layer. The remote session turns it into an engine error; its text never reaches
// the user.
class TransportError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// A wait ended by the call's limits: cancelled from elsewhere, or past its deadline.
class TransportInterrupted : public TransportError
{
public:
    explicit TransportInterrupted(Interruption reason)
        : TransportError(reason == Interruption::Cancelled ? "cancelled" : "deadline passed"), reason_(reason)
    {
    }
    Interruption Reason() const { return reason_; }

private:
    Interruption reason_;
};

// One address of a host, IPv4 or IPv6, with its port still unset.
struct HostAddress
{
    sockaddr_storage Address{};
    socklen_t Size = 0;
};

class Resolver
{
public:
    virtual ~Resolver() = default;
    // The first IPv4 address of a host name, in network byte order. Raises TransportError.
    virtual std::uint32_t ResolveHost(const std::string& hostName) = 0;
    // Every address of a host name, IPv6 and IPv4, in the order the system prefers (tried in turn, as
    // OpenSSH does, for an SSH hop). By default the one IPv4 address of ResolveHost. Raises TransportError.
    virtual std::vector<HostAddress> ResolveHostAll(const std::string& hostName);
    // The port of a TCP service name, in host byte order. Raises TransportError.
    virtual std::uint16_t ResolveService(const std::string& serviceName) = 0;
};

// getaddrinfo for hosts, getservbyname for services.
std::shared_ptr<Resolver> SystemResolver();

// The resolver's answer for `hostName` within the limits. A lookup can hang for the resolver's own time-outs:
// with limits in force it runs on a bounded pool of threads (engine/NameLookups.h), and a cancel or the
// deadline walks away from it. Raises TransportError, TransportInterrupted.
std::uint32_t ResolveHostWithin(const std::shared_ptr<Resolver>& resolver, const std::string& hostName,
                                const WaitLimits* limits);

// The same for every address of `hostName` (Resolver::ResolveHostAll).
std::vector<HostAddress> ResolveHostAllWithin(const std::shared_ptr<Resolver>& resolver,
                                              const std::string& hostName, const WaitLimits* limits);

class Transport
{
public:
    virtual ~Transport() = default;
    // Connects, giving up after `connectTimeoutMs` (a host that drops the handshake would otherwise hold the
    // caller for the system's minutes of retries); reads and writes give up after `streamTimeoutMs`. Every
    // wait from here to Close also obeys `limits` (may be null; it outlives the connection) and raises
    // TransportInterrupted when they end it. Raises TransportError.
    virtual void Open(const ConnectionDescription& endpoint, int connectTimeoutMs, int streamTimeoutMs,
                      const WaitLimits* limits) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // True when the connection becomes readable (data or end of stream) within the time.
    virtual bool WaitForData(int timeoutMs) = 0;
    // Up to `size` bytes in one write; 0 when the write times out. Raises TransportError on a socket error.
    virtual std::int32_t Write(const std::uint8_t* data, std::int32_t size) = 0;
    // Up to `size` bytes; 0 on time-out or end of stream. Raises TransportError on a socket error.
    virtual std::int32_t Read(std::uint8_t* data, std::int32_t size) = 0;
};

using TransportFactory = std::function<std::unique_ptr<Transport>()>;

// A POSIX TCP transport: non-blocking socket waited on with poll, TCP_NODELAY, and TCP keepalive (60 s idle,
// then a probe every 10 s, 6 unanswered probes end it), so a peer that vanished without a word is noticed
// even while a reply is awaited without limit. A host name is looked up on the lookup pool, which a cancel
// walks away from.
std::unique_ptr<Transport> CreateTcpTransport(std::shared_ptr<Resolver> resolver = SystemResolver());

} // namespace korvel
