// korvel-load holding `count` real main-port sessions (LAN, or Internet when asked) on a test server until
// destroyed (SIGTERM, then wait).
#pragma once

#include "tests/support/RefServer.h"

#include <csignal>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace korvel::test
{

class LoadClients
{
public:
    LoadClients(const RefServer& server, int count, bool internet = false)
    {
        int output[2];
        if (pipe(output) != 0)
            throw std::runtime_error("pipe failed");
        const std::string port = std::to_string(server.MainPort());
        const std::string clients = std::to_string(count);
        pid_ = fork();
        if (pid_ == 0)
        {
            dup2(output[1], STDOUT_FILENO);
            close(output[0]);
            close(output[1]);
            const std::string program = RefServer::LoadExecutable();
            execl(program.c_str(), program.c_str(), "--address", "127.0.0.1", "--port", port.c_str(),
                  "--clients", clients.c_str(), "--user", server.Options().AdminUser.c_str(), "--password",
                  server.Options().AdminPassword.c_str(),
                  internet ? "--internet" : static_cast<char*>(nullptr), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(output[1]);
        // Ready once it reports the sessions it opened.
        FILE* reader = fdopen(output[0], "r");
        char line[256] = {};
        const bool ready = reader != nullptr && std::fgets(line, sizeof line, reader) != nullptr &&
                           std::string(line).rfind("opened " + clients + " ", 0) == 0;
        if (reader != nullptr)
            std::fclose(reader);
        if (!ready)
        {
            Stop();
            throw std::runtime_error("korvel-load did not open its sessions: " + std::string(line));
        }
    }
    ~LoadClients() { Stop(); }
    LoadClients(const LoadClients&) = delete;
    LoadClients& operator=(const LoadClients&) = delete;

private:
    void Stop()
    {
        if (pid_ <= 0)
            return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

    pid_t pid_ = -1;
};

} // namespace korvel::test
