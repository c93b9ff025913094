#include "exporter/ProfileTargets.h"

#include "credentials/Keyring.h"
#include "engine/wire/Utf8.h"
#include "exporter/Target.h"

#include <algorithm>

namespace korvel::exporter
{
namespace
{

// Asked before each login on the probe's own thread; never prompts, so it fails rather than waits for a
// person.
std::string KeptPassword(const settings::Profile& profile)
{
    if (!profile.KeepPassword)
        throw MissingPassword(
            "keeps no password in the keyring, so it is not logged in to (keep one with the "
            "window's Profiles or korvel-admin-cli profile edit --keep-password)");
    if (!IsUtf8(profile.Name) || !IsUtf8(profile.User))
        throw MissingPassword(
            "its name or user name is not UTF-8, which the keyring cannot hold, so no password "
            "can be kept for it");
    const credentials::Availability keyring = credentials::SecretServiceAvailability();
    if (!keyring.Available)
        throw MissingPassword("its password is kept in the keyring, which cannot be reached: " +
                              keyring.Reason);
    std::optional<std::string> password;
    try
    {
        password =
            credentials::LookupPassword(credentials::CredentialKey::ForProfile(profile.Name, profile.User));
    }
    catch (const credentials::KeyringError& error)
    {
        throw MissingPassword(std::string("the keyring refused its password: ") + error.what());
    }
    if (!password)
        throw MissingPassword("the keyring holds no password for its user " + ShownName(profile.User) +
                              " yet (a login from the window or the CLI keeps it)");
    return *password;
}

std::string Description(const settings::Profile& p)
{
    const settings::Connection& s = p.Server;
    // Fields cannot hold a line break (INI values), so joined by one they cannot run into each other.
    const std::string fields[] = {s.Internet ? "internet" : "lan",
                                  s.Host,
                                  s.Address,
                                  std::to_string(s.Port),
                                  s.Service,
                                  p.User,
                                  p.KeepPassword ? "kept" : "not kept",
                                  p.Server.Ssh.Host,
                                  std::to_string(p.Server.Ssh.Port),
                                  p.Server.Ssh.User,
                                  p.Server.Ssh.IdentityFile};
    std::string text;
    for (const std::string& field : fields)
        text += field + "\n";
    return text;
}

} // namespace

std::optional<std::pair<Module, ConnectionDescription>> ProbeOfProfile(const settings::Profile& profile)
{
    const settings::Connection& server = profile.Server;
    ConnectionDescription target = TargetAt(server.HostOrAddress(), server.Port, server.Service);
    if (target.HostOrAddress().empty() || (target.Port == 0 && target.Service.empty()))
        return std::nullopt;
    Module module;
    module.Name = std::string(ProfileTargetPrefix) + profile.Name;
    module.User = profile.User;
    // The running user's own SSH setup (~/.ssh/config, known_hosts, agent), as the window and the CLI use it;
    // SshSettings' default refuses an unknown host key, and no question can be answered.
    module.Route = {
        .Internet = server.Internet, .Ssh = server.Ssh, .ConnectTimeoutMs = server.ConnectTimeoutMs};
    module.Profile =
        ProfileOrigin{profile.Name, Description(profile), [profile] { return KeptPassword(profile); }};
    return std::pair{std::move(module), std::move(target)};
}

std::optional<settings::Profile> ProfileTargets::Find(std::string_view name) const
{
    std::vector<settings::Profile> profiles = List();
    const auto found = std::find_if(profiles.begin(), profiles.end(),
                                    [&](const settings::Profile& profile) { return profile.Name == name; });
    if (found == profiles.end())
        return std::nullopt;
    return std::move(*found);
}

} // namespace korvel::exporter
