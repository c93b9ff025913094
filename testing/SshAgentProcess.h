// A private ssh-agent for a test, listening on a socket of the test's own, never the user's.
#pragma once

#include <string>
#include <sys/types.h>

namespace korvel::test
{

class SshAgentProcess
{
public:
    explicit SshAgentProcess(const std::string& socket); // returns once it listens
    ~SshAgentProcess();
    SshAgentProcess(const SshAgentProcess&) = delete;
    SshAgentProcess& operator=(const SshAgentProcess&) = delete;

    void Add(const std::string& key) const;
    const std::string& Socket() const { return socket_; }
    std::string Environment() const { return "SSH_AUTH_SOCK=" + socket_; }

private:
    std::string socket_;
    pid_t pid_ = -1;
};

} // namespace korvel::test
