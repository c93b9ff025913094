// profile list|show|add|remove: the connection profiles file the window shares. These commands need no
// server.
#include "cli/Commands.h"
#include "cli/UsageError.h"
#include "credentials/Keyring.h"
#include "settings/Profiles.h"

#include <cstdlib>
#include <memory>

namespace korvel::cli
{

namespace
{

using settings::Profile;
using settings::ProfileStore;

Json Describe(const Profile& profile)
{
    return Json{{"name", profile.Name}, {"mode", profile.Internet ? "internet" : "lan"},
                {"host", profile.Host}, {"address", profile.Address},
                {"port", profile.Port}, {"service", profile.Service},
                {"user", profile.User}, {"keep_password", profile.KeepPassword}};
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

struct ProfileArguments
{
    Profile Fields;
    int Port = 0;
};

void AddProfile(ProfileArguments args)
{
    Profile& profile = args.Fields;
    if (auto problem = settings::ProfileNameProblem(profile.Name))
        throw UsageError(*problem);
    if (ProfileStore().Find(profile.Name))
        throw UsageError("a profile named " + profile.Name + " already exists; remove it first");
    if (profile.Host.empty() && profile.Address.empty())
        throw UsageError("a profile needs --host or --address");
    if (args.Port == 0 && profile.Service.empty())
        throw UsageError("a profile needs --port or --service");
    profile.Port = static_cast<std::uint16_t>(args.Port);
    ProfileStore().Save(profile);
}

void RemoveProfile(const std::string& name)
{
    Profile profile = Existing(name);
    ProfileStore().Remove(name);
    // The kept password goes with its profile, where the keyring can be reached.
    const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (profile.KeepPassword && bus && *bus)
        try
        {
            credentials::DeletePassword(credentials::CredentialKey::ForProfile(profile.Name, profile.User));
        }
        catch (const credentials::KeyringError&)
        {
            // The profile is gone; a keyring that cannot be reached keeps an entry nobody looks up.
        }
}

} // namespace

void AddProfileCommands(CLI::App& app, LocalAction& chosen)
{
    CLI::App* group = AddGroup(app, "profile", "The saved connection profiles (no server needed)");
    auto name = std::make_shared<std::string>();
    auto args = std::make_shared<ProfileArguments>();

    AddLocalCommand(*group, "list", "List the profiles, the last used first", chosen, ListProfiles);

    CLI::App* show = AddLocalCommand(*group, "show", "Show a profile", chosen,
                                     [name] { return CommandResult{Describe(Existing(*name))}; });
    show->add_option("NAME", *name, "Profile name")->required();

    CLI::App* add = AddLocalCommand(*group, "add", "Add a profile", chosen,
                                    [args]
                                    {
                                        AddProfile(*args);
                                        return CommandResult{Json::object()};
                                    });
    add->add_option("NAME", args->Fields.Name, "Profile name")->required();
    add->add_option("--host", args->Fields.Host, "Server host name (takes precedence over --address)");
    add->add_option("--address", args->Fields.Address, "Server IPv4 address");
    add->add_option("--port", args->Port, "Administration port")->check(CLI::Range(1, 65535));
    add->add_option("--service", args->Fields.Service, "TCP service name (takes precedence over --port)");
    add->add_flag("--internet", args->Fields.Internet, "Internet mode (compressed); LAN otherwise");
    add->add_option("--user", args->Fields.User, "Administrator user name");
    add->add_flag("--keep-password", args->Fields.KeepPassword,
                  "Keep the password in the system keyring (asked at the first login)");

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
