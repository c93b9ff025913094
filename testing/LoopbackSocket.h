// Plain blocking sockets on 127.0.0.1 for test peers, raw test clients and the benchmarks' floors.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korvel::test
{

// A listening socket on an ephemeral port of 127.0.0.1; its port goes to `port`. Throws when it cannot
// listen.
int ListenOnLoopback(std::uint16_t& port, int backlog = 128);
// A port of 127.0.0.1 that refuses every connection: bound, so that nothing else can take it while this
// lives, and never listening.
class RefusingPort
{
public:
    RefusingPort(); // throws when it cannot bind
    ~RefusingPort();
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;
    std::uint16_t Port() const { return port_; }

private:
    std::uint16_t port_ = 0;
    int fd_;
};

// A connection to 127.0.0.1:`port` with TCP_NODELAY set, from `source` (another 127.x.y.z address) when
// given. Throws when it cannot connect.
int ConnectToLoopback(int port, const char* source = nullptr);
// A listener on 127.0.0.1 whose queue is full (a backlog of 0 and one connection waiting in it): a connect to
// it gets no answer to its handshake, as from a host that drops every packet, until Close resets it.
class UnansweredListener
{
public:
    UnansweredListener(); // throws when it cannot listen
    ~UnansweredListener() { Close(); }
    UnansweredListener(const UnansweredListener&) = delete;
    UnansweredListener& operator=(const UnansweredListener&) = delete;
    std::uint16_t Port() const { return port_; }
    void Close();

private:
    std::uint16_t port_ = 0;
    int listener_ = -1;
    int queued_ = -1;
};

// Sends or receives exactly `size` bytes; false when the connection fails or closes first.
bool SendAll(int fd, const std::uint8_t* data, std::size_t size);
bool ReceiveAll(int fd, std::uint8_t* data, std::size_t size);

} // namespace korvel::test
