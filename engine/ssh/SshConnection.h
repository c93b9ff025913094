// One SSH session to the SSH server: connected through a socket whose every wait obeys the call's limits,
// host key checked, user authenticated. Channels to the KORVEL server are opened on it; it lives as long as
// the last of them and the tunnel that made it.
//
// libssh runs in non-blocking mode throughout: each of its steps is retried once the socket is ready, and
// the waits in between are PollWithin's, so a cancel or the deadline ends the connect, the authentication
// and every channel read alike.
#pragma once

#include "engine/CallLimits.h"
#include "engine/SshSettings.h"
#include "engine/Transport.h"
#include "engine/ssh/SshConfig.h"

#include <chrono>
#include <libssh/libssh.h>
#include <memory>
#include <optional>
#include <string>

namespace korvel
{

// $HOME, as a shell has it (empty when unset): `~` stands for it, not for the password database's home,
// which is libssh's own choice.
std::string HomeDirectory();
// `path` with a leading `~` read as $HOME.
std::string ExpandHome(const std::string& path);
// A text option of the session as libssh holds it now (after the config); empty when unset.
std::string SshOption(ssh_session session, ssh_options_e option);

class SshConnection
{
public:
    // Connects, checks the host key and logs in. Each wait for the SSH server gives up after
    // `answerTimeoutMs` of silence. Raises TunnelError, or TransportInterrupted when the limits end a wait.
    SshConnection(const SshSettings& settings, const SshAsk& ask, const std::shared_ptr<Resolver>& resolver,
                  int answerTimeoutMs, const WaitLimits* limits);
    ~SshConnection();
    SshConnection(const SshConnection&) = delete;
    SshConnection& operator=(const SshConnection&) = delete;

    ssh_session Session() const { return session_; }
    const SshHostConfig& Config() const { return config_; }
    // The SSH server as the person named it, for messages: "bastion:22", "alias (10.0.0.5:22)".
    const std::string& ServerName() const { return serverName_; }
    // False once the session ended, or was given up as dead.
    bool Alive() const { return !givenUp_ && ssh_is_connected(session_) != 0; }

    // Runs a non-blocking libssh step until it returns something other than `again`, waiting on the
    // socket in between; nothing when a wait saw no answer for `timeoutMs`.
    template <typename Step>
    std::optional<int> Drive(Step step, int again, int timeoutMs, const WaitLimits* limits);

    // Waits until the socket has input (true) or `timeoutMs` passes (false; negative: no time-out). On the
    // way a server silent for the keepalive interval is sent a keepalive, and one silent past the misses
    // raises TunnelError(Lost).
    bool WaitForInput(int timeoutMs, const WaitLimits* limits);
    // Something was sent that the server answers: silence is counted from now.
    void NoteSent() { silentSince_ = std::chrono::steady_clock::now(); }

private:
    void Connect(const std::shared_ptr<Resolver>& resolver, int timeoutMs, const WaitLimits* limits);
    void ConnectSocket(const std::shared_ptr<Resolver>& resolver, int timeoutMs, const WaitLimits* limits);
    bool UsesProxyCommand() const;
    // One wait for the socket: input, or room for output libssh holds back. False after `timeoutMs`.
    bool WaitSocket(int timeoutMs, const WaitLimits* limits);
    // Any word from the server since the last look shows it alive.
    void NoteHeard();
    void SendKeepAlive();
    [[noreturn]] void Fail(const std::string& problem) const;

    SshSettings settings_;
    SshHostConfig config_;
    ssh_session session_ = nullptr;
    std::string serverName_;
    std::string hostName_; // after the config: the name connected to and looked up in known_hosts
    unsigned int port_ = 22;
    ssh_counter_struct received_{}; // bytes and packets on the socket, kept up by libssh
    std::uint64_t heardBytes_ = 0;
    std::chrono::steady_clock::time_point silentSince_;
    bool givenUp_ = false; // the keepalives went unanswered: never used again
};

template <typename Step>
std::optional<int> SshConnection::Drive(Step step, int again, int timeoutMs, const WaitLimits* limits)
{
    for (;;)
    {
        const int result = step();
        if (result != again)
            return result;
        if (!WaitSocket(timeoutMs, limits))
            return std::nullopt;
    }
}

} // namespace korvel
