#include "engine/ssh/SshConfigReader.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <glob.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace korvel::sshconfig
{

namespace
{

constexpr std::size_t MaxFileBytes = 1 << 20;
constexpr int MaxDepth = 16;
// Over every file of both passes: a file that includes itself twice must not take 2^16 readings.
constexpr std::size_t MaxBytesRead = 16 << 20;
constexpr int MaxCommands = 64;
constexpr int MaxFilesRead = 256;

std::string PathShown(const std::string& path)
{
    for (const char c : path)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f)
            return Shown(path);
    return path;
}

} // namespace

[[noreturn]] void Refuse(const std::string& at, const std::string& problem)
{
    throw SshConfigError(at + ": " + problem);
}

namespace
{

std::string LocalHostName()
{
    std::array<char, 256> name{};
    if (gethostname(name.data(), name.size() - 1) != 0)
        return {};
    return name.data();
}

// `/bin/sh -c command` with nothing on its input and output, as OpenSSH runs `Match exec`: its exit code,
// nothing when it did not exit.
std::optional<int> RunShell(const std::string& command)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
    pid_t child = -1;
    const int error =
        posix_spawn(&child, "/bin/sh", &actions, nullptr, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        return std::nullopt;
    int status = 0;
    while (waitpid(child, &status, 0) < 0)
        if (errno != EINTR)
            return std::nullopt;
    return WIFEXITED(status) ? std::optional<int>(WEXITSTATUS(status)) : std::nullopt;
}

} // namespace

std::string PasswordHome(const char* user)
{
    passwd entry{};
    passwd* found = nullptr;
    std::array<char, 4096> buffer{};
    const int error = user ? getpwnam_r(user, &entry, buffer.data(), buffer.size(), &found)
                           : getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found);
    return error == 0 && found && found->pw_dir ? found->pw_dir : "";
}

std::string LocalUserName()
{
    passwd entry{};
    passwd* found = nullptr;
    std::array<char, 4096> buffer{};
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_name)
        return found->pw_name;
    const char* user = std::getenv("USER");
    return user ? user : "";
}

ConfigReader::ConfigReader(const SshConfigSources& sources, const std::string& host)
    : sources_(sources), hostArg_(host), thisHost_(LocalHostName())
{
}

void ConfigReader::Pass(const std::string& host, bool final)
{
    host_ = host;
    final_ = final;
    bool active = true;
    const bool ownFile = sources_.UserConfig.empty();
    ReadFile(ownFile ? sources_.Home + "/.ssh/config" : sources_.UserConfig,
             Flags::UserFile | (ownFile ? Flags::CheckOwner : Flags::None), active, 0, "");
    active = true;
    ReadFile(sources_.SystemConfig.empty() ? "/etc/ssh/ssh_config" : sources_.SystemConfig, Flags::None,
             active, 0, "");
}

void ConfigReader::ReadFile(const std::string& path, Flags flags, bool& active, int depth,
                            const std::string& from)
{
    const std::string where = from.empty() ? PathShown(path) : from;
    if (depth > MaxDepth)
        Refuse(where, "Include nested deeper than " + std::to_string(MaxDepth) + " files");
    struct stat info
    {
    };
    if (stat(path.c_str(), &info) != 0)
    {
        if (errno == ENOENT)
            return; // a missing file says nothing, as with OpenSSH
        Refuse(where, "cannot open " + PathShown(path) + ": " + std::strerror(errno));
    }
    // Files only: opening a device may act, and a FIFO waits. A directory reads as empty, as with OpenSSH.
    if (!S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode) && path != "/dev/null")
        Refuse(where, PathShown(path) + " is not a file");
    if (Has(flags, Flags::CheckOwner) &&
        ((info.st_uid != 0 && info.st_uid != getuid()) || (info.st_mode & 022) != 0))
        Refuse(where, PathShown(path) + " belongs to another user or others may change it");
    if (S_ISDIR(info.st_mode))
        return;
    if (++filesRead_ > MaxFilesRead)
        Refuse(where, "more than " + std::to_string(MaxFilesRead) + " config files");
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        Refuse(where, "cannot open " + PathShown(path) + ": " + std::strerror(errno));
    std::string text;
    std::array<char, 65536> buffer{};
    ssize_t got = 0;
    while (text.size() <= MaxFileBytes && (got = read(fd, buffer.data(), buffer.size())) > 0)
        text.append(buffer.data(), static_cast<std::size_t>(got));
    const int error = errno;
    close(fd);
    if (got < 0)
        Refuse(where, "cannot read " + PathShown(path) + ": " + std::strerror(error));
    if (text.size() > MaxFileBytes)
        Refuse(where, PathShown(path) + " is larger than 1 MiB");
    if ((bytesRead_ += text.size()) > MaxBytesRead)
        Refuse(where, "the config files read add up to more than 16 MiB");
    std::string_view rest = text;
    for (int number = 1; !rest.empty(); ++number)
    {
        const std::size_t end = std::min(rest.find('\n'), rest.size());
        const std::string at = PathShown(path) + ":" + std::to_string(number);
        if (rest.substr(0, end).find('\0') != std::string_view::npos)
            Refuse(at, "the line holds a NUL byte");
        Line(rest.substr(0, end), at, flags, active, depth);
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }
}

