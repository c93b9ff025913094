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
#include "engine/ssh/HandedSocket.h"
#include "engine/ssh/ProxyCommand.h"
#include "engine/ssh/SshConfig.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <libssh/libssh.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvel
{

class JumpChain;

// How a session reaches its SSH server. A hop behind another one of a ProxyJump chain is reached over
// `Through`: given the host and port its config names, it returns a socket to them (a channel of the hop
// before it, pumped through a socket pair), which the session then owns.
struct SshRoute
{
    std::function<int(const std::string& host, int port)> Through; // empty: the session's own way
    int Depth = 0; // hops of chains already under way before this session, against a loop of ProxyJumps
};

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
                  int answerTimeoutMs, const WaitLimits* limits, SshRoute route = {});
    ~SshConnection();
    SshConnection(const SshConnection&) = delete;
    SshConnection& operator=(const SshConnection&) = delete;

    ssh_session Session() const { return session_; }
    // The host's settings as the config files give them (the caller's user and port winning).
    const SshHostConfig& Config() const { return config_; }
    // The SSH server as the person named it, for messages: "bastion:22", "alias (10.0.0.5:22)".
    const std::string& ServerName() const { return serverName_; }
    // False once the session ended, or was given up: its keepalives went unanswered, or a step on it was
    // cut short (by a cancel, the deadline or a time-out), which leaves libssh's state of it unknown.
    bool Alive() const;
    // Never used for a new channel again; the channels open on it go on while it lasts.
    void GiveUp() { givenUp_ = true; }

    // Runs a non-blocking libssh step until it returns something other than `again`, waiting on the
    // socket in between; nothing when a wait saw no answer for `timeoutMs`.
    template <typename Step>
    std::optional<int> Drive(Step step, int again, int timeoutMs, const WaitLimits* limits);

    // Waits until the socket has input (true) or `timeoutMs` passes (false; negative: no time-out). On the
    // way a server silent for the keepalive interval since the last byte heard from it is sent a
    // keepalive, and one that let them all go unanswered raises TunnelError(Lost).
    bool WaitForInput(int timeoutMs, const WaitLimits* limits);

private:
    // The resolved config as libssh's options; the caller's known_hosts file wins.
    void HandToLibssh();
    void Connect(const SshAsk& ask, const std::shared_ptr<Resolver>& resolver, int timeoutMs,
                 const WaitLimits* limits);
    void ConnectSocket(const std::shared_ptr<Resolver>& resolver, int timeoutMs, const WaitLimits* limits);
    // The addresses of the SSH server: its numeric one, or those its name stands for.
    std::vector<HostAddress> Addresses(const std::shared_ptr<Resolver>& resolver, const WaitLimits* limits);
    // Connects the socket to one address; what failed, or nothing when it is connected.
    std::optional<std::string> ConnectTo(const HostAddress& address, int timeoutMs, const WaitLimits* limits);
    // The config's ProxyJump hops, each reached and logged in to by us, and this session over the last.
    void StartJumps(const SshAsk& ask, const std::shared_ptr<Resolver>& resolver, int timeoutMs,
                    const WaitLimits* limits);
    // The socket `route_` hands over as the session's own.
    void TakeSocket(int fd);
    // The config's ProxyCommand, run by us, as the session's socket.
    void StartProxyCommand();
    // What ended the connect: the ProxyCommand's own words when it said something, else libssh's.
    std::string ConnectProblem();
    // One wait for the socket: input, or room for output libssh holds back. False after `timeoutMs`. A wait
    // the limits end gives the session up.
    bool WaitSocket(int timeoutMs, const WaitLimits* limits);
    // Any word from the server since the last look shows it alive.
    void NoteHeard();
    // The next keepalive, or TunnelError(Lost) once the allowed ones all went unanswered.
    void Probe();
    [[noreturn]] void Fail(const std::string& problem) const;
    // Ends the session and frees it, then closes what libssh left open of its socket.
    void Free();

    SshSettings settings_;
    SshHostConfig config_;
    ssh_session session_ = nullptr;
    HandedSocket socket_;
    std::string proxyCommand_;            // empty: the socket is connected by us
    std::unique_ptr<ProxyCommand> proxy_; // ended after the session and its socket
    SshRoute route_;
    std::unique_ptr<JumpChain> jumps_; // the hops before this session; ended after it
    std::string serverName_;
    std::string hostName_; // after the config: the name connected to and looked up in known_hosts
    unsigned int port_ = 22;
    ssh_counter_struct received_{}; // bytes and packets on the socket, kept up by libssh
    std::uint64_t heardBytes_ = 0;
    std::chrono::steady_clock::time_point heardAt_;  // when the server was last heard from
    std::chrono::steady_clock::time_point probedAt_; // when the last keepalive went out
    int unanswered_ = 0;                             // keepalives sent since the server was last heard
    std::atomic<bool> givenUp_ = false;              // never used for a new channel again
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
        {
            GiveUp(); // the step stays half done in libssh
            return std::nullopt;
        }
    }
}

} // namespace korvel
