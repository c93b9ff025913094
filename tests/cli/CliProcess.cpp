#include "CliProcess.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <pty.h>
#include <sstream>
#include <stdexcept>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char** environ;

namespace korvel::test
{

namespace
{

std::string TempFile()
{
    char pattern[] = "/tmp/korvel-cli-test-XXXXXX";
    int fd = mkstemp(pattern);
    if (fd < 0)
        throw std::runtime_error("mkstemp failed");
    ::close(fd);
    return pattern;
}

std::string ReadAndRemove(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    std::remove(path.c_str());
    return text.str();
}

} // namespace

struct Prepared
{
    std::vector<std::string> Args;
    std::vector<std::string> Environment;
    std::vector<char*> Argv;
    std::vector<char*> Envp;
    std::string OutPath = TempFile();
    std::string ErrPath = TempFile();
    int OutFd = -1;     // instead of OutPath
    std::string InPath; // standard input; /dev/null when empty
};

namespace
{

void Prepare(Prepared& p, const std::vector<std::string>& args, const std::vector<std::string>& environment)
{
    p.Args.push_back(KORVEL_ADMIN_CLI_PATH);
    p.Args.insert(p.Args.end(), args.begin(), args.end());
    // The first entry of a name is the one a program sees: those given replace the inherited ones.
    auto replaced = [&](const char* entry)
    {
        const std::string_view name(entry, std::strcspn(entry, "="));
        return name == "KORVEL_PASSWORD" || std::any_of(environment.begin(), environment.end(),
                                                        [&](const std::string& given) {
                                                            return given.starts_with(std::string(name) + "=");
                                                        });
    };
    for (char** entry = environ; *entry; ++entry)
        if (!replaced(*entry))
            p.Environment.emplace_back(*entry);
    p.Environment.insert(p.Environment.end(), environment.begin(), environment.end());
    for (auto& arg : p.Args)
        p.Argv.push_back(arg.data());
    p.Argv.push_back(nullptr);
    for (auto& entry : p.Environment)
        p.Envp.push_back(entry.data());
    p.Envp.push_back(nullptr);
}

// In the child, after fork: only async-signal-safe calls.
[[noreturn]] void StartChild(Prepared& p, int terminal)
{
    setsid();
    if (terminal >= 0)
        ioctl(terminal, TIOCSCTTY, 0);
    int in = open(p.InPath.empty() ? "/dev/null" : p.InPath.c_str(), O_RDONLY);
    int out = p.OutFd >= 0 ? p.OutFd : open(p.OutPath.c_str(), O_WRONLY | O_TRUNC);
    int err = open(p.ErrPath.c_str(), O_WRONLY | O_TRUNC);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    execve(p.Argv[0], p.Argv.data(), p.Envp.data());
    _exit(127);
}

CliRun Finish(Prepared& p, pid_t child)
{
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR)
    {
    }
    CliRun run;
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.Out = ReadAndRemove(p.OutPath);
    run.Err = ReadAndRemove(p.ErrPath);
    return run;
}

// Reads the terminal until `expected` has appeared in `text` (with none: until it closes), the terminal
// closes, or ten seconds pass.
// Reads until `expected` appears at `from` or later (the same question asked again is a new match); returns
// where the match ends.
std::size_t ReadTerminalUntil(int master, const std::string* expected, std::string& text,
                              std::size_t from = 0)
{
    auto found = [&] { return expected ? text.find(*expected, from) : std::string::npos; };
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while ((!expected || found() == std::string::npos) && std::chrono::steady_clock::now() < deadline)
    {
        pollfd ready{master, POLLIN, 0};
        if (poll(&ready, 1, 100) <= 0)
            continue;
        char chunk[256];
        ssize_t got = read(master, chunk, sizeof chunk);
        if (got <= 0)
            break;
        text.append(chunk, static_cast<std::size_t>(got));
    }
    const std::size_t at = found();
    return at == std::string::npos ? from : at + expected->size();
}

} // namespace

BackgroundCli::BackgroundCli(const std::vector<std::string>& args) : prepared_(std::make_unique<Prepared>())
{
    Prepare(*prepared_, args, {});
    int ends[2];
    if (pipe(ends) != 0)
        throw std::runtime_error("pipe failed");
    prepared_->OutFd = ends[1];
    pid_ = fork();
    if (pid_ == 0)
    {
        close(ends[0]);
        StartChild(*prepared_, -1);
    }
    close(ends[1]);
    out_ = ends[0];
}

