// A host's SSH settings resolved from the config files the way OpenSSH's client resolves them: the first
// value of each keyword wins, `Host` patterns (negation anywhere in the line) and `Match` criteria choose
// the blocks, `Include` reads further files in place, and `%` tokens are expanded. libssh's own parser
// differs from OpenSSH's in several of these, so the result is handed to libssh option by option instead.
//
// One stated difference from OpenSSH: `~` and `%d` are $HOME, not the password database's home.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace korvel
{

// A config file that cannot be used: a line we cannot read, a `Match` we cannot evaluate, a token a
// command must not receive. The message names the file and line.
class SshConfigError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

enum class StrictHostKeys
{
    Ask,       // "ask" (OpenSSH's default): an unknown key needs a person's yes
    Yes,       // an unknown key is refused
    AcceptNew, // an unknown key is added; a changed one is refused
    No         // as AcceptNew: we never let a changed key through, whatever the config says
};

// One hop of a ProxyJump list, as written: `[user@]host[:port]` or an `ssh://` URL.
struct SshJump
{
    std::string User; // empty: the hop's own config decides
    std::string Host;
    int Port = 0; // 0: the hop's own config decides
    bool operator==(const SshJump&) const = default;
};

// What the config says for one host, every default filled in as `ssh -G` prints it.
struct SshHostConfig
{
    std::string OriginalHost; // the name as given (an alias, say)
    std::string HostName;     // what is connected to and, without HostKeyAlias, looked up in known_hosts
    int Port = 22;
    std::string User;
    std::vector<std::string> IdentityFiles; // in order, tokens and `~` expanded
    bool IdentitiesOnly = false;
    std::string IdentityAgent;      // empty: $SSH_AUTH_SOCK; "none": no agent
    std::string ProxyCommand;       // tokens expanded, for `/bin/sh -c "exec ..."`; empty: none
    std::vector<SshJump> ProxyJump; // first hop first; empty: none
    StrictHostKeys StrictHostKeyChecking = StrictHostKeys::Ask;
    // Tokens and `~` expanded; empty for "none".
    std::vector<std::string> UserKnownHostsFiles;   // default ~/.ssh/known_hosts, ~/.ssh/known_hosts2
    std::vector<std::string> GlobalKnownHostsFiles; // default /etc/ssh/ssh_known_hosts{,2}
    std::string HostKeyAlias;                       // empty: none
    bool HashKnownHosts = false;
    bool CheckHostIP = false;
    int ServerAliveInterval = 0; // seconds; 0: off
    int ServerAliveCountMax = 3;
    int ConnectTimeout = 0;            // seconds; 0: none
    std::string AddressFamily = "any"; // "any", "inet", "inet6"
    std::vector<std::string> PreferredAuthentications;
    bool PubkeyAuthentication = true;
    bool PasswordAuthentication = true;
    bool KbdInteractiveAuthentication = true;
    int NumberOfPasswordPrompts = 3;
    bool BatchMode = false;
};

// Where the config comes from. Empty paths: `~/.ssh/config` and `/etc/ssh/ssh_config`. `Home` is $HOME
// (for `~`, `%d`); `LocalUser` is the running user's name (for `%u`, `Match localuser` and the default User).
// `Exec` runs a `Match exec` command and returns its exit code; empty: `/bin/sh -c`.
struct SshConfigSources
{
    std::string UserConfig;
    std::string SystemConfig;
    std::string Home;
    std::string LocalUser;
    std::function<int(const std::string& command)> Exec;
};

// Resolves `host` as `ssh [-l user] [-p port] host` would. `user` and `port` given on the command line win
// over the config (empty / 0: not given). Raises SshConfigError.
SshHostConfig ResolveSshConfig(const std::string& host, const std::string& user, int port,
                               const SshConfigSources& sources);

// The sources of the running process: $HOME's config, the system's, the local user's name.
SshConfigSources DefaultSshConfigSources();

} // namespace korvel
