#include "engine/ssh/SshConnection.h"

#include "engine/TunnelError.h"
#include "engine/ssh/SshAuthentication.h"
#include "engine/ssh/SshConfigText.h"
#include "engine/ssh/SshHostKey.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <libssh/server.h> // ssh_send_keepalive, which clients may call too
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace korvel
{
std::string HomeDirectory()
{
    const char* home = std::getenv("HOME");
    return home && *home ? home : "";
}

std::string ExpandHome(const std::string& path)
{
    const std::string home = HomeDirectory();
    if (home.empty() || (path != "~" && path.rfind("~/", 0) != 0))
        return path;
    return home + path.substr(1);
}

std::string SshOption(ssh_session session, ssh_options_e option)
{
    char* value = nullptr;
    if (ssh_options_get(session, option, &value) != SSH_OK || !value)
        return {};
    std::string text = value;
    ssh_string_free_char(value);
    return text;
}

namespace
{

// ProxyJump as OpenSSH runs it: the last hop reached through the ones before it, in the order given.
std::string JumpCommand(const SshHostConfig& config)
{
    std::string hops;
    std::string command = "ssh";
    for (const SshJump& hop : config.ProxyJump)
    {
        if (!sshconfig::ShellSafe(hop.User) || !sshconfig::ShellSafe(hop.Host))
            throw TunnelError(TunnelFailure::Unreachable, "The ProxyJump hop " + sshconfig::Shown(hop.Host) +
                                                              " holds characters a shell would act on");
        if (&hop == &config.ProxyJump.back())
            break;
        hops += (hops.empty() ? "" : ",") + SshTargetText(hop.User, hop.Host, hop.Port);
    }
    if (config.ProxyJump.empty())
        return {};
    const SshJump& last = config.ProxyJump.back();
    if (!hops.empty())
        command += " -J " + hops;
    if (!last.User.empty())
        command += " -l " + last.User;
    if (last.Port > 0)
        command += " -p " + std::to_string(last.Port);
    try
    {
        return sshconfig::ExpandCommand(command + " -W '[%h]:%p' " + last.Host,
                                        {{'h', config.HostName}, {'p', std::to_string(config.Port)}});
    }
    catch (const std::invalid_argument& problem)
    {
        throw TunnelError(TunnelFailure::Unreachable, std::string("ProxyJump: ") + problem.what());
    }
}

} // namespace

SshConnection::SshConnection(const SshSettings& settings, const SshAsk& ask,
                             const std::shared_ptr<Resolver>& resolver, int answerTimeoutMs,
                             const WaitLimits* limits)
    : settings_(settings), session_(ssh_new())
{
    if (!session_)
        throw TunnelError(TunnelFailure::Unreachable, "Cannot start an SSH session: out of memory");
    ssh_set_counters(session_, &received_, nullptr);
    try
    {
        if (const std::string home = HomeDirectory(); !home.empty())
            ssh_options_set(session_, SSH_OPTIONS_SSH_DIR, (home + "/.ssh").c_str());
        // The config is read here as OpenSSH reads it, never by libssh, whose reading differs.
        const bool no = false;
        ssh_options_set(session_, SSH_OPTIONS_PROCESS_CONFIG, &no);
        // Host keys are ours to decide (CheckHostKey): libssh's own answer must never count.
        const int strict = 1;
        ssh_options_set(session_, SSH_OPTIONS_STRICTHOSTKEYCHECK, &strict);
        try
        {
            config_ =
                ResolveSshConfig(settings_.Host, settings_.User, settings_.Port, DefaultSshConfigSources());
        }
        catch (const SshConfigError& error)
        {
            throw TunnelError(TunnelFailure::Unreachable, error.what());
        }
        HandToLibssh();

        hostName_ = config_.HostName;
        port_ = static_cast<unsigned int>(config_.Port);
        const std::string hostPort = SshTargetText("", hostName_, static_cast<int>(port_));
        serverName_ = hostName_ == settings_.Host ? hostPort : settings_.Host + " (" + hostPort + ")";

        Connect(resolver, answerTimeoutMs, limits);
        CheckHostKey(*this, settings_, ask);
        Authenticate(*this, settings_, ask, answerTimeoutMs, limits);
    }
    catch (...)
    {
        Free();
        throw;
    }
    heardBytes_ = received_.in_bytes; // the handshake's bytes, heard just now
    heardAt_ = std::chrono::steady_clock::now();
}

void SshConnection::HandToLibssh()
{
    if (ssh_options_set(session_, SSH_OPTIONS_HOST, config_.HostName.c_str()) != SSH_OK)
        throw TunnelError(TunnelFailure::Unreachable, "\"" + settings_.Host + "\" is not an SSH server name");
    const unsigned int port = static_cast<unsigned int>(config_.Port);
    ssh_options_set(session_, SSH_OPTIONS_PORT, &port);
    ssh_options_set(session_, SSH_OPTIONS_USER, config_.User.c_str());
    // A ProxyCommand (or ProxyJump) runs as our own child, never as libssh's.
    proxyCommand_ = config_.ProxyCommand.empty() ? JumpCommand(config_) : config_.ProxyCommand;
    // libssh puts each added key before the earlier ones: added last to first, the first one present leads
    // (the defaults name keys that need not exist).
    for (auto file = config_.IdentityFiles.rbegin(); file != config_.IdentityFiles.rend(); ++file)
        if (access(file->c_str(), F_OK) == 0)
            ssh_options_set(session_, SSH_OPTIONS_ADD_IDENTITY, file->c_str());
    // An explicitly given known_hosts file wins over the config's, as it always has.
    if (!settings_.KnownHostsFile.empty())
        config_.UserKnownHostsFiles = {ExpandHome(settings_.KnownHostsFile)};
    const std::string knownHosts =
        config_.UserKnownHostsFiles.empty() ? "" : config_.UserKnownHostsFiles.front();
    if (!knownHosts.empty())
        ssh_options_set(session_, SSH_OPTIONS_KNOWNHOSTS, knownHosts.c_str());
    if (!config_.GlobalKnownHostsFiles.empty())
        ssh_options_set(session_, SSH_OPTIONS_GLOBAL_KNOWNHOSTS,
                        config_.GlobalKnownHostsFiles.front().c_str());
}

SshConnection::~SshConnection()
{
    Free();
}

void SshConnection::Free()
{
    ssh_disconnect(session_);
    ssh_free(session_);
    socket_.Close();
    proxy_.reset();
}

void SshConnection::Connect(const std::shared_ptr<Resolver>& resolver, int timeoutMs,
                            const WaitLimits* limits)
{
    // The socket is ours either way, so libssh never starts a process of its own: a ProxyCommand (or a
    // ProxyJump, which libssh turns into one) runs as our child; otherwise the socket is connected here,
    // where the name lookup and the connect obey the limits.
    if (!proxyCommand_.empty())
        StartProxyCommand();
    else
        ConnectSocket(resolver, timeoutMs, limits);
    ssh_set_blocking(session_, 0);
    const std::optional<int> result =
        Drive([this] { return ssh_connect(session_); }, SSH_AGAIN, timeoutMs, limits);
    if (!result)
        Fail("no answer within " + std::to_string(timeoutMs / 1000) + " s");
    if (*result != SSH_OK)
        Fail(ConnectProblem());
}

std::string SshConnection::ConnectProblem()
{
    std::string problem = ssh_get_error(session_);
    if (proxy_)
    {
        proxy_->Stop(); // what it wrote is complete once it ended
        if (const std::string said = proxy_->Errors(); !said.empty())
            problem = "its ProxyCommand says: " + said;
    }
    return problem;
}

void SshConnection::StartProxyCommand()
{
    // Its tokens were expanded from checked values only, as the config was resolved.
    try
    {
        proxy_ = std::make_unique<ProxyCommand>(proxyCommand_);
        const int fd = proxy_->TakeSocket();
        socket_ = HandedSocket(fd);
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        ssh_options_set(session_, SSH_OPTIONS_FD, &fd);
    }
    catch (const TransportError& error)
    {
        Fail(error.what());
    }
}

void SshConnection::ConnectSocket(const std::shared_ptr<Resolver>& resolver, int timeoutMs,
                                  const WaitLimits* limits)
{
    // An SSH server may be an IPv6 address ([::1]:22); a name is looked up as the KORVEL connections are.
    sockaddr_storage peer{};
    socklen_t peerSize = sizeof(sockaddr_in);
    auto* peer6 = reinterpret_cast<sockaddr_in6*>(&peer);
    auto* peer4 = reinterpret_cast<sockaddr_in*>(&peer);
    if (inet_pton(AF_INET6, hostName_.c_str(), &peer6->sin6_addr) == 1)
    {
        peer6->sin6_family = AF_INET6;
        peer6->sin6_port = htons(static_cast<std::uint16_t>(port_));
        peerSize = sizeof(sockaddr_in6);
    }
    else
    {
        peer4->sin_family = AF_INET;
        peer4->sin_port = htons(static_cast<std::uint16_t>(port_));
        try
        {
            peer4->sin_addr.s_addr = ResolveHostWithin(resolver, hostName_, limits);
        }
        catch (const TransportInterrupted&)
        {
            throw;
        }
        catch (const TransportError& error)
        {
            Fail(error.what());
        }
    }
    const int fd = socket(peer.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        Fail(std::strerror(errno));
    socket_ = HandedSocket(fd);
    ssh_options_set(session_, SSH_OPTIONS_FD, &fd);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&peer), peerSize) != 0)
    {
        if (errno != EINPROGRESS && errno != EINTR)
            Fail(std::strerror(errno));
        if (!PollWithin(fd, POLLOUT, timeoutMs, limits))
            Fail("no answer within " + std::to_string(timeoutMs / 1000) + " s");
        int error = 0;
        socklen_t size = sizeof error;
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size);
        if (error != 0)
            Fail(std::strerror(error));
    }
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

