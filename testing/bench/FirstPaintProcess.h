// A window program run as its own process until its first paint, offscreen: korvel-admin with
// KORVEL_ADMIN_EXIT_AFTER_PAINT and the bare 6-tab window say "painted" and their peak resident size once
// their first frame is painted, then close themselves. What the launch benchmark times, and what the Log
// page's benchmark takes the bare window's memory from.
#pragma once

#include "testing/bench/BenchSupport.h"

#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace korvel::bench
{

struct FirstPaint
{
    double Seconds = 0;     // from the start of the process to its "painted"
    long PeakKilobytes = 0; // its peak resident size then, as it said
};

// Runs `program` until it exits; nothing when it could not be started, never said "painted" or failed.
inline std::optional<FirstPaint> RunToFirstPaint(const char* program)
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
    int output[2];
    if (pipe2(output, O_CLOEXEC) != 0)
        return std::nullopt;
    // Qt's start-up notes on stderr would only clutter the table; stdout says when the frame was painted.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, output[1], 1);
    const auto start = Clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program, &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(output[1]);
    if (spawned != 0)
    {
        close(output[0]);
        return std::nullopt;
    }
    FirstPaint run;
    std::string said;
    char chunk[64];
    ssize_t got = 0;
    while (said.find('\n') == std::string::npos && (got = read(output[0], chunk, sizeof chunk)) > 0)
        said.append(chunk, static_cast<std::size_t>(got));
    run.Seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const bool painted = said.rfind("painted ", 0) == 0 && said.find('\n') != std::string::npos;
    if (painted)
        run.PeakKilobytes = std::strtol(said.c_str() + 8, nullptr, 10);
    close(output[0]);
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0 || !painted)
        return std::nullopt;
    return run;
}

} // namespace korvel::bench
