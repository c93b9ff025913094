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

// Says what opening the data directory tightened, on the console and in the log.
void ReportTightened(const DataDirectory& dir, ServerLog& log)
{
    for (const auto& change : dir.Tightened())
    {
        std::printf("%s\n", change.c_str());
        log.Write(change);
    }
    std::fflush(stdout);
}

// Recovers an installation whose administrators are all lost: only while no server holds the directory.
int ResetAdmin(const ServerOptions& options, const std::string& name)
{
    DataDirectory dir(options.DataDir, DataDirectory::Missing::Refuse);
    ServerLog log(dir.LogPath());
    ReportTightened(dir, log);
    Store store(dir.DatabasePath());
    std::string password = ResetAdministrator(store, name);
    log.Write("Reset the administrator '" + name + "'");
    PublishInitialPassword(options.DataDir, name, password);
    return 0;
}

int Serve(const ServerOptions& options)
{
    DataDirectory dir(options.DataDir, DataDirectory::Missing::Create);
    ServerLog log(dir.LogPath());
    ReportTightened(dir, log);
    Store store(dir.DatabasePath());
    EventLoop loop(options, log);
    ServerCore core(options, store, log, loop);
    std::string password = core.EnsureAdministrator();
    if (!password.empty())
        PublishInitialPassword(options.DataDir, options.AdminUser.empty() ? "admin" : options.AdminUser,
                               password);
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
    RaiseFileLimit(options->MaxFiles);
    BlockStopSignals();
    KeepCreatedFilesPrivate();
    try
    {
        return options->ResetAdmin ? ResetAdmin(*options, *options->ResetAdmin) : Serve(*options);
    }
    catch (const std::exception& error)
    {
        std::fprintf(stderr, "korvel-refserver: %s\n", error.what());
        return 1;
    }
}
