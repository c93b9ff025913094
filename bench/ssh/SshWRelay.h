// OpenSSH's `ssh -W` started per connection, as a script reaching a server through a bastion does it: a
// loopback port whose every connection is relayed to a new `ssh ... -W 127.0.0.1:TARGET HOST` child, which
// ends with the connection.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace korvel::bench
{

class SshWRelay
{
public:
    // `ssh` is the command line up to `-W` (options and host come after it), run by /bin/sh.
    SshWRelay(std::string ssh, int target);
    ~SshWRelay();
    SshWRelay(const SshWRelay&) = delete;
    SshWRelay& operator=(const SshWRelay&) = delete;

    int Port() const { return port_; }

private:
    void Accept();
    void Relay(int client);

    std::string command_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_ = false;
    std::mutex mutex_;
    std::vector<std::thread> relays_;
    std::thread acceptor_; // last: starts once everything else exists
};

// Runs a program with extra environment variables, its output thrown away; whether it exited with 0.
bool RunQuietly(const std::vector<std::string>& args, const std::vector<std::string>& environment);

} // namespace korvel::bench
