#include "testing/SshServer.h"

#include <algorithm>

#include "testing/LoopbackSocket.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace korvel::test
{
namespace
{

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

int ListenOnIpv6Loopback(std::uint16_t& port)
{
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    socklen_t size = sizeof address;
    const int fd = socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 || listen(fd, 128) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0)
    {
        if (fd >= 0)
            close(fd);
        throw std::runtime_error("cannot listen on [::1]");
    }
    port = ntohs(address.sin6_port);
    return fd;
}

std::vector<char*> Pointers(std::vector<std::string>& strings)
{
    std::vector<char*> pointers;
    for (std::string& text : strings)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

} // namespace

std::string RunProgram(const std::vector<std::string>& args, const std::vector<std::string>& environment)
{
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    std::vector<std::string> argv = args;
    std::vector<std::string> envp;
    for (char** entry = environ; *entry; ++entry)
        envp.emplace_back(*entry);
    envp.insert(envp.end(), environment.begin(), environment.end());
    std::vector<char*> argp = Pointers(argv);
    std::vector<char*> envpp = Pointers(envp);
    const pid_t pid = fork();
    if (pid == 0)
    {
        dup2(out[1], STDOUT_FILENO);
        const int null = open("/dev/null", O_RDONLY);
        dup2(null, STDIN_FILENO);
        execvpe(argp[0], argp.data(), envpp.data());
        _exit(127);
    }
    close(out[1]);
    std::string output;
    char chunk[4096];
    for (ssize_t got; (got = read(out[0], chunk, sizeof chunk)) != 0;)
        if (got > 0)
            output.append(chunk, static_cast<std::size_t>(got));
        else if (errno != EINTR)
            break;
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error(args[0] + " failed: " + output);
    return output;
}

void GenerateKey(const std::string& path, const std::string& passphrase)
{
    std::filesystem::remove(path);
    std::filesystem::remove(path + ".pub");
    RunProgram({"ssh-keygen", "-q", "-t", "ed25519", "-N", passphrase, "-C", "korvel-test", "-f", path});
}

std::string KeyFingerprint(const std::string& publicKeyFile)
{
    // "256 SHA256:... comment (ED25519)"
    std::istringstream words(RunProgram({"ssh-keygen", "-l", "-E", "sha256", "-f", publicKeyFile}));
    std::string bits, fingerprint;
    words >> bits >> fingerprint;
    return fingerprint;
}

SshServer::SshServer(SshServerOptions options) : options_(std::move(options)), dir_("korvel-sshd")
{
    // sshd running as root separates privileges through this directory; a machine that never ran its own
    // sshd since boot has none.
    if (geteuid() == 0)
        mkdir("/run/sshd", 0755);
    RunProgram({"ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", dir_ / "host_ed25519"});
    WriteConfig();
    std::uint16_t port = 0;
    listener_ = options_.Ipv6 ? ListenOnIpv6Loopback(port) : ListenOnLoopback(port);
    port_ = port;
    stopFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    acceptor_ = std::thread([this] { Accept(); });
}

SshServer::~SshServer()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(stopFd_, &one, sizeof one);
    acceptor_.join();
    KillSessions();
    std::vector<std::thread> relays;
    {
        std::lock_guard guard(mutex_);
        relays.swap(relays_);
    }
    for (std::thread& relay : relays)
        relay.join();
    for (int socket : heldSockets_)
        close(socket);
    close(listener_);
    close(stopFd_);
}

void SshServer::WriteConfig()
{
    std::ofstream keys(dir_ / "authorized_keys");
    for (const std::string& file : options_.AuthorizedKeys)
        keys << ReadFile(file);
    std::ofstream config(dir_ / "sshd_config");
    config << "HostKey " << (dir_ / "host_ed25519") << "\n"
           << "AuthorizedKeysFile " << (dir_ / "authorized_keys") << "\n"
           << "StrictModes no\nUsePAM no\nPasswordAuthentication no\nKbdInteractiveAuthentication no\n"
           << "PermitRootLogin prohibit-password\nPidFile none\nLogLevel VERBOSE\n"
           << "AllowTcpForwarding " << (options_.AllowTcpForwarding ? "yes" : "no") << "\n"
           << "MaxAuthTries " << options_.MaxAuthTries << "\n";
}

