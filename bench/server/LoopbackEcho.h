// The floor of every server benchmark: a one-thread epoll server on loopback that sends back whatever it
// receives, and a client that makes one round trip of a small message. A real server cannot beat it.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace korvel::bench
{

class LoopbackEcho
{
public:
    LoopbackEcho();
    ~LoopbackEcho();
    LoopbackEcho(const LoopbackEcho&) = delete;
    LoopbackEcho& operator=(const LoopbackEcho&) = delete;

    int Port() const { return port_; }

private:
    void Serve();

    int listener_ = -1;
    int wake_ = -1;
    std::uint16_t port_ = 0;
    std::thread thread_;
};

// One blocking loopback connection with TCP_NODELAY that sends `size` bytes and reads as many back.
class EchoClient
{
public:
    EchoClient(int port, std::size_t size);
    ~EchoClient();
    EchoClient(const EchoClient&) = delete;
    EchoClient& operator=(const EchoClient&) = delete;

    void RoundTrip();

private:
    int fd_ = -1;
    std::vector<std::uint8_t> message_;
};

} // namespace korvel::bench
