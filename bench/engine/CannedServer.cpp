#include "CannedServer.h"

#include "engine/wire/Message.h"
#include "engine/wire/RequestCodes.h"
#include "testing/LoopbackSocket.h"

#include <chrono>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace korvel::bench
{
namespace
{

Bytes ConnectParamsReply()
{
    MessageBuffer buffer;
    MessageWriter writer(buffer);
    writer.SetCode(0);
    writer.Begin();
    writer.AppendInt32(1);
    writer.AppendInt64(31100);
    writer.Finish(false);
    return Bytes(buffer.Data(), buffer.Data() + writer.Header().TotalSize);
}

} // namespace

CannedServer::CannedServer(Bytes reply) : reply_(std::move(reply))
{
    listenFd_ = test::ListenOnLoopback(port_);
    acceptor_ = std::thread([this] { Serve(); });
}

CannedServer::~CannedServer()
{
    stopping_ = true;
    acceptor_.join();
    for (std::thread& thread : threads_)
        thread.join();
    close(listenFd_);
}

void CannedServer::Serve()
{
    while (!stopping_)
    {
        pollfd entry{listenFd_, POLLIN, 0};
        if (poll(&entry, 1, 20) <= 0)
            continue;
        const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        threads_.emplace_back([this, fd] { ServeConnection(fd); });
    }
}

void CannedServer::ServeConnection(int fd)
{
    const Bytes handshakeReply = ConnectParamsReply();
    Bytes request(HeaderSize);
    // Ends when the client closes the connection.
    while (test::ReceiveAll(fd, request.data(), 4))
    {
        const MessageHeader header = DecodeHeader(request.data()); // TotalSize is in the first 4 bytes
        if (header.TotalSize < HeaderSize)
            break;
        request.resize(static_cast<std::size_t>(header.TotalSize));
        if (!test::ReceiveAll(fd, request.data() + 4, request.size() - 4))
            break;
        const bool handshake = DecodeHeader(request.data()).Code == REQUEST_CONNECTPARAMS;
        const Bytes& reply = handshake ? handshakeReply : reply_;
        if (!test::SendAll(fd, reply.data(), reply.size()))
            break;
    }
    close(fd);
}

double RawPingPong(std::uint16_t port, const Bytes& request, std::size_t replySize, std::int64_t count)
{
    const int fd = test::ConnectToLoopback(port);
    Bytes reply(replySize);
    const auto start = std::chrono::steady_clock::now();
    for (std::int64_t i = 0; i < count; ++i)
    {
        test::SendAll(fd, request.data(), request.size());
        test::ReceiveAll(fd, reply.data(), reply.size());
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    close(fd);
    return elapsed.count();
}

} // namespace korvel::bench
