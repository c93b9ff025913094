#include "bench/server/LoopbackEcho.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdexcept>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace korvel::bench
{

LoopbackEcho::LoopbackEcho()
{
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, SOMAXCONN) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("echo server: cannot listen");
    port_ = ntohs(address.sin_port);
    wake_ = eventfd(0, EFD_CLOEXEC);
    thread_ = std::thread([this] { Serve(); });
}

LoopbackEcho::~LoopbackEcho()
{
    std::uint64_t one = 1;
    if (::write(wake_, &one, sizeof one) != sizeof one)
        std::terminate();
    thread_.join();
    ::close(wake_);
    ::close(listener_);
}

void LoopbackEcho::Serve()
{
    int epoll = epoll_create1(EPOLL_CLOEXEC);
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = listener_;
    epoll_ctl(epoll, EPOLL_CTL_ADD, listener_, &event);
    event.data.fd = wake_;
    epoll_ctl(epoll, EPOLL_CTL_ADD, wake_, &event);
    std::vector<int> clients;
    epoll_event ready[64];
    std::uint8_t buffer[65536];
    for (bool running = true; running;)
    {
        int count = epoll_wait(epoll, ready, 64, -1);
        for (int i = 0; i < count; ++i)
        {
            int fd = ready[i].data.fd;
            if (fd == wake_)
                running = false;
            else if (fd == listener_)
            {
                int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
                int on = 1;
                setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
                event.data.fd = client;
                epoll_ctl(epoll, EPOLL_CTL_ADD, client, &event);
                clients.push_back(client);
            }
            else
            {
                ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
                if (got <= 0 || ::send(fd, buffer, static_cast<std::size_t>(got), MSG_NOSIGNAL) != got)
                    epoll_ctl(epoll, EPOLL_CTL_DEL, fd, nullptr);
            }
        }
    }
    for (int client : clients)
        ::close(client);
    ::close(epoll);
}

EchoClient::EchoClient(int port, std::size_t size) : message_(size, 0x5A)
{
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd_ < 0 || connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        throw std::runtime_error("echo client: cannot connect");
    int on = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

EchoClient::~EchoClient()
{
    ::close(fd_);
}

void EchoClient::RoundTrip()
{
    if (::send(fd_, message_.data(), message_.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(message_.size()))
        throw std::runtime_error("echo client: send failed");
    std::size_t got = 0;
    while (got < message_.size())
    {
        ssize_t n = ::recv(fd_, message_.data() + got, message_.size() - got, 0);
        if (n <= 0)
            throw std::runtime_error("echo client: connection lost");
        got += static_cast<std::size_t>(n);
    }
}

} // namespace korvel::bench
