#include "engine/ssh/SshConnection.h"

#include "engine/TunnelError.h"
#include "engine/ssh/JumpChain.h"
#include "engine/ssh/SshAuthentication.h"
#include "engine/ssh/SshHostKey.h"
#include "engine/ssh/SshLibraries.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <libssh/server.h> // ssh_send_keepalive, which clients may call too
#include <mutex>
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

std::string SshUnavailable(const std::string& server, const std::string& why)
{
    return "Cannot reach the SSH server " + server + ": SSH is not available on this computer (" + why + ")";
}

// A new libssh session, libssh opened and set up by the first.
ssh_session NewSession(const std::string& server)
{
    RequireSshLibraries(Libssh(), Libcrypto(), server);
    static std::once_flag initialised;
    std::call_once(initialised, [] { ssh_init(); });
    return ssh_new();
}

} // namespace

void RequireSshLibraries(platform::OnDemandLibrary& ssh, platform::OnDemandLibrary& crypto,
                         const std::string& server)
{
    for (platform::OnDemandLibrary* library : {&ssh, &crypto})
        if (!library->Available())
            throw TunnelError(TunnelFailure::Unreachable, SshUnavailable(server, library->Error()));
}

SshConnection::SshConnection(const SshSettings& settings, const SshAsk& ask,
                             const std::shared_ptr<Resolver>& resolver, int answerTimeoutMs,
                             const WaitLimits* limits, SshRoute route)
    : settings_(settings), session_(NewSession(settings.Host)), route_(std::move(route))
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

        Connect(ask, resolver, answerTimeoutMs, limits);
        CheckHostKey(*this, settings_, ask);
        Authenticate(*this, settings_, ask, answerTimeoutMs, limits);
    }
    catch (const platform::LibraryUnavailable& missing) // a libssh older than the one built against
    {
        Free();
        throw TunnelError(TunnelFailure::Unreachable, SshUnavailable(settings_.Host, missing.what()));
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
    // A ProxyCommand runs as our own child, never as libssh's; a ProxyJump is reached by us (Connect).
    proxyCommand_ = config_.ProxyCommand;
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
    jumps_.reset();
    proxy_.reset();
}

bool SshConnection::Alive() const
{
    return !givenUp_ && ssh_is_connected(session_) != 0 && (!jumps_ || jumps_->Alive());
}

void SshConnection::Connect(const SshAsk& ask, const std::shared_ptr<Resolver>& resolver, int timeoutMs,
                            const WaitLimits* limits)
{
    // The socket is ours either way, so libssh never starts a process of its own: a hop behind another
    // one of a chain runs over what the chain hands it (its own ProxyCommand and ProxyJump give way, as
    // with OpenSSH); a ProxyCommand runs as our child; a ProxyJump's hops are reached by us; otherwise the
    // socket is connected here, where the name lookup and the connect obey the limits.
    if (route_.Through)
        TakeSocket(route_.Through(hostName_, static_cast<int>(port_)));
    else if (!proxyCommand_.empty())
        StartProxyCommand();
    else if (!config_.ProxyJump.empty())
        StartJumps(ask, resolver, timeoutMs, limits);
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

void SshConnection::StartJumps(const SshAsk& ask, const std::shared_ptr<Resolver>& resolver, int timeoutMs,
                               const WaitLimits* limits)
{
    jumps_ = std::make_unique<JumpChain>(config_.ProxyJump, settings_, ask, resolver, timeoutMs, limits,
                                         route_.Depth);
    TakeSocket(jumps_->Open(hostName_, static_cast<int>(port_), timeoutMs, limits));
}

void SshConnection::TakeSocket(int fd)
{
    try
    {
        socket_ = HandedSocket(fd);
    }
    catch (const TransportError& error)
    {
        Fail(error.what());
    }
    ssh_options_set(session_, SSH_OPTIONS_FD, &fd);
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

std::vector<HostAddress> SshConnection::Addresses(const std::shared_ptr<Resolver>& resolver,
                                                  const WaitLimits* limits)
{
    // A numeric address needs no lookup (and no resolver that knows it); a name may stand for IPv6 and IPv4
    // addresses alike.
    HostAddress numeric;
    auto* peer6 = reinterpret_cast<sockaddr_in6*>(&numeric.Address);
    auto* peer4 = reinterpret_cast<sockaddr_in*>(&numeric.Address);
    if (inet_pton(AF_INET6, hostName_.c_str(), &peer6->sin6_addr) == 1)
    {
        peer6->sin6_family = AF_INET6;
        numeric.Size = sizeof(sockaddr_in6);
        return {numeric};
    }
    if (inet_pton(AF_INET, hostName_.c_str(), &peer4->sin_addr) == 1)
    {
        peer4->sin_family = AF_INET;
        numeric.Size = sizeof(sockaddr_in);
        return {numeric};
    }
    try
    {
        return ResolveHostAllWithin(resolver, hostName_, limits);
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

void SshConnection::ConnectSocket(const std::shared_ptr<Resolver>& resolver, int timeoutMs,
                                  const WaitLimits* limits)
{
    // Every address of the name in turn, as OpenSSH tries them, each within the time-out; the last one's
    // failure is the one told.
    std::string problem = "no address";
    const int family = config_.AddressFamily == "inet"    ? AF_INET
                       : config_.AddressFamily == "inet6" ? AF_INET6
                                                          : AF_UNSPEC;
    for (HostAddress& address : Addresses(resolver, limits))
    {
        if (family != AF_UNSPEC && address.Address.ss_family != family)
        {
            if (problem == "no address") // a real failure of another address says more
                problem = "no address of the family AddressFamily " + config_.AddressFamily + " names";
            continue;
        }
        const auto port = htons(static_cast<std::uint16_t>(port_));
        if (address.Address.ss_family == AF_INET6)
            reinterpret_cast<sockaddr_in6*>(&address.Address)->sin6_port = port;
        else
            reinterpret_cast<sockaddr_in*>(&address.Address)->sin_port = port;
        const int fd = socket(address.Address.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0)
        {
            problem = std::strerror(errno);
            continue;
        }
        socket_ = HandedSocket(fd);
        if (const std::optional<std::string> failed = ConnectTo(address, timeoutMs, limits))
        {
            problem = *failed;
            socket_.Close();
            continue;
        }
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        ssh_options_set(session_, SSH_OPTIONS_FD, &fd);
        return;
    }
    Fail(problem);
}

std::optional<std::string> SshConnection::ConnectTo(const HostAddress& address, int timeoutMs,
                                                    const WaitLimits* limits)
{
    const int fd = socket_.Fd();
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address.Address), address.Size) == 0)
        return std::nullopt;
    if (errno != EINPROGRESS && errno != EINTR)
        return std::strerror(errno);
    if (!PollWithin(fd, POLLOUT, timeoutMs, limits))
        return "no answer within " + std::to_string(timeoutMs / 1000) + " s";
    int error = 0;
    socklen_t size = sizeof error;
    getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size);
    if (error != 0)
        return std::strerror(error);
    return std::nullopt;
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