void ConfigReader::Line(std::string_view line, const std::string& at, Flags flags, bool& active, int depth)
{
    const std::size_t last = line.find_last_not_of(" \t\r\n\f");
    if (last == std::string_view::npos)
        return;
    std::string_view rest = line.substr(0, last + 1);
    std::optional<std::string> keyword;
    try
    {
        keyword = NextWord(rest);
        if (keyword && keyword->empty())
            keyword = NextWord(rest);
    }
    catch (const std::invalid_argument& problem)
    {
        Refuse(at, problem.what());
    }
    if (!keyword || keyword->empty() || keyword->front() == '#')
        return;
    const std::string name = Lowered(*keyword);
    if (rest.data() == nullptr || rest.find_first_not_of(" \t\r\n") == std::string_view::npos)
        Refuse(at, "no argument after " + Shown(*keyword));
    rest.remove_prefix(rest.find_first_not_of(" \t\r\n"));
    const auto found = Keywords().find(name);
    if (found == Keywords().end())
    {
        if (Said.IgnoreUnknown && MatchPatternList(name, Said.IgnoreUnknown->Value, true) == 1)
            return;
        Refuse(at, "unknown keyword " + Shown(*keyword));
    }
    std::vector<std::string> arguments;
    try
    {
        arguments = SplitArguments(rest);
    }
    catch (const std::invalid_argument& problem)
    {
        Refuse(at, problem.what());
    }
    switch (found->second)
    {
    case Key::Host:
        active = false;
        for (std::string_view pattern : arguments)
        {
            if (pattern.empty())
                Refuse(at, "an empty Host pattern");
            if (Has(flags, Flags::NeverMatch))
                break;
            const bool negated = pattern.front() == '!';
            if (MatchPattern(host_, negated ? pattern.substr(1) : pattern))
            {
                // A negated pattern that matches rejects the block wherever it stands in the line.
                active = !negated;
                if (negated)
                    break;
            }
        }
        return;
    case Key::Match:
        active = MatchLine(rest, at) && !Has(flags, Flags::NeverMatch);
        return;
    case Key::Include:
        Include(arguments, at, flags, active, depth);
        return;
    default:
        Value(found->second, rest, arguments, at, active);
    }
}

void ConfigReader::Include(const std::vector<std::string>& paths, const std::string& at, Flags flags,
                           bool& active, int depth)
{
    for (const std::string& path : paths)
    {
        if (path.empty())
            Refuse(at, "an empty Include");
        if (path.front() == '~' && !Has(flags, Flags::UserFile))
            Refuse(at, "a system file's Include cannot start with ~");
        // Relative ones live beside the config that names them: ~/.ssh or /etc/ssh.
        std::string pattern = path.front() == '/' || path.front() == '~'
                                  ? path
                                  : (Has(flags, Flags::UserFile) ? "~/.ssh/" : "/etc/ssh/") + path;
        pattern = Tilde(pattern, at);
        glob_t found{};
        const int result = glob(pattern.c_str(), 0, nullptr, &found);
        std::vector<std::string> files(found.gl_pathv, found.gl_pathv + found.gl_pathc);
        globfree(&found);
        if (result != 0 && result != GLOB_NOMATCH)
            Refuse(at, "cannot list " + PathShown(pattern));
        const bool outer = active;
        for (const std::string& file : files)
        {
            ReadFile(file, flags | Flags::CheckOwner | (outer ? Flags::None : Flags::NeverMatch), active,
                     depth + 1, at);
            active = outer; // a Match in the included file ends with it
        }
    }
}

