#include "engine/ssh/SshConnection.h"

#include "engine/TunnelError.h"
#include "engine/ssh/SshAuthentication.h"
#include "engine/ssh/SshHostKey.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <libssh/server.h> // ssh_send_keepalive, which clients may call too
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>

namespace korvel
{
namespace
{

// What authentication needs of the host's settings, until the config is resolved as OpenSSH resolves it:
// the key files and IdentitiesOnly of ~/.ssh/config's lines before its first Host or Match, in their order,
// then the key file libssh read for the host; else the usual key files.
SshHostConfig KeySettings(ssh_session session)
{
    SshHostConfig config;
    const std::string sshDir = HomeDirectory() + "/.ssh";
    std::ifstream in(sshDir + "/config");
    for (std::string line; std::getline(in, line);)
    {
        std::istringstream words(line);
        std::string keyword, value;
        words >> keyword >> value;
        std::ranges::transform(keyword, keyword.begin(), [](unsigned char c) { return std::tolower(c); });
        if (keyword == "host" || keyword == "match")
            break;
        if (keyword == "identityfile")
            config.IdentityFiles.push_back(ExpandHome(value));
        else if (keyword == "identitiesonly")
            config.IdentitiesOnly = value == "yes";
    }
    if (const std::string file = ExpandHome(SshOption(session, SSH_OPTIONS_IDENTITY));
        !file.empty() && !file.starts_with("%d/") && std::ranges::count(config.IdentityFiles, file) == 0)
        config.IdentityFiles.push_back(file);
    if (config.IdentityFiles.empty())
        for (const char* name : {"/id_rsa", "/id_ecdsa", "/id_ecdsa_sk", "/id_ed25519", "/id_ed25519_sk"})
            config.IdentityFiles.push_back(sshDir + name);
    return config;
}

} // namespace

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
        {
            ssh_options_set(session_, SSH_OPTIONS_SSH_DIR, (home + "/.ssh").c_str());
            ssh_options_set(session_, SSH_OPTIONS_KNOWNHOSTS, (home + "/.ssh/known_hosts").c_str());
        }
        if (ssh_options_set(session_, SSH_OPTIONS_HOST, settings_.Host.c_str()) != SSH_OK)
            throw TunnelError(TunnelFailure::Unreachable,
                              "\"" + settings_.Host + "\" is not an SSH server name");
        // ~/.ssh/config (the SSH directory's) and the system's; what the caller gave explicitly wins.
        ssh_options_parse_config(session_, nullptr);
        if (settings_.Port > 0)
        {
            const unsigned int port = static_cast<unsigned int>(settings_.Port);
            ssh_options_set(session_, SSH_OPTIONS_PORT, &port);
        }
        if (!settings_.User.empty())
            ssh_options_set(session_, SSH_OPTIONS_USER, settings_.User.c_str());
        const std::string knownHosts =
            ExpandHome(settings_.KnownHostsFile.empty() ? SshOption(session_, SSH_OPTIONS_KNOWNHOSTS)
                                                        : settings_.KnownHostsFile);
        ssh_options_set(session_, SSH_OPTIONS_KNOWNHOSTS, knownHosts.c_str());

        hostName_ = SshOption(session_, SSH_OPTIONS_HOST);
        ssh_options_get_port(session_, &port_);
        const std::string hostPort = hostName_ + ":" + std::to_string(port_);
        serverName_ = hostName_ == settings_.Host ? hostPort : settings_.Host + " (" + hostPort + ")";

        config_ = KeySettings(session_);
        config_.HostName = hostName_;
        config_.Port = static_cast<int>(port_);
        config_.User = SshOption(session_, SSH_OPTIONS_USER);

        Connect(resolver, answerTimeoutMs, limits);
        CheckHostKey(*this, settings_, ask);
        Authenticate(*this, settings_, ask, answerTimeoutMs, limits);
    }
    catch (...)
    {
        ssh_disconnect(session_); // also ends a ProxyCommand's process
        ssh_free(session_);
        throw;
    }
    NoteSent();
}

