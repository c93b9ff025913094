#include "cli/ProfileOptions.h"

#include "cli/UsageError.h"
#include "credentials/Keyring.h"
#include "engine/SshSettings.h"
#include "engine/wire/Utf8.h"
#include "settings/Profiles.h"

#include <cstdlib>

namespace korvel::cli
{

namespace
{

bool Given(const CLI::App& app, const char* option)
{
    return app.count(option) > 0;
}

} // namespace

void AddProfileOption(CLI::App& app, GlobalOptions& options)
{
    app.add_option("--profile", options.Profile,
                   "Connect as the saved profile NAME says (see `profile list`); options given win");
}

void ApplyProfile(const CLI::App& app, GlobalOptions& options)
{
    if (options.Profile.empty())
        return;
    std::optional<settings::Profile> profile = settings::ProfileStore().Find(options.Profile);
    if (!profile)
        throw UsageError("there is no profile named " + options.Profile + " (see `profile list`)");
    const settings::Connection& server = profile->Server;
    if (!Given(app, "--host"))
        options.Server.Host = server.Host;
    if (!Given(app, "--address"))
        options.Server.Address = server.Address;
    if (!Given(app, "--port"))
        options.Server.Port = server.Port;
    if (!Given(app, "--service"))
        options.Server.Service = server.Service;
    if (!Given(app, "--internet"))
        options.Server.Internet = server.Internet;
    if (!Given(app, "--user"))
        options.User = profile->User;
    const std::string profileSsh =
        profile->Server.Ssh.Host.empty()
            ? ""
            : SshTargetText(profile->Server.Ssh.User, profile->Server.Ssh.Host, profile->Server.Ssh.Port);
    if (!Given(app, "--ssh"))
        options.SshTarget = profileSsh;
    // A hand-edited profiles.ini may hold anything; it is refused here, before a connection is made.
    if (!Given(app, "--ssh") && !profileSsh.empty() && !ParseSshTarget(profileSsh))
        throw UsageError("profile " + ShownName(profile->Name) + ": SSH Host '" + ShownName(profileSsh) +
                         "' is not HOST, USER@HOST, HOST:PORT or [IPV6 ADDRESS]:PORT");
    if (!Given(app, "--ssh-identity"))
        options.SshIdentity = profile->Server.Ssh.IdentityFile;
    // The kept password belongs to the profile's own server: with another host, address, port or service
    // given, or another SSH server to see them from, it is never sent there.
    const bool ownServer = options.Server.Host == server.Host && options.Server.Address == server.Address &&
                           options.Server.Port == server.Port && options.Server.Service == server.Service &&
                           options.SshTarget == profileSsh;
    // The keyring is asked only where a session bus exists: elsewhere (ssh, cron) it would start or wait.
    const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (profile->KeepPassword && bus && *bus && ownServer)
        options.KeyringEntry = credentials::CredentialKey::ForProfile(profile->Name, options.User);
}

} // namespace korvel::cli