bool SshConnection::WaitSocket(int timeoutMs, const WaitLimits* limits)
{
    const int fd = ssh_get_fd(session_);
    if (fd < 0)
        throw TunnelError(TunnelFailure::Lost,
                          "The connection to the SSH server " + serverName_ + " is closed");
    short events = POLLIN;
    if ((ssh_get_poll_flags(session_) & SSH_WRITE_PENDING) != 0)
        events |= POLLOUT;
    try
    {
        return PollWithin(fd, events, timeoutMs, limits);
    }
    catch (const TransportInterrupted&)
    {
        // Whatever was under way is left half done; a server that froze is not asked again.
        GiveUp();
        throw;
    }
}

bool SshConnection::WaitForInput(int timeoutMs, const WaitLimits* limits)
{
    using namespace std::chrono;
    if (settings_.KeepAliveSeconds <= 0)
        return WaitSocket(timeoutMs, limits);
    const auto interval = seconds(settings_.KeepAliveSeconds);
    const auto start = steady_clock::now();
    for (;;)
    {
        NoteHeard();
        // Silence counts from the last byte heard, whatever was sent since: a server that stopped
        // answering is given up after its keepalives however many requests went out meanwhile.
        const auto due = std::max(heardAt_, probedAt_) + interval;
        const auto now = steady_clock::now();
        if (now >= due)
        {
            Probe();
            continue;
        }
        std::int64_t sliceMs = ceil<milliseconds>(due - now).count();
        if (timeoutMs >= 0)
        {
            const std::int64_t left = timeoutMs - duration_cast<milliseconds>(now - start).count();
            if (left <= 0)
                return false;
            sliceMs = std::min(sliceMs, left);
        }
        if (WaitSocket(static_cast<int>(sliceMs), limits))
            return true; // the caller lets libssh read it; the counter sees it on the next wait
    }
}

