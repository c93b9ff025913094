#include "exporter/ModuleConfig.h"

#include "engine/SshSettings.h"
#include "settings/IniFile.h"

#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

namespace korvel::exporter
{
namespace
{

std::string Trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t");
    return std::string(text.substr(first, last - first + 1));
}

std::vector<std::string> SplitList(std::string_view list)
{
    std::vector<std::string> items;
    while (!list.empty())
    {
        const auto comma = list.find_first_of(", ");
        std::string item = Trimmed(list.substr(0, comma));
        if (!item.empty())
            items.push_back(std::move(item));
        if (comma == std::string_view::npos)
            break;
        list.remove_prefix(comma + 1);
    }
    return items;
}

// Credentials in a file others can read are no longer secret; a file others can write, or that someone else
// owns, may send them to a host of the writer's choosing.
void CheckFileIsPrivate(const std::string& path)
{
    struct stat status
    {
    };
    if (stat(path.c_str(), &status) != 0)
        throw ConfigError("cannot read the configuration file " + path);
    if (status.st_uid != geteuid())
        throw ConfigError("the configuration file " + path + " is not owned by this user");
    if ((status.st_mode & (S_IRGRP | S_IROTH)) != 0)
        throw ConfigError("the configuration file " + path +
                          " holds passwords but is readable by group or others (chmod 600 it)");
    if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        throw ConfigError("the configuration file " + path +
                          " holds passwords but is writable by group or others (chmod 600 it)");
}

Module ReadModule(const settings::IniFile& file, const std::string& name)
{
    Module module;
    module.Name = name;
    module.User = file.ReadString(name, "user", "");
    module.Password = file.ReadString(name, "password", "");
    const std::string mode = Trimmed(file.ReadString(name, "mode", "lan"));
    if (mode != "lan" && mode != "internet")
        throw ConfigError("module [" + name + "]: mode must be lan or internet, not \"" + mode + "\"");
    module.Route.Internet = mode == "internet";
    for (const std::string& text : SplitList(file.ReadString(name, "targets", "")))
    {
        auto pattern = TargetPattern::Parse(text);
        if (!pattern)
            throw ConfigError("module [" + name + "]: \"" + text +
                              "\" is not a target pattern (HOST:PORT; a numeric host has four parts, each a "
                              "number or *, or is a CIDR block)");
        module.TargetPatterns.push_back(std::move(*pattern));
    }
    if (module.User.empty())
        throw ConfigError("module [" + name + "] has no user");
    if (const std::string ssh = Trimmed(file.ReadString(name, "ssh", "")); !ssh.empty())
    {
        const std::optional<SshSettings> settings = ParseSshTarget(ssh);
        if (!settings)
            throw ConfigError("module [" + name + "]: ssh must be [USER@]HOST[:PORT], not \"" + ssh + "\"");
        module.Route.Ssh = *settings;
        module.Route.Ssh.IdentityFile = Trimmed(file.ReadString(name, "ssh_identity", ""));
        module.Route.Ssh.KnownHostsFile = Trimmed(file.ReadString(name, "ssh_known_hosts", ""));
        module.Route.Ssh.UseAgent = false; // a service has no agent of its own, and nobody to ask
    }
    return module;
}

} // namespace

bool Module::AllowsTarget(const ConnectionDescription& target) const
{
    return std::any_of(TargetPatterns.begin(), TargetPatterns.end(),
                       [&](const TargetPattern& pattern) { return pattern.Matches(target); });
}

ModuleConfig ModuleConfig::Load(const std::string& path)
{
    CheckFileIsPrivate(path);
    if (access(path.c_str(), R_OK) != 0)
        throw ConfigError("cannot read the configuration file " + path);
    const settings::IniFile file(path);
    std::vector<Module> modules;
    for (const std::string& section : file.Sections())
        modules.push_back(ReadModule(file, section));
    return ModuleConfig(std::move(modules));
}

const Module* ModuleConfig::Find(std::string_view name) const
{
    if (name.empty())
        name = DefaultModuleName;
    const auto found = std::find_if(modules_.begin(), modules_.end(),
                                    [&](const Module& module) { return module.Name == name; });
    return found == modules_.end() ? nullptr : &*found;
}

} // namespace korvel::exporter
