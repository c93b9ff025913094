#include "engine/ssh/ProxyCommand.h"

#include "engine/Transport.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace korvel
{
namespace
{

constexpr std::size_t ErrorsKept = 4096;
constexpr int GraceMs = 1000; // after SIGTERM, and again after SIGKILL for the reaping

[[noreturn]] void Raise(const char* what)
{
    throw TransportError(std::string("Cannot start the ProxyCommand: ") + what + ": " + std::strerror(errno));
}

// Waits up to `ms` for the process behind `pidFd` to end.
bool Ends(int pidFd, int ms)
{
    pollfd ready{pidFd, POLLIN, 0};
    while (poll(&ready, 1, ms) < 0 && errno == EINTR)
        ;
    return ready.revents != 0;
}

} // namespace

ProxyCommand::ProxyCommand(const std::string& command)
{
    stopFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stopFd_ < 0)
        Raise("eventfd");
    int pair[2];
    int errors[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
    {
        close(stopFd_);
        Raise("socketpair");
    }
    if (pipe2(errors, O_CLOEXEC) != 0)
    {
        close(stopFd_);
        close(pair[0]);
        close(pair[1]);
        Raise("pipe");
    }
    const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
    pid_ = fork();
    if (pid_ == 0)
    {
        // Only async-signal-safe calls from here: the parent may have threads. The signals a program blocks
        // or ignores for its own handling (the exporter's SIGTERM, SIGPIPE) are the command's again.
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        signal(SIGPIPE, SIG_DFL);
        setpgid(0, 0);
        dup2(pair[1], STDIN_FILENO);
        dup2(pair[1], STDOUT_FILENO);
        dup2(errors[1], STDERR_FILENO);
        execv(argv[0], const_cast<char* const*>(argv));
        _exit(127);
    }
    close(pair[1]);
    close(errors[1]);
    socket_ = pair[0];
    if (pid_ < 0)
    {
        close(stopFd_);
        close(socket_);
        close(errors[0]);
        Raise("fork");
    }
    setpgid(pid_, pid_); // also here, so a signal to the group cannot precede the child's own call
    pidFd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0)); // glibc 2.36 declares it without C linkage
    reader_ = std::thread([this, pipe = errors[0]] { ReadErrors(pipe); });
}

int ProxyCommand::TakeSocket()
{
    const int socket = socket_;
    socket_ = -1;
    return socket;
}

void ProxyCommand::Stop()
{
    if (pid_ <= 0)
        return;
    if (socket_ >= 0)
        close(socket_);
    socket_ = -1;
    // The whole group: the shell may have left the command (or its own children) behind it. Once the shell
    // ended (or the grace passed), whatever is left of the group is killed.
    kill(-pid_, SIGTERM);
    const bool ended = pidFd_ >= 0 && Ends(pidFd_, GraceMs);
    kill(-pid_, SIGKILL);
    if (!ended && pidFd_ >= 0)
        Ends(pidFd_, GraceMs);
    // Not reaped only when even SIGKILL did not end it in time: it stays a zombie rather than hold us.
    waitpid(pid_, nullptr, WNOHANG);
    pid_ = -1;
    if (pidFd_ >= 0)
        close(pidFd_);
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(stopFd_, &one, sizeof one);
    reader_.join();
    close(stopFd_);
}

std::string ProxyCommand::Errors() const
{
    std::lock_guard guard(mutex_);
    std::string text = errors_;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    for (std::size_t at = 0; (at = text.find_first_of("\r\n", at)) != std::string::npos;)
        text.replace(at, text.find_first_not_of("\r\n", at) - at, "; ");
    return text;
}

void ProxyCommand::ReadErrors(int pipe)
{
    // Until the pipe ends or Stop: then what is still in it is taken without waiting.
    int waitMs = -1;
    for (;;)
    {
        pollfd ready[2] = {{pipe, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        if (poll(ready, 2, waitMs) < 0 && errno != EINTR)
            break;
        if (ready[1].revents != 0)
            waitMs = 0;
        if (ready[0].revents == 0 && waitMs == 0)
            break;
        char chunk[1024];
        const ssize_t got = read(pipe, chunk, sizeof chunk);
        if (got <= 0)
        {
            if (got < 0 && errno == EINTR)
                continue;
            break;
        }
        std::lock_guard guard(mutex_);
        errors_.append(chunk, static_cast<std::size_t>(got));
        if (errors_.size() > ErrorsKept)
            errors_.erase(0, errors_.size() - ErrorsKept);
    }
    close(pipe);
}

} // namespace korvel