void SshConnection::NoteHeard()
{
    // Counted by libssh as it reads, whoever made it read: a keepalive's reply may be taken in by the call
    // that sent the next one.
    if (received_.in_bytes != heardBytes_)
    {
        heardBytes_ = received_.in_bytes;
        heardAt_ = std::chrono::steady_clock::now();
        unanswered_ = 0;
    }
}

void SshConnection::Probe()
{
    if (unanswered_ >= settings_.KeepAliveMisses)
    {
        GiveUp();
        throw TunnelError(TunnelFailure::Lost, "The SSH server " + serverName_ + " stopped answering (" +
                                                   std::to_string(unanswered_) + " keepalives unanswered)");
    }
    // A keepalive asks for a reply. libssh's call sends only when no earlier one is still on record: once a
    // reply has been read, the first call clears it and the second sends; while one is unanswered, neither
    // sends, and its silence is what counts.
    ssh_send_keepalive(session_);
    ssh_send_keepalive(session_);
    probedAt_ = std::chrono::steady_clock::now();
    ++unanswered_;
}

void SshConnection::Fail(const std::string& problem) const
{
    throw TunnelError(TunnelFailure::Unreachable,
                      "Cannot reach the SSH server " + serverName_ + ": " + problem);
}

} // namespace korvel
