// The pieces of OpenSSH's config syntax, each read as OpenSSH's client reads it: words and quotes, host
// patterns, `%` tokens, times and ports. No I/O; SshConfig.cpp puts them together.
#pragma once

#include "engine/ssh/SshConfig.h"

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace korvel::sshconfig
{

// The keywords we read; Other stands for the rest of what OpenSSH's client takes, read past.
enum class Key
{
    Host,
    Match,
    Include,
    HostName,
    User,
    Port,
    IdentityFile,
    IdentitiesOnly,
    IdentityAgent,
    ProxyCommand,
    ProxyJump,
    StrictHostKeyChecking,
    UserKnownHostsFile,
    GlobalKnownHostsFile,
    HostKeyAlias,
    HashKnownHosts,
    CheckHostIP,
    ServerAliveInterval,
    ServerAliveCountMax,
    ConnectTimeout,
    AddressFamily,
    PreferredAuthentications,
    PubkeyAuthentication,
    PasswordAuthentication,
    KbdInteractiveAuthentication,
    NumberOfPasswordPrompts,
    BatchMode,
    CanonicalizeHostname,
    IgnoreUnknown,
    Other
};

// OpenSSH's client keywords (with Debian's) in lower case, so that a config `ssh` takes is not refused.
const std::unordered_map<std::string_view, Key>& Keywords();

// A ProxyJump value: the hops in the order they are connected, each `[user@]host[:port]` (an IPv6 address
// in brackets) or an `ssh://` URL; "none" gives none. Throws std::invalid_argument.
std::vector<SshJump> ParseJumps(std::string_view text);

// The next word of `rest` as OpenSSH's strdelim takes it: split at blanks, one `=` and double quotes.
// Nothing at the end of the text; throws std::invalid_argument for an open quote.
std::optional<std::string> NextWord(std::string_view& rest);
// The arguments of a line: blanks split, single and double quotes group, `\` escapes, `#` at the start of
// a word ends the line. Throws std::invalid_argument for an open quote.
std::vector<std::string> SplitArguments(std::string_view text);

// One pattern with `*` and `?`, byte for byte (no backtracking blow-up on long patterns).
bool MatchPattern(std::string_view text, std::string_view pattern);
// A comma list of patterns, each maybe negated with `!`: 1 a positive match, -1 a negated match (which
// wins), 0 none. `lower`: the patterns are compared in lower case.
int MatchPatternList(std::string_view text, std::string_view patterns, bool lower);
std::string Lowered(std::string_view text);

// `%x` tokens replaced from `tokens` (a token letter and its value), `%%` as `%`; with `environment`,
// `${NAME}` too. Throws std::invalid_argument for an unknown token or unset variable.
using Tokens = std::vector<std::pair<char, std::string>>;
std::string ExpandTokens(std::string_view text, const Tokens& tokens, bool environment);
// A command for /bin/sh with its tokens expanded: a user or host name holding shell metacharacters (%r
// %h %n %k %p) throws std::invalid_argument instead, before anything runs.
std::string ExpandCommand(std::string_view command, const Tokens& tokens);
// OpenSSH's %C: the SHA-1 of `text` in hex.
std::string ConnectionHash(const std::string& text);

// "30", "1m30s", "2h": seconds; nothing when it is not a time.
std::optional<int> ParseTime(std::string_view text);
// A port number or a service name's; nothing when neither.
std::optional<int> ParsePort(const std::string& text);
// A whole number from 0 up; nothing otherwise.
std::optional<int> ParseCount(std::string_view text);

// Whether a value may stand in a shell command: no quoting, expansion, globbing, separators, blanks or
// control characters, and no leading `-`.
bool ShellSafe(std::string_view value);
// `text` quoted for a message: control bytes and quotes escaped, so that a hostile name cannot forge a
// second line.
std::string Shown(std::string_view text);

} // namespace korvel::sshconfig
