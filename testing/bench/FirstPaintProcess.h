// A window program run as its own process until its first paint, offscreen: korvel-admin with
// KORVEL_ADMIN_EXIT_AFTER_PAINT and the bare 6-tab window close themselves once painted. What the launch
// benchmark times, and what the Log page's benchmark takes the bare window's memory from.
#pragma once

#include <fcntl.h>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace korvel::bench
{

// Runs `program` until it exits; its resource usage (ru_maxrss: its peak resident size), or nothing when it
// could not be started or failed.
inline std::optional<rusage> RunToFirstPaint(const char* program)
{
    std::vector<std::string> variables{"QT_QPA_PLATFORM=offscreen", "KORVEL_ADMIN_EXIT_AFTER_PAINT=1"};
    for (char** variable = environ; *variable; ++variable)
        variables.emplace_back(*variable);
    std::vector<char*> envp;
    for (std::string& variable : variables)
        envp.push_back(variable.data());
    envp.push_back(nullptr);
    std::string path = program;
    char* argv[] = {path.data(), nullptr};
    // Qt's start-up notes on stderr would only clutter the table.
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program, &quiet, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&quiet);
    if (spawned != 0)
        return std::nullopt;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return usage;
}

} // namespace korvel::bench
