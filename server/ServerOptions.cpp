#include "server/ServerOptions.h"

#include "engine/wire/AdminTypes.h"
#include "engine/wire/Utf8.h"

#include "KorvelVersion.h" // generated

#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <unistd.h>

namespace korvel::server
{

std::int64_t ServerOptions::EffectiveVersion() const
{
    return EngineVersion.value_or(VersionWithoutValue);
}

std::optional<std::int64_t> ParseEngineVersion(const std::string& text)
{
    if (text == "none")
        return std::nullopt;
    std::size_t used = 0;
    double version = 0;
    try
    {
        version = std::stod(text, &used);
    }
    catch (const std::exception&)
    {
        used = 0;
    }
    if (used != text.size() || !(version >= 1.0 && version < 100.0))
        throw std::invalid_argument("--engine-version: expected a version such as 3.21, or none");
    return std::llround(version * 10000);
}

namespace
{

// A name or password that LOGIN can carry, or the installation could never be administered with it.
void CheckLoginString(const char* option, const std::string& text, bool mayBeEmpty)
{
    if (text.empty() && !mayBeEmpty)
        throw std::invalid_argument(std::string(option) + ": a user name is needed");
    if (text.size() > MaxProtocolString)
        throw std::invalid_argument(std::string(option) + ": at most " + std::to_string(MaxProtocolString) +
                                    " bytes, or it could never log in");
}

std::string HostName()
{
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return {};
    return name;
}

} // namespace

std::optional<ServerOptions> ParseServerOptions(int argc, char** argv, int& exitCode)
{
    ServerOptions options;
    std::string version = "3.21";
    CLI::App app{"korvel-refserver: a reference KORVEL server for the administration and main ports"};
    app.set_version_flag("--version", "korvel-refserver " KORVEL_VERSION, "Print the version and exit");
    app.add_option("--data-dir", options.DataDir, "Directory of the server's state and log");
    app.add_option("--admin-address", options.AdminAddress,
                   "Address of the administration port (empty: all)");
    app.add_option("--admin-port", options.AdminPort, "Administration port (0: any free port)")
        ->check(CLI::Range(0, 65535));
    app.add_option("--main-address", options.MainAddress, "Address of the main port (empty: all)");
    app.add_option("--main-port", options.MainPort, "Main port (0: any free port)")
        ->check(CLI::Range(0, 65535));
    app.add_option("--name", options.Name, "Server name (default: the host name)");
    app.add_option("--engine-version", version, "Engine version to state, such as 3.08, or none");
    app.add_option("--admin-user", options.AdminUser, "Administrator created on an empty data directory");
    app.add_option("--admin-password", options.AdminPassword, "Password of that administrator");
    app.add_option("--reset-admin", options.ResetAdmin,
                   "Make this user an administrator with a new random password, then exit (server stopped, "
                   "existing installation only)");
    app.add_option("--max-message", options.MaxMessage, "Largest message accepted, in bytes")
        ->check(CLI::Range(16 * 1024, 1024 * 1024 * 1024));
    app.add_option("--max-log", options.MaxLog, "How much of the log's end GETLOG returns, in bytes")
        ->check(CLI::Range(std::int64_t{0}, std::int64_t{1} << 30));
    app.add_option("--handshake-timeout", options.HandshakeTimeout, "Seconds allowed for the first request")
        ->check(CLI::Range(1, 86400));
    app.add_option("--login-timeout", options.LoginTimeout, "Seconds allowed until LOGIN")
        ->check(CLI::Range(1, 86400));
    app.add_option("--max-idle-per-address", options.MaxIdlePerAddress,
                   "Connections from one address kept while they have not logged in and sent nothing for 5 s")
        ->check(CLI::Range(1, 1 << 20));
    app.add_option("--max-idle", options.MaxIdle, "Such idle connections kept in all")
        ->check(CLI::Range(1, 1 << 20));
    app.add_option("--max-files", options.MaxFiles, "Descriptors to take (0: all that the hard limit allows)")
        ->check(CLI::Range(0, 1 << 30));
    try
    {
        app.parse(argc, argv);
        options.EngineVersion = ParseEngineVersion(version);
        CheckLoginString("--admin-user", options.AdminUser, true);
        CheckLoginString("--admin-password", options.AdminPassword, true);
        if (options.ResetAdmin)
            CheckLoginString("--reset-admin", *options.ResetAdmin, false);
    }
    catch (const CLI::ParseError& error)
    {
        exitCode = app.exit(error);
        return std::nullopt;
    }
    catch (const std::invalid_argument& error)
    {
        std::fprintf(stderr, "%s\n", error.what());
        exitCode = 2;
        return std::nullopt;
    }
    if (options.Name.empty())
        options.Name = HostName();
    return options;
}

} // namespace korvel::server
