// A minimal server for benchmarks: it reads each message by its length and answers CONNECTPARAMS with a
// session id and version, and everything else with one fixed reply. The raw ping-pong floor and the remote
// session talk to the same server, so the ratio shows the client's own cost.
#pragma once

#include <cstdint>
#include <thread>
#include <vector>

namespace korvel::bench
{

using Bytes = std::vector<std::uint8_t>;

class CannedServer
{
public:
    // `reply` is sent, as it is, for every request but CONNECTPARAMS.
    explicit CannedServer(Bytes reply);
    ~CannedServer();
    CannedServer(const CannedServer&) = delete;
    CannedServer& operator=(const CannedServer&) = delete;

    std::uint16_t Port() const { return port_; }

private:
    void Serve();
    void ServeConnection(int fd);

    Bytes reply_;
    int listenFd_ = -1;
    std::uint16_t port_ = 0;
    std::vector<std::thread> threads_;
    std::thread acceptor_;
    volatile bool stopping_ = false;
};

// A plain client: connects with TCP_NODELAY, writes `request` and reads `replySize` bytes, `count` times.
// Returns the seconds it took.
double RawPingPong(std::uint16_t port, const Bytes& request, std::size_t replySize, std::int64_t count);

} // namespace korvel::bench
