#include "bench/ssh/SshWRelay.h"

#include "engine/ssh/ProxyCommand.h"
#include "testing/LoopbackSocket.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace korvel::bench
{
namespace
{

// Copies what one side sends to the other until either ends.
void Copy(int a, int b)
{
    char buffer[64 * 1024];
    for (;;)
    {
        pollfd fds[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0)
            return;
        for (int side = 0; side < 2; ++side)
            if (fds[side].revents != 0)
            {
                const ssize_t got = read(fds[side].fd, buffer, sizeof buffer);
                if (got <= 0)
                    return;
                for (ssize_t sent = 0; sent < got;)
                {
                    const ssize_t written =
                        write(fds[1 - side].fd, buffer + sent, static_cast<size_t>(got - sent));
                    if (written <= 0)
                        return;
                    sent += written;
                }
            }
    }
}

} // namespace

SshWRelay::SshWRelay(std::string ssh, int target)
    : command_(std::move(ssh) + " -W 127.0.0.1:" + std::to_string(target))
{
    std::uint16_t port = 0;
    listener_ = test::ListenOnLoopback(port);
    port_ = port;
    acceptor_ = std::thread([this] { Accept(); });
}

SshWRelay::~SshWRelay()
{
    stopping_ = true;
    shutdown(listener_, SHUT_RDWR);
    acceptor_.join();
    close(listener_);
    for (std::thread& relay : relays_)
        relay.join();
}

void SshWRelay::Accept()
{
    for (;;)
    {
        const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0 || stopping_)
        {
            if (client >= 0)
                close(client);
            return;
        }
        std::lock_guard lock(mutex_);
        relays_.emplace_back([this, client] { Relay(client); });
    }
}

void SshWRelay::Relay(int client)
{
    try
    {
        ProxyCommand ssh(command_);
        const int fd = ssh.TakeSocket();
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        Copy(client, fd);
        close(fd);
    }
    catch (const std::exception&)
    {
    }
    close(client);
}

bool RunQuietly(const std::vector<std::string>& args, const std::vector<std::string>& environment)
{
    std::vector<std::string> variables = environment;
    for (char** entry = environ; *entry; ++entry)
        variables.emplace_back(*entry); // the first of a name counts: those given win
    std::vector<char*> argv;
    std::vector<char*> envp;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    for (const std::string& variable : variables)
        envp.push_back(const_cast<char*>(variable.c_str()));
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int started = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    return started == 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace korvel::bench
