#include "bench/server/LoopbackEcho.h"

#include "testing/LoopbackSocket.h"

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
    listener_ = test::ListenOnLoopback(port_, SOMAXCONN);
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

EchoClient::EchoClient(int port, std::size_t size) : fd_(test::ConnectToLoopback(port)), message_(size, 0x5A)
{
}

EchoClient::~EchoClient()
{
    ::close(fd_);
}

void EchoClient::RoundTrip()
{
    if (!test::SendAll(fd_, message_.data(), message_.size()) ||
        !test::ReceiveAll(fd_, message_.data(), message_.size()))
        throw std::runtime_error("echo client: connection lost");
}

} // namespace korvel::bench
