// A ProxyCommand run by us rather than by libssh, which gives the child the password database's home, loses
// its standard error and waits for its end without a limit: `/bin/sh -c COMMAND` in a process group of its
// own with our environment ($HOME as ours), its standard input and output one end of a socket pair whose
// other end becomes the SSH session's socket, its standard error kept (the last 4 KiB) for the message of a
// failure. Ending it sends SIGTERM, then SIGKILL after a grace, and reaps it within a bound.
#pragma once

#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>

namespace korvel
{

class ProxyCommand
{
public:
    // Starts `command`. Raises TransportError when it cannot.
    explicit ProxyCommand(const std::string& command);
    ~ProxyCommand() { Stop(); }
    ProxyCommand(const ProxyCommand&) = delete;
    ProxyCommand& operator=(const ProxyCommand&) = delete;

    // Our end of the socket pair, handed over once: its closing is the taker's.
    int TakeSocket();
    // Ends the command's process group and reaps it; what it wrote to its standard error is complete then.
    void Stop();
    // The last of what the command wrote to its standard error, one line per line, trimmed.
    std::string Errors() const;

private:
    void ReadErrors(int pipe);

    pid_t pid_ = -1;
    int pidFd_ = -1;
    int socket_ = -1;
    int stopFd_ = -1; // tells the reader to take what is left and end
    mutable std::mutex mutex_;
    std::string errors_;
    std::thread reader_;
};

} // namespace korvel
