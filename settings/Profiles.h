// Connection profiles: named ways to reach a server (mode, host or address, port or service, user name,
// whether its password is kept in the system keyring, and the SSH server to go through), one INI section per
// profile in
// `$XDG_CONFIG_HOME/korvel-admin/profiles.ini`. The window and the CLI share the file. A password is never
// written to it. Keys this program does not know are kept as they are.
#pragma once

#include "settings/Connection.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvel::settings
{

struct Profile
{
    std::string Name;
    // Through an SSH server when Server.Ssh names a host ("SSH Host", "SSH Port", "SSH User", "SSH Identity
    // File" keep its host, port, user and key file; the rest stays at SshSettings' defaults). Port 0, an
    // empty user or identity file: from ~/.ssh/config, else SSH's defaults.
    Connection Server{.Port = DefaultPort};
    std::string User;
    bool KeepPassword = false;

    bool operator==(const Profile&) const = default;
};

// Why `name` cannot name a profile, or nothing when it can. Names become section headers, so they are
// non-empty, without brackets, line breaks or leading and trailing blanks; they are told apart without
// regard to ASCII case.
std::optional<std::string> ProfileNameProblem(const std::string& name);

// The default file: $XDG_CONFIG_HOME (else ~/.config) + "/korvel-admin/profiles.ini"; empty when neither
// is an absolute path (the profiles are then none, and writing them fails with a clear error).
std::string DefaultProfilesFileName();

class ProfileStore
{
public:
    explicit ProfileStore(std::string fileName = DefaultProfilesFileName());

    const std::string& FileName() const { return fileName_; }

    // Every profile, the most recently used first; never used ones follow in file order.
    std::vector<Profile> List() const;
    std::optional<Profile> Find(const std::string& name) const;

    // Each change reads the file, changes it and writes it back at once, under a lock that other processes
    // changing it respect (files/OwnFiles.h), so parallel changes are all kept.

    // Adds or replaces the profile of that name. Raises std::invalid_argument for a bad name and
    // std::runtime_error when the file cannot be written.
    void Save(const Profile& profile);
    // As Save, but raises std::invalid_argument when a profile of that name exists.
    void Add(const Profile& profile);
    // Renames `oldName` (keys it does not know and its place in the last-used order go along) and stores
    // `profile` under its new name. Raises std::invalid_argument when the new name is bad or taken.
    void Replace(const std::string& oldName, const Profile& profile);
    // False when there was no such profile.
    bool Remove(const std::string& name);
    // Moves the profile to the front of the last-used order.
    void MarkUsed(const std::string& name);

private:
    std::string fileName_;
};

} // namespace korvel::settings
