#include "testing/SshAgentProcess.h"

#include "testing/Eventually.h"
#include "testing/SshServer.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace korvel::test
{

SshAgentProcess::SshAgentProcess(const std::string& socket) : socket_(socket)
{
    pid_ = fork();
    if (pid_ == 0)
    {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO); // where it tells its variables, known here already
        execlp("ssh-agent", "ssh-agent", "-D", "-a", socket.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    Eventually([&] { return access(socket.c_str(), F_OK) == 0; }, std::chrono::seconds(10)); // it listens
}

SshAgentProcess::~SshAgentProcess()
{
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
}

void SshAgentProcess::Add(const std::string& key) const
{
    RunProgram({"ssh-add", "-q", key}, {Environment()});
}

} // namespace korvel::test