BackgroundCli::~BackgroundCli()
{
    if (!ended_)
    {
        kill(pid_, SIGKILL);
        Finish(*prepared_, pid_);
    }
    if (out_ >= 0)
        close(out_);
}

bool BackgroundCli::Read(int timeoutMs)
{
    pollfd ready{out_, POLLIN, 0};
    if (out_ < 0 || poll(&ready, 1, timeoutMs) <= 0)
        return false;
    char buffer[4096];
    const ssize_t got = read(out_, buffer, sizeof buffer);
    if (got <= 0)
        return false;
    output_.append(buffer, static_cast<std::size_t>(got));
    return true;
}

bool BackgroundCli::WaitFor(const std::string& text)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (output_.find(text) == std::string::npos && std::chrono::steady_clock::now() < end)
        Read(100);
    return output_.find(text) != std::string::npos;
}

CliRun BackgroundCli::Stop(int signal)
{
    kill(pid_, signal);
    return Wait();
}

CliRun BackgroundCli::Wait()
{
    if (ended_)
        return *ended_;
    auto running = [this]
    {
        siginfo_t info{};
        return waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
               info.si_pid == 0;
    };
    const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (running() && std::chrono::steady_clock::now() < end)
        Read(50);
    if (running())
        kill(pid_, SIGKILL);
    ended_ = Finish(*prepared_, pid_);
    while (Read(0))
    {
    }
    ended_->Out = output_;
    return *ended_;
}

void BackgroundCli::CloseOutput()
{
    close(out_);
    out_ = -1;
}

CliRun RunCli(const std::vector<std::string>& args, const std::vector<std::string>& environment)
{
    Prepared p;
    Prepare(p, args, environment);
    pid_t child = fork();
    if (child == 0)
        StartChild(p, -1);
    return Finish(p, child);
}

CliRun RunCliReading(const std::vector<std::string>& args, const std::string& input)
{
    Prepared p;
    Prepare(p, args, {});
    p.InPath = TempFile();
    std::ofstream(p.InPath, std::ios::binary) << input;
    pid_t child = fork();
    if (child == 0)
        StartChild(p, -1);
    CliRun run = Finish(p, child);
    std::remove(p.InPath.c_str());
    return run;
}

CliRun RunCliWritingTo(const std::vector<std::string>& args, int stdoutFd)
{
    Prepared p;
    Prepare(p, args, {});
    p.OutFd = stdoutFd;
    pid_t child = fork();
    if (child == 0)
        StartChild(p, -1);
    return Finish(p, child);
}

TerminalRun RunCliOnTerminal(const std::vector<std::string>& args,
                             const std::vector<TerminalExchange>& exchanges,
                             const std::vector<std::string>& environment, bool outputOnTerminal)
{
    Prepared p;
    Prepare(p, args, environment);
    int master = -1, slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    if (outputOnTerminal)
        p.OutFd = slave;
    pid_t child = fork();
    if (child == 0)
    {
        close(master);
        StartChild(p, slave);
    }
    // The slave stays open here until the program has ended, so its settings can still be read then.
    auto echoOn = [slave]
    {
        termios settings{};
        return tcgetattr(slave, &settings) == 0 && (settings.c_lflag & ECHO) != 0;
    };
    TerminalRun result;
    std::size_t from = 0;
    for (const TerminalExchange& exchange : exchanges)
    {
        from = ReadTerminalUntil(master, &exchange.Expect, result.Text, from);
        result.EchoOn.push_back(echoOn());
        if (exchange.Meanwhile)
            exchange.Meanwhile();
        if (exchange.Signal != 0)
            kill(child, exchange.Signal);
        else if (write(master, exchange.Answer.data(), exchange.Answer.size()) < 0)
            break;
    }
    result.Run = Finish(p, child);
    result.EchoOnAtEnd = echoOn();
    close(slave);
    ReadTerminalUntil(master, nullptr, result.Text);
    close(master);
    return result;
}

CliRun RunCliOnTerminal(const std::vector<std::string>& args, const std::vector<TerminalExchange>& exchanges,
                        std::string& terminalText)
{
    TerminalRun run = RunCliOnTerminal(args, exchanges);
    terminalText += run.Text;
    return run.Run;
}

} // namespace korvel::test
