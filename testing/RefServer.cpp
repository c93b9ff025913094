#include "testing/RefServer.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace korvel::test
{

namespace
{

bool HasOption(const std::vector<std::string>& args, const std::string& name)
{
    return std::find(args.begin(), args.end(), name) != args.end();
}

// The number after `prefix` at the start of a line of `output`, or 0.
int AnnouncedPort(const std::string& output, const std::string& prefix)
{
    for (std::size_t at = output.find(prefix); at != std::string::npos; at = output.find(prefix, at + 1))
        if ((at == 0 || output[at - 1] == '\n') && output.find('\n', at) != std::string::npos)
            return std::atoi(output.c_str() + at + prefix.size());
    return 0;
}

// Reads the server's stdout until it has announced both ports, or fails after a few seconds.
void ReadPorts(int fd, int& adminPort, int& mainPort)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds{15};
    std::string output;
    adminPort = mainPort = 0;
    while (adminPort == 0 || mainPort == 0)
    {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                          std::chrono::steady_clock::now());
        pollfd ready{fd, POLLIN, 0};
        if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) <= 0)
            throw std::runtime_error("korvel-refserver did not announce its ports; output: " + output);
        char chunk[256];
        ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got <= 0)
            throw std::runtime_error("korvel-refserver exited at start; output: " + output);
        output.append(chunk, static_cast<std::size_t>(got));
        adminPort = AnnouncedPort(output, "admin port ");
        mainPort = AnnouncedPort(output, "main port ");
    }
}

} // namespace

std::string RefServer::ServerExecutable()
{
    return KORVEL_REFSERVER_PATH;
}

std::string RefServer::LoadExecutable()
{
    return KORVEL_LOAD_PATH;
}

RefServer::RefServer(RefServerOptions options) : options_(std::move(options))
{
    dataDir_ = options_.DataDir;
    if (dataDir_.empty())
    {
        ownDataDir_ = std::make_unique<TempDir>("korvel-refserver");
        dataDir_ = ownDataDir_->Path();
    }
    Start();
}

RefServer::~RefServer()
{
    if (pid_ > 0)
        Stop();
}

void RefServer::Start()
{
    if (pid_ > 0)
        return;
    std::vector<std::string> args{ServerExecutable(), "--data-dir", dataDir_, "--engine-version",
                                  options_.EngineVersion};
    if (!options_.AdminUser.empty())
        args.insert(args.end(), {"--admin-user", options_.AdminUser});
    if (!options_.AdminPassword.empty())
        args.insert(args.end(), {"--admin-password", options_.AdminPassword});
    // The first start lets the server pick its ports and report them: nothing can take them in between.
    const bool again = options_.KeepPorts && adminPort_ != 0;
    if (!HasOption(options_.ExtraArgs, "--admin-port"))
        args.insert(args.end(), {"--admin-port", again ? std::to_string(adminPort_) : "0"});
    if (!HasOption(options_.ExtraArgs, "--main-port"))
        args.insert(args.end(), {"--main-port", again ? std::to_string(mainPort_) : "0"});
    args.insert(args.end(), options_.ExtraArgs.begin(), options_.ExtraArgs.end());
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    pid_t child = fork();
    if (child == 0)
    {
        prctl(PR_SET_PDEATHSIG, SIGKILL); // never outlive the test
        dup2(out[1], STDOUT_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    ::close(out[1]);
    if (child < 0)
    {
        ::close(out[0]);
        throw std::runtime_error("fork failed");
    }
    pid_ = child;
    try
    {
        ReadPorts(out[0], adminPort_, mainPort_);
    }
    catch (...)
    {
        ::close(out[0]);
        Kill();
        throw;
    }
    ::close(out[0]);
}

void RefServer::Kill()
{
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
}

int RefServer::Stop()
{
    if (pid_ <= 0)
        return -1;
    ::kill(pid_, SIGTERM);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR)
    {
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace korvel::test
