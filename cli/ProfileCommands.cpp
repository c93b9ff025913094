// profile list|show|add|edit|remove: the connection profiles file the window shares. These commands need no
// server.
#include "cli/Commands.h"
#include "cli/Connection.h"
#include "cli/UsageError.h"
#include "credentials/Keyring.h"
#include "engine/SshSettings.h"
#include "settings/Profiles.h"

#include <cstdlib>
#include <memory>
#include <stdexcept>

namespace korvel::cli
{

namespace
{

using settings::Profile;
using settings::ProfileStore;

Json Describe(const Profile& profile)
{
    const settings::Connection& server = profile.Server;
    Json described{{"name", profile.Name}, {"mode", server.Internet ? "internet" : "lan"},
                   {"host", server.Host},  {"address", server.Address},
                   {"port", server.Port},  {"service", server.Service},
                   {"user", profile.User}, {"keep_password", profile.KeepPassword}};
    if (!profile.Server.Ssh.Host.empty())
    {
        described["ssh"] =
            SshTargetText(profile.Server.Ssh.User, profile.Server.Ssh.Host, profile.Server.Ssh.Port);
        described["ssh_identity"] = profile.Server.Ssh.IdentityFile;
    }
    return described;
}

CommandResult ListProfiles()
{
    Json rows = Json::array();
    for (const Profile& profile : ProfileStore().List())
        rows.push_back(Describe(profile));
    return {rows};
}

Profile Existing(const std::string& name)
{
    std::optional<Profile> profile = ProfileStore().Find(name);
    if (!profile)
        throw UsageError("there is no profile named " + name);
    return *profile;
}

// The options of `profile add` and `profile edit`; edit changes only the fields given.
struct ProfileArguments
{
    Profile Fields;
    int Port = 0;
    std::string SshTarget;
    bool NoSsh = false;
    bool Lan = false;
    bool ForgetPassword = false;
    std::string NewName;
    const CLI::App* Command = nullptr; // which options were given
    bool Given(const char* option) const { return Command->count(option) > 0; }
};

// The keyring is asked only where a session bus exists: elsewhere (ssh, cron) it would start or wait.
bool SessionBusPresent()
{
    const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    return bus && *bus;
}

credentials::CredentialKey KeyOf(const Profile& profile)
{
    return credentials::CredentialKey::ForProfile(profile.Name, profile.User);
}

// Where the keyring can be reached; one that cannot keeps an entry nobody looks up.
void ForgetKeptPassword(const Profile& profile)
{
    if (!SessionBusPresent())
        return;
    try
    {
        credentials::DeletePassword(KeyOf(profile));
    }
    catch (const credentials::KeyringError&)
    {
        // The profile no longer needs it; an unreachable keyring is no reason to fail the command.
    }
}

void CheckName(const std::string& name)
{
    if (auto problem = settings::ProfileNameProblem(name))
        throw UsageError(*problem);
}

// The profile's server with `port`, checked as the window checks it.
void CheckServer(Profile& profile, int port)
{
    try
    {
        profile.Server = settings::CheckedConnection(profile.Server, std::to_string(port));
    }
    catch (const settings::ConnectionError& error)
    {
        throw UsageError(error.what());
    }
}

// The SSH server of `--ssh`, checked by the option itself.
void SetSsh(Profile& profile, const std::string& target)
{
    const SshSettings ssh = ParseSshTarget(target).value_or(SshSettings());
    profile.Server.Ssh.Host = ssh.Host;
    profile.Server.Ssh.Port = static_cast<std::uint16_t>(ssh.Port);
    profile.Server.Ssh.User = ssh.User;
}

void AddProfile(ProfileArguments args)
{
    Profile& profile = args.Fields;
    if (args.Given("--ssh"))
        SetSsh(profile, args.SshTarget);
    CheckName(profile.Name);
    CheckServer(profile, args.Port);
    try
    {
        // Looked for and added under one lock: a parallel `profile add` of the same name cannot slip between.
        ProfileStore().Add(profile);
    }
    catch (const std::invalid_argument&)
    {
        throw UsageError("a profile named " + profile.Name + " already exists; remove it first");
    }
}

Profile Edited(const Profile& stored, const ProfileArguments& args)
{
    Profile profile = stored;
    if (args.Given("--rename"))
    {
        CheckName(args.NewName);
        std::optional<Profile> other = ProfileStore().Find(args.NewName);
        if (other && other->Name != stored.Name)
            throw UsageError("a profile named " + other->Name + " already exists");
        profile.Name = args.NewName;
    }
    if (args.Given("--host"))
        profile.Server.Host = args.Fields.Server.Host;
    if (args.Given("--address"))
        profile.Server.Address = args.Fields.Server.Address;
    if (args.Given("--service"))
        profile.Server.Service = args.Fields.Server.Service;
    if (args.Given("--internet") || args.Given("--lan"))
        profile.Server.Internet = !args.Lan;
    if (args.Given("--user"))
        profile.User = args.Fields.User;
    if (args.Given("--keep-password") || args.Given("--forget-password"))
        profile.KeepPassword = !args.ForgetPassword;
    if (args.Given("--ssh"))
        SetSsh(profile, args.SshTarget);
    if (args.Given("--ssh-identity"))
        profile.Server.Ssh.IdentityFile = args.Fields.Server.Ssh.IdentityFile;
    if (args.NoSsh)
    {
        SetSsh(profile, "");
        profile.Server.Ssh.IdentityFile.clear();
    }
    CheckServer(profile, args.Given("--port") ? args.Port : stored.Server.Port);
    return profile;
}

// A renamed profile takes its kept password along, before the file changes: when the keyring cannot take it
// under the new name, nothing changes. Another user has another password, so that one is dropped.
void EditProfile(const ProfileArguments& args)
{
    const Profile stored = Existing(args.Fields.Name);
    const Profile profile = Edited(stored, args);
    const bool keepsSamePassword = stored.KeepPassword && profile.KeepPassword && profile.User == stored.User;
    const bool moves = keepsSamePassword && profile.Name != stored.Name;
    if (moves)
    {
        if (!SessionBusPresent())
            throw std::runtime_error("The kept password of " + stored.Name +
                                     " cannot move to the new name without a D-Bus session bus "
                                     "(DBUS_SESSION_BUS_ADDRESS is not set); nothing was changed.");
        try
        {
            credentials::MovePassword(KeyOf(stored), KeyOf(profile));
        }
        catch (const credentials::KeyringError& error)
        {
            throw std::runtime_error(std::string(error.what()) + "; nothing was changed.");
        }
    }
    try
    {
        ProfileStore().Replace(stored.Name, profile);
    }
    catch (const std::exception&)
    {
        if (moves)
            credentials::MovePassword(KeyOf(profile), KeyOf(stored));
        throw;
    }
    if (stored.KeepPassword && !keepsSamePassword)
        ForgetKeptPassword(stored);
}

void RemoveProfile(const std::string& name)
{
    Profile profile = Existing(name);
    ProfileStore().Remove(name);
    if (profile.KeepPassword)
        ForgetKeptPassword(profile); // the kept password goes with its profile
}

// The profile's fields, as options of `command` (add or edit).
void AddFieldOptions(CLI::App& command, ProfileArguments& args)
{
    command.add_option("NAME", args.Fields.Name, "Profile name")->required();
    command.add_option("--host", args.Fields.Server.Host,
                       "Server host name (takes precedence over --address)");
    command.add_option("--address", args.Fields.Server.Address, "Server IPv4 address");
    command.add_option("--port", args.Port, "Administration port (0: the one --service names)");
    command.add_option("--service", args.Fields.Server.Service,
                       "TCP service name (takes precedence over --port)");
    command.add_flag("--internet", args.Fields.Server.Internet, "Internet mode (compressed); LAN otherwise");
    command.add_option("--user", args.Fields.User, "Administrator user name");
    command.add_flag("--keep-password", args.Fields.KeepPassword,
                     "Keep the password in the system keyring (asked at the first login)");
    command
        .add_option("--ssh", args.SshTarget,
                    "Go through the SSH server [USER@]HOST[:PORT]; the server's host and port are then as it "
                    "sees them")
        ->check(SshTargetCheck());
    command.add_option("--ssh-identity", args.Fields.Server.Ssh.IdentityFile, "Key file for the SSH server");
    args.Command = &command;
}

} // namespace

void AddProfileCommands(CLI::App& app, LocalAction& chosen)
{
    CLI::App* group = AddGroup(app, "profile", "The saved connection profiles (no server needed)");
    auto name = std::make_shared<std::string>();

    AddLocalCommand(*group, "list", "List the profiles, the last used first", chosen, ListProfiles);

    CLI::App* show = AddLocalCommand(*group, "show", "Show a profile", chosen,
                                     [name] { return CommandResult{Describe(Existing(*name))}; });
    show->add_option("NAME", *name, "Profile name")->required();

    auto added = std::make_shared<ProfileArguments>();
    CLI::App* add = AddLocalCommand(*group, "add", "Add a profile", chosen,
                                    [added]
                                    {
                                        AddProfile(*added);
                                        return CommandResult{Json::object()};
                                    });
    AddFieldOptions(*add, *added);

    auto edited = std::make_shared<ProfileArguments>();
    CLI::App* edit = AddLocalCommand(*group, "edit", "Change the given fields of a profile", chosen,
                                     [edited]
                                     {
                                         EditProfile(*edited);
                                         return CommandResult{Json::object()};
                                     });
    AddFieldOptions(*edit, *edited);
    edit->get_option("--internet")->excludes(edit->add_flag("--lan", edited->Lan, "LAN mode (uncompressed)"));
    edit->get_option("--keep-password")
        ->excludes(edit->add_flag("--forget-password", edited->ForgetPassword,
                                  "Stop keeping the password (its keyring entry is deleted)"));
    edit->get_option("--ssh")->excludes(
        edit->add_flag("--no-ssh", edited->NoSsh, "Connect directly again, not through an SSH server"));
    edit->add_option("--rename", edited->NewName,
                     "New name (a kept password moves to it; nothing changes when it cannot)");

    CLI::App* remove =
        AddLocalCommand(*group, "remove", "Remove a profile (and its password in the keyring)", chosen,
                        [name]
                        {
                            RemoveProfile(*name);
                            return CommandResult{Json::object()};
                        });
    remove->add_option("NAME", *name, "Profile name")->required();
}

} // namespace korvel::cli
