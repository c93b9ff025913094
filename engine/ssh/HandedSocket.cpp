#include "engine/ssh/HandedSocket.h"

#include "engine/Transport.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace korvel
{
namespace
{

bool SameFile(int a, int b)
{
    struct stat first
    {
    };
    struct stat second
    {
    };
    return fstat(a, &first) == 0 && fstat(b, &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

} // namespace

HandedSocket::HandedSocket(int fd) : fd_(fd), kept_(fcntl(fd, F_DUPFD_CLOEXEC, 0))
{
    if (kept_ < 0)
    {
        const int error = errno;
        close(fd_);
        fd_ = -1;
        throw TransportError(std::string("Cannot keep a socket: ") + std::strerror(error));
    }
}

HandedSocket::HandedSocket(HandedSocket&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), kept_(std::exchange(other.kept_, -1))
{
}

HandedSocket& HandedSocket::operator=(HandedSocket&& other) noexcept
{
    if (this != &other)
    {
        Close();
        fd_ = std::exchange(other.fd_, -1);
        kept_ = std::exchange(other.kept_, -1);
    }
    return *this;
}

void HandedSocket::Close()
{
    if (fd_ < 0)
        return;
    // While the kept descriptor lives no other file can have this socket's identity, so a number libssh
    // closed (and another thread reused since) is never closed twice.
    if (SameFile(fd_, kept_))
        close(fd_);
    close(kept_);
    fd_ = kept_ = -1;
}

} // namespace korvel
