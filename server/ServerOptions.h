// The command line of korvel-refserver.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace korvel::server
{

struct ServerOptions
{
    std::string DataDir = "./korvel-data";
    std::string AdminAddress = "127.0.0.1";
    int AdminPort = 12006;
    std::string MainAddress = "127.0.0.1";
    int MainPort = 12005;
    std::string Name; // empty: the host name
    // Stated at CONNECTPARAMS; no value when the version is "none" (the client then assumes 3.03).
    std::optional<std::int64_t> EngineVersion = 32100;
    std::string AdminUser;
    std::string AdminPassword;
    // Given: make this user an administrator with a new password, offline, and exit.
    std::optional<std::string> ResetAdmin;
    std::int32_t MaxMessage = 64 * 1024 * 1024;
    std::int64_t MaxLog = 16 * 1024 * 1024;
    // Short: a client sends its first request as soon as it connects.
    int HandshakeTimeout = 10;
    int LoginTimeout = 600;
    // Connections that have not logged in and sent nothing for a while, kept at most per address and in all;
    // beyond that the oldest are closed.
    int MaxIdlePerAddress = 64;
    int MaxIdle = 1024;
    // Descriptors the server takes; 0: all that the hard limit allows.
    int MaxFiles = 0;

    // The version that gates request shapes: a server stating none behaves as 3.03.
    std::int64_t EffectiveVersion() const;
};

// Parses argv. Returns the options, or nothing after printing help or an error (exitCode tells which).
std::optional<ServerOptions> ParseServerOptions(int argc, char** argv, int& exitCode);

// "3.21" gives 32100, "none" no value. Throws std::invalid_argument on anything else.
std::optional<std::int64_t> ParseEngineVersion(const std::string& text);

} // namespace korvel::server
