#include "testing/LoopbackSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace korvel::test
{
namespace
{

sockaddr_in LoopbackAddress(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// A socket bound to an ephemeral port of 127.0.0.1, its port in `port`; -1 when that failed.
int BindToLoopback(std::uint16_t& port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = LoopbackAddress(0);
    socklen_t length = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    {
        if (fd >= 0)
            close(fd);
        return -1;
    }
    port = ntohs(address.sin_port);
    return fd;
}

} // namespace

int ListenOnLoopback(std::uint16_t& port, int backlog)
{
    const int fd = BindToLoopback(port);
    if (fd < 0 || listen(fd, backlog) != 0)
    {
        if (fd >= 0)
            close(fd);
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    return fd;
}

RefusingPort::RefusingPort() : fd_(BindToLoopback(port_))
{
    if (fd_ < 0)
        throw std::runtime_error("cannot bind to 127.0.0.1");
}

RefusingPort::~RefusingPort()
{
    close(fd_);
}

UnansweredListener::UnansweredListener() : listener_(ListenOnLoopback(port_, 0))
{
    try
    {
        queued_ = ConnectToLoopback(port_);
    }
    catch (...)
    {
        Close();
        throw;
    }
}

void UnansweredListener::Close()
{
    for (int* fd : {&queued_, &listener_})
        if (*fd >= 0)
        {
            close(*fd);
            *fd = -1;
        }
}

int ConnectToLoopback(int port, const char* source)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = LoopbackAddress(port);
    sockaddr_in local = LoopbackAddress(0);
    if (source != nullptr && fd >= 0 &&
        (inet_pton(AF_INET, source, &local.sin_addr) != 1 ||
         bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0))
    {
        close(fd);
        throw std::runtime_error(std::string("cannot bind to ") + source);
    }
    if (fd < 0 || connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
    {
        if (fd >= 0)
            close(fd);
        throw std::runtime_error("cannot connect to 127.0.0.1:" + std::to_string(port));
    }
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

bool SendAll(int fd, const std::uint8_t* data, std::size_t size)
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

bool ReceiveAll(int fd, std::uint8_t* data, std::size_t size)
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

} // namespace korvel::test
