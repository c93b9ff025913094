// Reads the config files line by line into what they say for one host: blocks chosen by `Host` and `Match`,
// `Include` followed, every file bounded. Used by SshConfig.cpp, which turns the result into SshHostConfig.
#pragma once

#include "engine/ssh/SshConfig.h"
#include "engine/ssh/SshConfigText.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvel::sshconfig
{

constexpr std::size_t MaxIdentityFiles = 100; // OpenSSH's limits
constexpr std::size_t MaxKnownHostsFiles = 32;

// How a file is read; flags combine with |.
enum class Flags : unsigned
{
    None = 0,
    UserFile = 1,   // `~` may start an Include and relative ones live in ~/.ssh (else /etc/ssh)
    NeverMatch = 2, // an Include read from an inactive block: checked, never applied
    CheckOwner = 4  // another user's or a writable file is refused
};

constexpr Flags operator|(Flags left, Flags right)
{
    return static_cast<Flags>(static_cast<unsigned>(left) | static_cast<unsigned>(right));
}

// Whether `flags` hold `flag`.
constexpr bool Has(Flags flags, Flags flag)
{
    return (static_cast<unsigned>(flags) & static_cast<unsigned>(flag)) != 0;
}

// A value with the place that set it, for messages about it later.
struct Said
{
    std::string Value;
    std::string At; // "file:line"
};

// What the config said so far; an empty optional is a keyword not yet given (its first value wins).
struct Options
{
    std::optional<Said> HostName, User, ProxyCommand, ProxyJump, HostKeyAlias, IdentityAgent, Preferred,
        IgnoreUnknown;
    std::optional<int> Port, AliveInterval, AliveCountMax, ConnectTimeout, PasswordPrompts, Canonicalize;
    std::optional<bool> IdentitiesOnly, HashKnownHosts, CheckHostIP, Pubkey, Password, KbdInteractive, Batch;
    std::optional<StrictHostKeys> Strict;
    std::optional<std::string> AddressFamily;
    std::vector<Said> IdentityFiles;
    std::optional<std::vector<Said>> UserKnownHosts, GlobalKnownHosts;
};

template <typename T> void First(std::optional<T>& slot, T value, bool active)
{
    if (active && !slot)
        slot = std::move(value);
}

// The home directory the password database gives `user` (nullptr: the running user); empty if none.
std::string PasswordHome(const char* user);
// The running user's name.
std::string LocalUserName();

// Raises SshConfigError: "file:line: problem".
[[noreturn]] void Refuse(const std::string& at, const std::string& problem);

class ConfigReader
{
public:
    ConfigReader(const SshConfigSources& sources, const std::string& host);

    Options Said;
    bool WantFinal = false;

    // One reading of the user's and the system's file; `host` is what `Host` patterns are matched to.
    void Pass(const std::string& host, bool final);
    // `~` and `~user` at the start of a path.
    std::string Tilde(const std::string& path, const std::string& at) const;
    // The tokens of file names and `Match exec` for what `config` holds so far.
    Tokens FileTokens(const SshHostConfig& config) const;

private:
    void ReadFile(const std::string& path, Flags flags, bool& active, int depth, const std::string& from);
    void Line(std::string_view line, const std::string& at, Flags flags, bool& active, int depth);
    void Value(Key key, std::string_view rest, const std::vector<std::string>& arguments,
               const std::string& at, bool active);
    void Include(const std::vector<std::string>& paths, const std::string& at, Flags flags, bool& active,
                 int depth);
    bool MatchLine(std::string_view rest, const std::string& at);
    // One criterion of a Match line; nothing for an `exec` not run because an earlier criterion failed.
    std::optional<bool> Criterion(const std::string& name, const std::string& argument,
                                  const std::string& host, bool earlier, const std::string& at);
    bool Exec(const std::string& command, const std::string& host, const std::string& at);

    const SshConfigSources& sources_;
    std::string hostArg_;
    std::string thisHost_;
    std::string host_;
    bool final_ = false;
    std::size_t bytesRead_ = 0;
    int filesRead_ = 0;
    int commands_ = 0;
};

} // namespace korvel::sshconfig
