#include "engine/ssh/SshConfig.h"

#include "engine/ssh/SshConfigReader.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cstdlib>
#include <unordered_map>

namespace korvel
{

namespace sshconfig
{

namespace
{

bool IsAddress(const std::string& name)
{
    std::array<unsigned char, 16> bytes{};
    return inet_pton(AF_INET, name.c_str(), bytes.data()) == 1 ||
           inet_pton(AF_INET6, name.c_str(), bytes.data()) == 1;
}

bool Flag(const std::string& value, const std::string& at)
{
    const std::string lower = Lowered(value);
    if (lower == "yes" || lower == "true")
        return true;
    if (lower == "no" || lower == "false")
        return false;
    Refuse(at, "expected yes or no, not " + Shown(value));
}

// ProxyJump is checked in every block and taken in an active one. Either it or ProxyCommand: the first
// given wins, and ProxyJump's "none" leaves ProxyCommand open.
void TakeJump(Options& said, std::string_view rest, const std::string& at, bool active)
{
    try
    {
        ParseJumps(rest);
    }
    catch (const std::invalid_argument& problem)
    {
        Refuse(at, "ProxyJump " + Shown(rest) + ": " + problem.what());
    }
    if (active && !said.ProxyCommand && !said.ProxyJump)
    {
        said.ProxyJump = {std::string(rest), at};
        if (Lowered(said.ProxyJump->Value) != "none")
            said.ProxyCommand = {"none", at};
    }
}

// The files of UserKnownHostsFile or GlobalKnownHostsFile.
std::vector<Said> FileList(const std::vector<std::string>& arguments, const std::string& at)
{
    std::vector<Said> files;
    for (const std::string& file : arguments)
    {
        if (file.empty())
            Refuse(at, "an empty file name");
        if (Lowered(file) == "none" && arguments.size() > 1)
            Refuse(at, "\"none\" must stand alone");
        files.push_back({file, at});
    }
    if (files.size() > MaxKnownHostsFiles)
        Refuse(at, "more than " + std::to_string(MaxKnownHostsFiles) + " files");
    return files;
}

StrictHostKeys Strictness(const std::string& value, const std::string& at)
{
    static const std::unordered_map<std::string, StrictHostKeys> choices = {
        {"yes", StrictHostKeys::Yes},
        {"true", StrictHostKeys::Yes},
        {"ask", StrictHostKeys::Ask},
        {"no", StrictHostKeys::No},
        {"false", StrictHostKeys::No},
        {"off", StrictHostKeys::No},
        {"accept-new", StrictHostKeys::AcceptNew}};
    const auto choice = choices.find(Lowered(value));
    if (choice == choices.end())
        Refuse(at, "StrictHostKeyChecking takes yes, ask, accept-new or no, not " + Shown(value));
    return choice->second;
}

} // namespace

void ConfigReader::Value(Key key, std::string_view rest, const std::vector<std::string>& arguments,
                         const std::string& at, bool active)
{
    // ProxyCommand and ProxyJump take the rest of the line as written.
    rest.remove_prefix(std::min(rest.find_first_not_of(" \t="), rest.size()));
    if (key == Key::ProxyCommand)
        return First(Said.ProxyCommand, {std::string(rest), at}, active);
    if (arguments.empty() || arguments.front().empty())
        Refuse(at, "a value is missing");
    const std::string& value = arguments.front();
    if (key == Key::ProxyJump)
        return TakeJump(Said, rest, at, active);
    if (key == Key::UserKnownHostsFile || key == Key::GlobalKnownHostsFile)
        return First(key == Key::UserKnownHostsFile ? Said.UserKnownHosts : Said.GlobalKnownHosts,
                     FileList(arguments, at), active);
    if (arguments.size() > 1 && key != Key::Other)
        Refuse(at, "more than one value");
    switch (key)
    {
    case Key::HostName:
        return First(Said.HostName, {value, at}, active);
    case Key::User:
        return First(Said.User, {value, at}, active);
    case Key::HostKeyAlias:
        return First(Said.HostKeyAlias, {value, at}, active);
    case Key::IdentityAgent:
        return First(Said.IdentityAgent, {value, at}, active);
    case Key::PreferredAuthentications:
        return First(Said.Preferred, {value, at}, active);
    case Key::IgnoreUnknown:
        return First(Said.IgnoreUnknown, {value, at}, active);
    case Key::IdentityFile:
        if (!active)
            return;
        if (Said.IdentityFiles.size() >= MaxIdentityFiles)
            Refuse(at, "more than " + std::to_string(MaxIdentityFiles) + " identity files");
        // A file given twice is tried once, where it came first.
        if (std::none_of(Said.IdentityFiles.begin(), Said.IdentityFiles.end(),
                         [&](const struct Said& file) { return file.Value == value; }))
            Said.IdentityFiles.push_back({value, at});
        return;
    case Key::Port:
        if (const auto port = ParsePort(value))
            return First(Said.Port, *port, active);
        Refuse(at, "not a port: " + Shown(value));
    case Key::ServerAliveInterval:
    case Key::ConnectTimeout:
    {
        const auto seconds = key == Key::ConnectTimeout && Lowered(value) == "none" ? 0 : ParseTime(value);
        if (!seconds)
            Refuse(at, "not a time: " + Shown(value));
        return First(key == Key::ConnectTimeout ? Said.ConnectTimeout : Said.AliveInterval, *seconds, active);
    }
    case Key::ServerAliveCountMax:
    case Key::NumberOfPasswordPrompts:
    {
        const auto count = ParseCount(value);
        if (!count)
            Refuse(at, "not a number: " + Shown(value));
        return First(key == Key::ServerAliveCountMax ? Said.AliveCountMax : Said.PasswordPrompts, *count,
                     active);
    }
    case Key::StrictHostKeyChecking:
        return First(Said.Strict, Strictness(value, at), active);
    case Key::PubkeyAuthentication:
    {
        const std::string lower = Lowered(value);
        return First(Said.Pubkey, lower == "unbound" || lower == "host-bound" || Flag(value, at), active);
    }
    case Key::AddressFamily:
    {
        const std::string lower = Lowered(value);
        if (lower != "any" && lower != "inet" && lower != "inet6")
            Refuse(at, "AddressFamily takes any, inet or inet6, not " + Shown(value));
        return First(Said.AddressFamily, lower, active);
    }
    case Key::CanonicalizeHostname:
        return First(Said.Canonicalize, Lowered(value) == "always" ? 2 : Flag(value, at) ? 1 : 0, active);
    case Key::IdentitiesOnly:
        return First(Said.IdentitiesOnly, Flag(value, at), active);
    case Key::HashKnownHosts:
        return First(Said.HashKnownHosts, Flag(value, at), active);
    case Key::CheckHostIP:
        return First(Said.CheckHostIP, Flag(value, at), active);
    case Key::PasswordAuthentication:
        return First(Said.Password, Flag(value, at), active);
    case Key::KbdInteractiveAuthentication:
        return First(Said.KbdInteractive, Flag(value, at), active);
    case Key::BatchMode:
        return First(Said.Batch, Flag(value, at), active);
    default:
        return;
    }
}

} // namespace sshconfig

namespace
{

using namespace sshconfig;

// Each file name with `~` and its tokens (and `${VARIABLE}`s) expanded; "none" stands for no file.
std::vector<std::string> Files(const ConfigReader& reader, const std::vector<Said>& files,
                               const Tokens& tokens)
{
    std::vector<std::string> expanded;
    for (const Said& file : files)
    {
        if (Lowered(file.Value) == "none")
            continue;
        try
        {
            expanded.push_back(ExpandTokens(reader.Tilde(file.Value, file.At), tokens, true));
        }
        catch (const std::invalid_argument& problem)
        {
            Refuse(file.At, Shown(file.Value) + ": " + problem.what());
        }
    }
    return expanded;
}

std::vector<Said> Defaults(std::initializer_list<const char*> files)
{
    std::vector<Said> said;
    for (const char* file : files)
        said.push_back({file, "default"});
    return said;
}

// The ProxyCommand as OpenSSH hands it to the shell: tokens %h %k %n %p %r, checked.
std::string ProxyCommand(const Said& command, const SshHostConfig& config)
{
    try
    {
        const Tokens tokens = {{'h', config.HostName},
                               {'k', config.HostKeyAlias.empty() ? config.OriginalHost : config.HostKeyAlias},
                               {'n', config.OriginalHost},
                               {'p', std::to_string(config.Port)},
                               {'r', config.User}};
        return ExpandCommand(command.Value, tokens);
    }
    catch (const std::invalid_argument& problem)
    {
        Refuse(command.At, "ProxyCommand: " + std::string(problem.what()));
    }
}

// Every default filled in as `ssh -G` prints it, every file name expanded.
SshHostConfig Result(const ConfigReader& reader, const Options& said, const std::string& host,
                     const std::string& hostName, const SshConfigSources& sources)
{
    SshHostConfig config;
    config.OriginalHost = host;
    config.HostName = hostName;
    config.Port = said.Port.value_or(22);
    config.User = said.User ? said.User->Value : sources.LocalUser;
    config.HostKeyAlias = said.HostKeyAlias ? said.HostKeyAlias->Value : "";
    const Tokens tokens = reader.FileTokens(config);
    config.IdentityFiles =
        Files(reader,
              !said.IdentityFiles.empty()
                  ? said.IdentityFiles
                  : Defaults({"~/.ssh/id_rsa", "~/.ssh/id_ecdsa", "~/.ssh/id_ecdsa_sk", "~/.ssh/id_ed25519",
                              "~/.ssh/id_ed25519_sk", "~/.ssh/id_xmss", "~/.ssh/id_dsa"}),
              tokens);
    config.UserKnownHostsFiles =
        Files(reader, said.UserKnownHosts.value_or(Defaults({"~/.ssh/known_hosts", "~/.ssh/known_hosts2"})),
              tokens);
    config.GlobalKnownHostsFiles = Files(
        reader,
        said.GlobalKnownHosts.value_or(Defaults({"/etc/ssh/ssh_known_hosts", "/etc/ssh/ssh_known_hosts2"})),
        tokens);
    if (said.IdentityAgent)
    {
        const std::string& agent = said.IdentityAgent->Value;
        config.IdentityAgent = agent == "SSH_AUTH_SOCK" ? ""
                               : agent == "none"        ? agent
                                                        : Files(reader, {*said.IdentityAgent}, tokens)[0];
    }
    if (said.ProxyCommand && said.ProxyCommand->Value != "none")
        config.ProxyCommand = ProxyCommand(*said.ProxyCommand, config);
    if (said.ProxyJump)
        config.ProxyJump = ParseJumps(said.ProxyJump->Value);
    config.IdentitiesOnly = said.IdentitiesOnly.value_or(false);
    config.StrictHostKeyChecking = said.Strict.value_or(StrictHostKeys::Ask);
    config.HashKnownHosts = said.HashKnownHosts.value_or(false);
    config.CheckHostIP = said.CheckHostIP.value_or(false);
    config.ServerAliveInterval = said.AliveInterval.value_or(0);
    config.ServerAliveCountMax = said.AliveCountMax.value_or(3);
    config.ConnectTimeout = said.ConnectTimeout.value_or(0);
    config.AddressFamily = said.AddressFamily.value_or("any");
    if (said.Preferred)
        for (std::string_view rest = said.Preferred->Value; !rest.empty();)
        {
            const std::size_t comma = std::min(rest.find(','), rest.size());
            config.PreferredAuthentications.emplace_back(rest.substr(0, comma));
            rest.remove_prefix(std::min(comma + 1, rest.size()));
        }
    config.PubkeyAuthentication = said.Pubkey.value_or(true);
    config.PasswordAuthentication = said.Password.value_or(true);
    config.KbdInteractiveAuthentication = said.KbdInteractive.value_or(true);
    config.NumberOfPasswordPrompts = said.PasswordPrompts.value_or(3);
    config.BatchMode = said.Batch.value_or(false);
    return config;
}

} // namespace

SshHostConfig ResolveSshConfig(const std::string& host, const std::string& user, int port,
                               const SshConfigSources& sources)
{
    ConfigReader reader(sources, host);
    Options& said = reader.Said;
    if (!user.empty())
        said.User = {user, "the command line"};
    if (port > 0)
        said.Port = port;
    reader.Pass(host, false);
    // The HostName takes %h alone; the name is compared and looked up in lower case unless an address.
    std::string hostName = host;
    if (said.HostName)
    {
        try
        {
            hostName = ExpandTokens(said.HostName->Value, {{'h', host}}, false);
        }
        catch (const std::invalid_argument& problem)
        {
            Refuse(said.HostName->At, "HostName " + Shown(said.HostName->Value) + ": " + problem.what());
        }
    }
    if (!IsAddress(hostName))
        hostName = Lowered(hostName);
    if (said.HostName)
        said.HostName->Value = hostName;
    // `Match final` and canonicalisation read the files once more, now for the HostName: blocks for it
    // fill what is still unset.
    if (reader.WantFinal || said.Canonicalize.value_or(0) != 0)
    {
        said.HostName = {hostName, said.HostName ? said.HostName->At : "the command line"};
        reader.Pass(hostName, true);
    }
    return Result(reader, said, host, hostName, sources);
}

SshConfigSources DefaultSshConfigSources()
{
    SshConfigSources sources;
    const char* home = std::getenv("HOME");
    sources.Home = home && *home ? home : PasswordHome(nullptr);
    sources.LocalUser = LocalUserName();
    return sources;
}

} // namespace korvel
