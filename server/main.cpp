// korvel-refserver: a persistent reference server for the administration and main ports.
#include "server/EventLoop.h"
#include "server/ProcessSetup.h"
#include "server/ServerCore.h"
#include "server/ServerLog.h"
#include "server/ServerOptions.h"
#include "server/Store.h"

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace
{

using namespace korvel::server;

void PublishInitialPassword(const std::filesystem::path& dataDir, const std::string& user,
                            const std::string& password)
{
    std::printf("administrator %s, initial password %s\n", user.c_str(), password.c_str());
    auto path = (dataDir / "initial-admin-password").string();
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    std::string text = password + "\n";
    if (::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
        std::fprintf(stderr, "could not write %s\n", path.c_str());
    ::close(fd);
}

int Serve(const ServerOptions& options)
{
    std::filesystem::path dataDir(options.DataDir);
    std::filesystem::create_directories(dataDir);
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
        return Serve(*options);
    }
    catch (const std::exception& error)
    {
        std::fprintf(stderr, "korvel-refserver: %s\n", error.what());
        return 1;
    }
}
