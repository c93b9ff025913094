// korvel-load holding `count` real main-port sessions on a test server until destroyed (SIGTERM, then wait):
// LAN sessions of the server's administrator unless told otherwise.
#pragma once

#include "testing/RefServer.h"

#include <csignal>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace korvel::test
{

struct LoadKind
{
    bool Internet = false;
    std::string User;     // empty: the server's administrator
    std::string Password; // with User
};

class LoadClients
{
public:
    LoadClients(const RefServer& server, int count, const LoadKind& kind = {})
    {
        const std::string user = kind.User.empty() ? server.Options().AdminUser : kind.User;
        const std::string password = kind.User.empty() ? server.Options().AdminPassword : kind.Password;
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
            std::vector<const char*> args{program.c_str(), "--address",  "127.0.0.1",     "--port",
                                          port.c_str(),    "--clients",  clients.c_str(), "--user",
                                          user.c_str(),    "--password", password.c_str()};
            if (kind.Internet)
                args.push_back("--internet");
            args.push_back(nullptr);
            execv(program.c_str(), const_cast<char* const*>(args.data()));
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
