// A socket handed to libssh (SSH_OPTIONS_FD), closed exactly once whatever libssh did with it. libssh 0.10
// closes such a socket on some paths (an error it meets, ssh_free after a connect began) and leaves it open
// on others (ssh_disconnect, a session freed before its connect): a second descriptor of the same socket,
// kept here, tells afterwards whether the handed one still names it.
#pragma once

namespace korvel
{

class HandedSocket
{
public:
    HandedSocket() = default;
    // Takes `fd`; raises TransportError (and closes it) when no second descriptor can be had.
    explicit HandedSocket(int fd);
    ~HandedSocket() { Close(); }
    HandedSocket(HandedSocket&& other) noexcept;
    HandedSocket& operator=(HandedSocket&& other) noexcept;
    HandedSocket(const HandedSocket&) = delete;
    HandedSocket& operator=(const HandedSocket&) = delete;

    int Fd() const { return fd_; }
    // Once libssh is done with the session (ssh_free): the handed descriptor is closed unless libssh
    // closed it, and the socket with it.
    void Close();

private:
    int fd_ = -1;
    int kept_ = -1; // the same socket: alive until Close, so its identity cannot pass to another file
};

} // namespace korvel