SshConnection::~SshConnection()
{
    ssh_disconnect(session_);
    ssh_free(session_);
}

void SshConnection::Connect(const std::shared_ptr<Resolver>& resolver, int timeoutMs,
                            const WaitLimits* limits)
{
    // With a ProxyCommand (or a ProxyJump, which libssh turns into one) libssh starts the command itself;
    // otherwise the socket is connected here, where the name lookup and the connect obey the limits.
    if (!UsesProxyCommand())
        ConnectSocket(resolver, timeoutMs, limits);
    ssh_set_blocking(session_, 0);
    const std::optional<int> result =
        Drive([this] { return ssh_connect(session_); }, SSH_AGAIN, timeoutMs, limits);
    if (!result)
        Fail("no answer within " + std::to_string(timeoutMs / 1000) + " s");
    if (*result != SSH_OK)
        Fail(ssh_get_error(session_));
}

bool SshConnection::UsesProxyCommand() const
{
    const std::string command = SshOption(session_, SSH_OPTIONS_PROXYCOMMAND);
    return !command.empty() && command != "none";
}

void SshConnection::ConnectSocket(const std::shared_ptr<Resolver>& resolver, int timeoutMs,
                                  const WaitLimits* limits)
{
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(static_cast<std::uint16_t>(port_));
    try
    {
        peer.sin_addr.s_addr = ResolveHostWithin(resolver, hostName_, limits);
    }
    catch (const TransportInterrupted&)
    {
        throw;
    }
    catch (const TransportError& error)
    {
        Fail(error.what());
    }
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        Fail(std::strerror(errno));
    // From here libssh owns the socket and closes it with the session.
    ssh_options_set(session_, SSH_OPTIONS_FD, &fd);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0)
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
    return PollWithin(fd, events, timeoutMs, limits);
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
        const auto now = steady_clock::now();
        const auto beats = (now - silentSince_) / interval;
        int sliceMs =
            static_cast<int>(ceil<milliseconds>(silentSince_ + interval * (beats + 1) - now).count());
        if (timeoutMs >= 0)
        {
            const auto left = timeoutMs - duration_cast<milliseconds>(now - start).count();
            if (left <= 0)
                return false;
            sliceMs = static_cast<int>(std::min<std::int64_t>(sliceMs, left));
        }
        if (WaitSocket(sliceMs, limits))
            return true; // the caller lets libssh read it; the counter sees it on the next wait
        NoteHeard();
        const auto missed = (steady_clock::now() - silentSince_) / interval;
        if (missed > beats)
        {
            if (missed > settings_.KeepAliveMisses)
            {
                givenUp_ = true;
                throw TunnelError(TunnelFailure::Lost,
                                  "The SSH server " + serverName_ + " stopped answering (" +
                                      std::to_string(settings_.KeepAliveMisses) + " keepalives unanswered)");
            }
            SendKeepAlive();
        }
    }
}

void SshConnection::NoteHeard()
{
    // Counted by libssh as it reads, whoever made it read: a keepalive's reply may be taken in by the call
    // that sent the next one.
    if (received_.in_bytes != heardBytes_)
    {
        heardBytes_ = received_.in_bytes;
        silentSince_ = std::chrono::steady_clock::now();
    }
}

void SshConnection::SendKeepAlive()
{
    // A keepalive asks for a reply. libssh's call sends only when no earlier one is still on record: once a
    // reply has been read, the first call clears it and the second sends; while one is unanswered, neither
    // sends, and its silence is what counts.
    ssh_send_keepalive(session_);
    ssh_send_keepalive(session_);
}

void SshConnection::Fail(const std::string& problem) const
{
    throw TunnelError(TunnelFailure::Unreachable,
                      "Cannot reach the SSH server " + serverName_ + ": " + problem);
}

} // namespace korvel
