#include "CannedServer.h"

#include "engine/wire/Message.h"
#include "engine/wire/RequestCodes.h"

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace korvel::bench
{
namespace
{

bool ReadFully(int fd, std::uint8_t* data, std::size_t size)
{
    for (std::size_t got = 0; got < size;)
    {
        const ssize_t n = recv(fd, data + got, size - got, 0);
        if (n <= 0)
            return false;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

bool WriteFully(int fd, const std::uint8_t* data, std::size_t size)
{
    for (std::size_t sent = 0; sent < size;)
    {
        const ssize_t n = send(fd, data + sent, size - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

int ConnectedSocket(std::uint16_t port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        throw std::runtime_error("cannot connect to the canned server");
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

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
    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listenFd_, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(listenFd_, 8) != 0 ||
        getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("canned server cannot listen");
    port_ = ntohs(address.sin_port);
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
    while (ReadFully(fd, request.data(), 4))
    {
        const MessageHeader header = DecodeHeader(request.data()); // TotalSize is in the first 4 bytes
        if (header.TotalSize < HeaderSize)
            break;
        request.resize(static_cast<std::size_t>(header.TotalSize));
        if (!ReadFully(fd, request.data() + 4, request.size() - 4))
            break;
        const bool handshake = DecodeHeader(request.data()).Code == REQUEST_CONNECTPARAMS;
        const Bytes& reply = handshake ? handshakeReply : reply_;
        if (!WriteFully(fd, reply.data(), reply.size()))
            break;
    }
    close(fd);
}

double RawPingPong(std::uint16_t port, const Bytes& request, std::size_t replySize, std::int64_t count)
{
    const int fd = ConnectedSocket(port);
    Bytes reply(replySize);
    const auto start = std::chrono::steady_clock::now();
    for (std::int64_t i = 0; i < count; ++i)
    {
        WriteFully(fd, request.data(), request.size());
        ReadFully(fd, reply.data(), reply.size());
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    close(fd);
    return elapsed.count();
}

} // namespace korvel::bench
