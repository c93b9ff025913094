#include "settings/Profiles.h"

#include "settings/IniFile.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <stdexcept>

namespace korvel::settings
{

namespace
{

constexpr const char* RemoteTypeKey = "Remote Type";
constexpr const char* HostKey = "Remote Host";
constexpr const char* AddressKey = "Remote Address";
constexpr const char* PortKey = "Remote Port";
constexpr const char* ServiceKey = "Remote Service";
constexpr const char* UserKey = "User Name";
constexpr const char* KeepPasswordKey = "Keep Password";
constexpr const char* SshHostKey = "SSH Host";
constexpr const char* SshPortKey = "SSH Port";
constexpr const char* SshUserKey = "SSH User";
constexpr const char* SshIdentityFileKey = "SSH Identity File";
// A sequence number: the higher, the more recently used; 0 or missing for never.
constexpr const char* LastUsedKey = "Last Used";

Profile ReadProfile(const IniFile& ini, const std::string& section)
{
    Profile defaults;
    Profile profile;
    profile.Name = section;
    Connection& server = profile.Server;
    server.Internet = ini.ReadInteger(section, RemoteTypeKey, 0) != 0;
    server.Host = ini.ReadString(section, HostKey, "");
    server.Address = ini.ReadString(section, AddressKey, "");
    server.Port = static_cast<std::uint16_t>(ini.ReadInteger(section, PortKey, defaults.Server.Port));
    server.Service = ini.ReadString(section, ServiceKey, "");
    profile.User = ini.ReadString(section, UserKey, "");
    profile.KeepPassword = ini.ReadBool(section, KeepPasswordKey, false);
    profile.Server.Ssh.Host = ini.ReadString(section, SshHostKey, "");
    const int sshPort = ini.ReadInteger(section, SshPortKey, 0);
    profile.Server.Ssh.Port = sshPort > 0 && sshPort <= 65535 ? static_cast<std::uint16_t>(sshPort) : 0;
    profile.Server.Ssh.User = ini.ReadString(section, SshUserKey, "");
    profile.Server.Ssh.IdentityFile = ini.ReadString(section, SshIdentityFileKey, "");
    return profile;
}

void WriteProfile(IniFile& ini, const Profile& profile)
{
    const Connection& server = profile.Server;
    ini.WriteInteger(profile.Name, RemoteTypeKey, server.Internet ? 1 : 0);
    ini.WriteString(profile.Name, HostKey, server.Host);
    ini.WriteString(profile.Name, AddressKey, server.Address);
    ini.WriteInteger(profile.Name, PortKey, server.Port);
    ini.WriteString(profile.Name, ServiceKey, server.Service);
    ini.WriteString(profile.Name, UserKey, profile.User);
    ini.WriteBool(profile.Name, KeepPasswordKey, profile.KeepPassword);
    // A profile without SSH carries none of its keys.
    const std::pair<const char*, std::string> ssh[] = {
        {SshHostKey, profile.Server.Ssh.Host},
        {SshPortKey, profile.Server.Ssh.Port ? std::to_string(profile.Server.Ssh.Port) : ""},
        {SshUserKey, profile.Server.Ssh.User},
        {SshIdentityFileKey, profile.Server.Ssh.IdentityFile}};
    for (const auto& [key, value] : ssh)
        if (profile.Server.Ssh.Host.empty() || value.empty())
            ini.DeleteKey(profile.Name, key);
        else
            ini.WriteString(profile.Name, key, value);
}

char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The section as written in the file (names match without regard to case), or nothing.
std::optional<std::string> SectionOf(const IniFile& ini, const std::string& name)
{
    for (const std::string& section : ini.Sections())
        if (section.size() == name.size() &&
            std::equal(section.begin(), section.end(), name.begin(),
                       [](char a, char b) { return AsciiLower(a) == AsciiLower(b); }))
            return section;
    return std::nullopt;
}

void CheckName(const std::string& name)
{
    if (std::optional<std::string> problem = ProfileNameProblem(name))
        throw std::invalid_argument(*problem);
}

// Reads, changes and writes the file under its lock, so that writers in other processes (the window, other
// CLI runs) lose nothing.
void Update(const std::string& fileName, const std::function<bool(IniFile&)>& change)
{
    if (fileName.empty())
        throw std::runtime_error("Cannot write the profiles: neither HOME nor XDG_CONFIG_HOME names an "
                                 "absolute directory to keep them in");
    UpdateIniFile(fileName, change, 0600);
}

int HighestUse(const IniFile& ini)
{
    int highest = 0;
    for (const std::string& section : ini.Sections())
        highest = std::max(highest, ini.ReadInteger(section, LastUsedKey, 0));
    return highest;
}

} // namespace

std::optional<std::string> ProfileNameProblem(const std::string& name)
{
    if (name.empty())
        return "A profile needs a name";
    if (name.find_first_of("[]\r\n") != std::string::npos)
        return "A profile name cannot contain brackets or line breaks";
    if (name.front() == ' ' || name.back() == ' ' || name.front() == '\t' || name.back() == '\t')
        return "A profile name cannot start or end with a blank";
    if (name.front() == ';')
        return "A profile name cannot start with ';'";
    return std::nullopt;
}

std::string DefaultProfilesFileName()
{
    std::string base;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/')
        base = config;
    else if (const char* home = std::getenv("HOME"); home && *home == '/')
        base = std::string(home) + "/.config";
    else
        return {}; // never beside whatever directory the program happens to run in
    return base + "/korvel-admin/profiles.ini";
}

ProfileStore::ProfileStore(std::string fileName) : fileName_(std::move(fileName)) {}

std::vector<Profile> ProfileStore::List() const
{
    IniFile ini(fileName_);
    std::vector<std::string> sections = ini.Sections();
    std::vector<std::pair<int, Profile>> used;
    for (const std::string& section : sections)
        used.emplace_back(ini.ReadInteger(section, LastUsedKey, 0), ReadProfile(ini, section));
    std::stable_sort(used.begin(), used.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<Profile> profiles;
    for (auto& entry : used)
        profiles.push_back(std::move(entry.second));
    return profiles;
}

std::optional<Profile> ProfileStore::Find(const std::string& name) const
{
    IniFile ini(fileName_);
    std::optional<std::string> section = SectionOf(ini, name);
    if (!section)
        return std::nullopt;
    return ReadProfile(ini, *section);
}

void ProfileStore::Save(const Profile& profile)
{
    CheckName(profile.Name);
    Update(fileName_,
           [&](IniFile& ini)
           {
               Profile stored = profile;
               stored.Name = SectionOf(ini, profile.Name).value_or(profile.Name);
               WriteProfile(ini, stored);
               return true;
           });
}

void ProfileStore::Add(const Profile& profile)
{
    CheckName(profile.Name);
    Update(fileName_,
           [&](IniFile& ini)
           {
               if (SectionOf(ini, profile.Name))
                   throw std::invalid_argument("A profile named " + profile.Name + " already exists");
               WriteProfile(ini, profile);
               return true;
           });
}

void ProfileStore::Replace(const std::string& oldName, const Profile& profile)
{
    CheckName(profile.Name);
    Update(fileName_,
           [&](IniFile& ini)
           {
               std::optional<std::string> oldSection = SectionOf(ini, oldName);
               std::optional<std::string> newSection = SectionOf(ini, profile.Name);
               if (newSection && (!oldSection || *newSection != *oldSection))
                   throw std::invalid_argument("A profile named " + profile.Name + " already exists");
               if (oldSection && *oldSection != profile.Name)
               {
                   // Renamed: every key moves to the new section, the unknown ones too.
                   for (const std::string& key : ini.Keys(*oldSection))
                       ini.WriteString(profile.Name, key, *ini.Value(*oldSection, key));
                   ini.EraseSection(*oldSection);
               }
               WriteProfile(ini, profile);
               return true;
           });
}

bool ProfileStore::Remove(const std::string& name)
{
    bool removed = false;
    Update(fileName_,
           [&](IniFile& ini)
           {
               if (std::optional<std::string> section = SectionOf(ini, name))
               {
                   ini.EraseSection(*section);
                   removed = true;
               }
               return removed;
           });
    return removed;
}

void ProfileStore::MarkUsed(const std::string& name)
{
    Update(fileName_,
           [&](IniFile& ini)
           {
               std::optional<std::string> section = SectionOf(ini, name);
               if (section)
                   ini.WriteInteger(*section, LastUsedKey, HighestUse(ini) + 1);
               return section.has_value();
           });
}

} // namespace korvel::settings
