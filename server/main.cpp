// korvel-refserver: a persistent reference server for the administration and main ports.
#include "server/DataDirectory.h"
#include "server/EventLoop.h"
#include "server/ProcessSetup.h"
#include "server/ServerCore.h"
#include "server/ServerLog.h"
#include "server/ServerOptions.h"
#include "server/Store.h"

#include <cstdio>
#include <filesystem>

namespace
{

using namespace korvel::server;

void PublishInitialPassword(const std::filesystem::path& dataDir, const std::string& user,
                            const std::string& password)
{
    std::printf("administrator %s, initial password %s\n", user.c_str(), password.c_str());
    std::fflush(stdout);
    PublishPassword(dataDir, password);
}

// Recovers an installation whose administrators are all lost: only while no server holds the directory.
int ResetAdmin(const ServerOptions& options)
{
    std::filesystem::path dataDir(options.DataDir);
    DataDirectoryLock lock(dataDir);
    Store store((dataDir / "korvel.db").string());
    std::string password = ResetAdministrator(store, options.ResetAdmin);
    ServerLog((dataDir / "server.log").string())
        .Write("Reset the administrator '" + options.ResetAdmin + "'");
    PublishInitialPassword(dataDir, options.ResetAdmin, password);
    return 0;
}

int Serve(const ServerOptions& options)
{
    std::filesystem::path dataDir(options.DataDir);
    DataDirectoryLock lock(dataDir);
    ServerLog log((dataDir / "server.log").string());
    Store store((dataDir / "korvel.db").string());
    EventLoop loop(options, log);
    ServerCore core(options, store, log, loop);
    std::string password = core.EnsureAdministrator();
    if (!password.empty())
        PublishInitialPassword(dataDir, options.AdminUser.empty() ? "admin" : options.AdminUser, password);
    loop.Listen();
    log.Write("Server started: administration port " + std::to_string(loop.BoundPort(PortKind::Admin)) +
              ", main port " + std::to_string(loop.BoundPort(PortKind::Main)));
    std::printf("admin port %d\nmain port %d\n", loop.BoundPort(PortKind::Admin),
                loop.BoundPort(PortKind::Main));
    std::fflush(stdout);
    loop.Run(core);
    log.Write("Server stopped");
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    int exitCode = 0;
    auto options = ParseServerOptions(argc, argv, exitCode);
    if (!options)
        return exitCode;
    RaiseFileLimit();
    BlockStopSignals();
    try
    {
        return options->ResetAdmin.empty() ? Serve(*options) : ResetAdmin(*options);
    }
    catch (const std::exception& error)
    {
        std::fprintf(stderr, "korvel-refserver: %s\n", error.what());
        return 1;
    }
}