bool ConfigReader::MatchLine(std::string_view rest, const std::string& at)
{
    bool result = true;
    int criteria = 0;
    try
    {
        // The host as it stands so far: the HostName given, else the name on the command line.
        std::string host = hostArg_;
        if (final_)
            host = Said.HostName->Value;
        else if (Said.HostName)
            host = ExpandTokens(Said.HostName->Value, {{'h', hostArg_}}, false);
        while (const auto word = NextWord(rest))
        {
            if (word->empty() || word->front() == '#')
            {
                rest = word->empty() ? rest : std::string_view();
                break;
            }
            const bool negate = word->front() == '!';
            const std::string name = Lowered(std::string_view(*word).substr(negate ? 1 : 0));
            if (name == "all")
            {
                const auto next = NextWord(rest);
                if (criteria > 1 || (next && !next->empty() && next->front() != '#'))
                    Refuse(at, "Match all stands alone");
                return result && !negate;
            }
            ++criteria;
            bool matched = false;
            if (name == "canonical" || name == "final")
            {
                WantFinal |= name == "final" && !negate;
                matched = final_;
            }
            else
            {
                const auto argument = NextWord(rest);
                if (!argument || argument->empty() || argument->front() == '#')
                    Refuse(at, "Match " + name + " needs a value");
                const auto answer = Criterion(name, *argument, host, result, at);
                if (!answer)
                    continue;
                matched = *answer;
            }
            if (matched == negate)
                result = false;
        }
    }
    catch (const std::invalid_argument& problem)
    {
        Refuse(at, problem.what());
    }
    if (criteria == 0)
        Refuse(at, "Match needs a criterion");
    if (rest.data() != nullptr && !rest.empty())
        Refuse(at, "text after the Match criteria");
    return result;
}

std::optional<bool> ConfigReader::Criterion(const std::string& name, const std::string& argument,
                                            const std::string& host, bool earlier, const std::string& at)
{
    if (name == "host")
        return MatchPatternList(Lowered(host), argument, true) == 1;
    if (name == "originalhost")
        return MatchPatternList(Lowered(hostArg_), argument, true) == 1;
    if (name == "user")
        return MatchPatternList(Said.User ? Said.User->Value : sources_.LocalUser, argument, false) == 1;
    if (name == "localuser")
        return MatchPatternList(sources_.LocalUser, argument, false) == 1;
    if (name == "exec")
    {
        if (!earlier)
            return std::nullopt; // a criterion before it failed: not run
        return Exec(argument, host, at);
    }
    Refuse(at, "cannot evaluate Match " + Shown(name));
}

bool ConfigReader::Exec(const std::string& command, const std::string& host, const std::string& at)
{
    SshHostConfig now;
    now.HostName = host;
    now.Port = Said.Port.value_or(22);
    now.User = Said.User ? Said.User->Value : sources_.LocalUser;
    now.HostKeyAlias = Said.HostKeyAlias ? Said.HostKeyAlias->Value : "";
    const std::string expanded = ExpandCommand(command, FileTokens(now));
    if (++commands_ > MaxCommands)
        Refuse(at, "more than " + std::to_string(MaxCommands) + " Match exec commands");
    const auto status = sources_.Exec ? std::optional<int>(sources_.Exec(expanded)) : RunShell(expanded);
    if (!status)
        Refuse(at, "Match exec " + Shown(expanded) + " did not run to its end");
    return *status == 0;
}

std::string ConfigReader::Tilde(const std::string& path, const std::string& at) const
{
    if (path.empty() || path.front() != '~')
        return path;
    const std::size_t slash = std::min(path.find('/'), path.size());
    const std::string name = path.substr(1, slash - 1);
    const std::string home = name.empty() ? sources_.Home : PasswordHome(name.c_str());
    if (home.empty())
        Refuse(at, "no home directory for " + Shown(path.substr(0, slash)));
    return (home == "/" ? "" : home) + path.substr(slash);
}

Tokens ConfigReader::FileTokens(const SshHostConfig& config) const
{
    const std::string port = std::to_string(config.Port);
    const std::string shortHost = thisHost_.substr(0, thisHost_.find('.'));
    return {{'C', ConnectionHash(thisHost_ + config.HostName + port + config.User)},
            {'L', shortHost},
            {'i', std::to_string(getuid())},
            {'k', config.HostKeyAlias.empty() ? config.HostName : config.HostKeyAlias},
            {'l', thisHost_},
            {'n', hostArg_},
            {'p', port},
            {'d', sources_.Home},
            {'h', config.HostName},
            {'r', config.User},
            {'u', sources_.LocalUser}};
}

} // namespace korvel::sshconfig