std::string SshServer::KnownHostsLine() const
{
    std::string key = ReadFile(HostPublicKeyFile());
    key = key.substr(0, key.find(' ', key.find(' ') + 1)); // type and key, without the comment
    return "[" + Address() + "]:" + std::to_string(port_) + " " + key;
}

bool SshServer::OnlyKnownHostIn(const std::string& knownHosts) const
{
    const std::string line = KnownHostsLine();
    return knownHosts.ends_with(line.substr(line.find(' ')) + "\n") &&
           std::count(knownHosts.begin(), knownHosts.end(), '\n') == 1;
}

void SshServer::ReplaceHostKey()
{
    std::lock_guard guard(mutex_);
    std::filesystem::remove(dir_ / "host_ed25519");
    std::filesystem::remove(dir_ / "host_ed25519.pub");
    RunProgram({"ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", dir_ / "host_ed25519"});
}

void SshServer::KillSessions()
{
    Signal(SIGKILL);
}

void SshServer::PauseSessions()
{
    Signal(SIGSTOP);
}

void SshServer::Signal(int signal)
{
    std::lock_guard guard(mutex_);
    for (pid_t pid : sshds_)
        kill(pid, signal);
}

std::string SshServer::Recorded() const
{
    std::lock_guard guard(mutex_);
    return recorded_;
}

std::string SshServer::Log() const
{
    return ReadFile(dir_ / "sshd.log");
}

int SshServer::OpenConnections()
{
    std::lock_guard guard(mutex_);
    std::erase_if(heldSockets_,
                  [](int socket)
                  {
                      pollfd ready{socket, POLLRDHUP, 0};
                      if (poll(&ready, 1, 0) == 0)
                          return false;
                      close(socket);
                      return true;
                  });
    return relaying_ + static_cast<int>(heldSockets_.size());
}

void SshServer::Accept()
{
    for (;;)
    {
        pollfd ready[2] = {{listener_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        if (poll(ready, 2, -1) < 0 && errno != EINTR)
            return;
        if (ready[1].revents != 0)
            return;
        if (ready[0].revents == 0)
            continue;
        const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        ++connections_;
        std::lock_guard guard(mutex_);
        if (silent_)
        {
            heldSockets_.push_back(client);
            continue;
        }
        int pair[2];
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        {
            close(client);
            continue;
        }
        const pid_t sshd = StartSshd(pair[1]);
        close(pair[1]);
        sshds_.push_back(sshd);
        ++relaying_;
        relays_.emplace_back([this, client, server = pair[0], sshd] { Relay(client, server, sshd); });
    }
}

pid_t SshServer::StartSshd(int socket)
{
    std::vector<std::string> args{"/usr/sbin/sshd",     "-i", "-f",
                                  dir_ / "sshd_config", "-E", dir_ / "sshd.log"};
    std::vector<char*> argp = Pointers(args);
    const pid_t pid = fork();
    if (pid == 0)
    {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        dup2(socket, STDIN_FILENO);
        dup2(socket, STDOUT_FILENO);
        execv(argp[0], argp.data());
        _exit(127);
    }
    return pid;
}

void SshServer::Relay(int client, int server, pid_t sshd)
{
    // Each direction on a thread of its own, as on a network: a side slow to read never holds up the other.
    std::thread toClient([&] { Copy(server, client); });
    Copy(client, server);
    toClient.join();
    close(client);
    close(server);
    {
        std::lock_guard guard(mutex_);
        std::erase(sshds_, sshd);
        --relaying_;
    }
    kill(sshd, SIGKILL); // gone already unless the client left first; reaped only below, so never another's
    waitpid(sshd, nullptr, 0);
}

void SshServer::Copy(int from, int to)
{
    char buffer[65536];
    for (;;)
    {
        pollfd ready[2] = {{from, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        if (poll(ready, 2, -1) < 0)
        {
            if (errno == EINTR)
                continue;
            break;
        }
        if (ready[1].revents != 0)
            break;
        const ssize_t got = read(from, buffer, sizeof buffer);
        if (got <= 0)
            break;
        if (options_.Record)
        {
            std::lock_guard guard(mutex_);
            recorded_.append(buffer, static_cast<std::size_t>(got));
        }
        if (!SendAll(to, reinterpret_cast<const std::uint8_t*>(buffer), static_cast<std::size_t>(got)))
            break;
    }
    // The other direction ends too: it reads the end of its stream next.
    shutdown(from, SHUT_RDWR);
    shutdown(to, SHUT_RDWR);
}

} // namespace korvel::test
