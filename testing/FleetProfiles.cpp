#include "testing/FleetProfiles.h"

#include "credentials/Keyring.h"

#include <nlohmann/json.hpp>

#include <fstream>
#include <stdexcept>
#include <unistd.h>

namespace korvel::test
{
namespace
{

using fleet::ServerState;

// The exact bytes of the names.json entry that `why` describes.
std::string HostileName(const std::string& why)
{
    for (const auto& entry : nlohmann::json::parse(std::ifstream(KORVEL_HOSTILE_DIR "/names.json")))
        if (entry["why"].get<std::string>().starts_with(why))
        {
            const std::string hex = entry["hex"];
            std::string bytes;
            for (std::size_t at = 0; at + 1 < hex.size(); at += 2)
                bytes.push_back(static_cast<char>(std::stoi(hex.substr(at, 2), nullptr, 16)));
            return bytes;
        }
    throw std::runtime_error("names.json has no name for " + why);
}

settings::Profile To(const std::string& name, int port, const std::string& user, bool keepPassword = true)
{
    settings::Profile profile;
    profile.Name = name;
    profile.Server.Address = "127.0.0.1";
    profile.Server.Port = static_cast<std::uint16_t>(port);
    profile.User = user;
    profile.KeepPassword = keepPassword;
    if (auto problem = settings::ProfileNameProblem(name))
        throw std::runtime_error("not a profile name: " + *problem);
    return profile;
}

} // namespace

FleetProfiles::FleetProfiles()
{
    for (int count = 0; count < 3; ++count)
        servers_.push_back(std::make_unique<RefServer>());
    silent_ = ListenOnLoopback(silentPort_);
    const RefServerOptions& login = servers_[0]->Options();
    const std::string hostile[] = {HostileName("right-to-left override"), HostileName("Cyrillic a"),
                                   HostileName("wide CJK")};
    // A different count on each, so a row showing another server's numbers, or one for the other, is seen.
    const int sessions[] = {2, 1, 3};
    for (std::size_t at = 0; at < servers_.size(); ++at)
    {
        load_.push_back(std::make_unique<LoadClients>(*servers_[at], sessions[at]));
        rows_.push_back({To(hostile[at], servers_[at]->AdminPort(), login.AdminUser), login.AdminPassword,
                         ServerState::Up, sessions[at]});
    }
    rows_.push_back({To("silent", silentPort_, login.AdminUser), login.AdminPassword, ServerState::NoAnswer});
    rows_.push_back(
        {To("refused", refused_.Port(), login.AdminUser), login.AdminPassword, ServerState::Refused});
    rows_.push_back({To("no-password", servers_[0]->AdminPort(), login.AdminUser, false), std::nullopt,
                     ServerState::PasswordNeeded});
    rows_.push_back({To("wrong-password", servers_[1]->AdminPort(), login.AdminUser),
                     "not-" + login.AdminPassword, ServerState::LoginRefused});
    // Its host key is made afresh for this fleet, so no known_hosts file can know it.
    settings::Profile bastioned = To("bastion", servers_[2]->AdminPort(), login.AdminUser);
    bastioned.Server.Ssh.Host = bastion_.Address();
    bastioned.Server.Ssh.Port = static_cast<std::uint16_t>(bastion_.Port());
    rows_.push_back({bastioned, login.AdminPassword, ServerState::HostKeyUnknown});
}

FleetProfiles::~FleetProfiles()
{
    ::close(silent_);
}

std::vector<settings::Profile> FleetProfiles::Profiles() const
{
    std::vector<settings::Profile> profiles;
    for (const FleetRow& row : rows_)
        profiles.push_back(row.Profile);
    return profiles;
}

std::optional<std::string> FleetProfiles::PasswordOf(const settings::Profile& profile) const
{
    for (const FleetRow& row : rows_)
        if (row.Profile.Name == profile.Name)
            return row.Profile.KeepPassword ? row.KeptPassword : std::nullopt;
    return std::nullopt;
}

fleet::CheckSettings FleetProfiles::Settings() const
{
    fleet::CheckSettings settings;
    settings.Deadline = Deadline;
    settings.Password = [this](const settings::Profile& profile) { return PasswordOf(profile); };
    return settings;
}

void FleetProfiles::SaveProfiles(settings::ProfileStore& store) const
{
    for (const FleetRow& row : rows_)
        store.Save(row.Profile);
}

void FleetProfiles::KeepPasswords() const
{
    for (const FleetRow& row : rows_)
        if (row.Profile.KeepPassword && row.KeptPassword)
            credentials::StorePassword(
                credentials::CredentialKey::ForProfile(row.Profile.Name, row.Profile.User),
                *row.KeptPassword);
}

std::string FleetProfiles::ExpectedText(const FleetRow& row) const
{
    fleet::ServerReport report;
    report.State = row.Expected;
    report.Deadline = Deadline;
    return fleet::StateText(report);
}

} // namespace korvel::test
