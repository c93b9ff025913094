// A real korvel-refserver process for integration tests: ephemeral ports, a fresh data directory, known
// administrator credentials. Stopped (SIGTERM) when destroyed.
#pragma once

#include "testing/TempDir.h"

#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

namespace korvel::test
{

struct RefServerOptions
{
    std::string EngineVersion = "3.21"; // "none" states no version
    std::string AdminUser = "admin";
    std::string AdminPassword = "secret";
    std::string DataDir;                // empty: a new temporary directory, removed at the end
    std::vector<std::string> ExtraArgs; // further command-line options
    bool KeepPorts = false;             // Start after Kill or Stop takes the ports the server had before
};

class RefServer
{
public:
    explicit RefServer(RefServerOptions options = {});
    ~RefServer();
    RefServer(const RefServer&) = delete;
    RefServer& operator=(const RefServer&) = delete;

    int AdminPort() const { return adminPort_; }
    int MainPort() const { return mainPort_; }
    const std::string& DataDir() const { return dataDir_; }
    const RefServerOptions& Options() const { return options_; }
    pid_t Pid() const { return pid_; }

    // SIGKILL and wait: nothing is flushed or closed in an orderly way.
    void Kill();
    // Starts the server again on the same data directory (new ephemeral ports unless given in ExtraArgs or
    // kept by KeepPorts).
    void Start();
    // SIGTERM and wait; returns the exit status.
    int Stop();

    // The path of the korvel-refserver and korvel-load executables of this build.
    static std::string ServerExecutable();
    static std::string LoadExecutable();

private:
    RefServerOptions options_;
    std::unique_ptr<TempDir> ownDataDir_; // removed after the server stops
    std::string dataDir_;
    pid_t pid_ = -1;
    int adminPort_ = 0;
    int mainPort_ = 0;
};

} // namespace korvel::test
