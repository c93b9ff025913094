// One fleet of servers in every state a server check can report, and the profiles that lead to them: the
// window's, the CLI's and the exporter's tests check the same rows. Three reference servers (their profiles
// named by hostile names, shown escaped), one peer that accepts and never answers, one refused port, one
// profile that keeps no password, one whose password the server refuses, and one through a test sshd whose
// host key nobody trusts.
#pragma once

#include "fleet/ServerCheck.h"
#include "settings/Profiles.h"
#include "testing/LoadClients.h"
#include "testing/LoopbackSocket.h"
#include "testing/RefServer.h"
#include "testing/SshServer.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvel::test
{

struct FleetRow
{
    settings::Profile Profile;
    std::optional<std::string> KeptPassword; // what the keyring keeps for the profile
    fleet::ServerState Expected;
    int Sessions = 0; // held on its server, each connected, when it is up
};

class FleetProfiles
{
public:
    // How long a check of this fleet may take: the silent peer's row says "No answer in 2 s".
    static constexpr std::chrono::seconds Deadline{2};

    FleetProfiles();
    ~FleetProfiles();
    FleetProfiles(const FleetProfiles&) = delete;
    FleetProfiles& operator=(const FleetProfiles&) = delete;

    const std::vector<FleetRow>& Rows() const { return rows_; }
    std::vector<settings::Profile> Profiles() const;
    // The password the keyring keeps for `profile`, as CheckSettings::Password asks it.
    std::optional<std::string> PasswordOf(const settings::Profile& profile) const;
    // Check settings with this fleet's deadline, the passwords injected.
    fleet::CheckSettings Settings() const;
    // Writes every profile to `store`, and their passwords to the keyring (for the programs' tests).
    void SaveProfiles(settings::ProfileStore& store) const;
    void KeepPasswords() const;
    // The expected state's text, as a table or view shows it.
    std::string ExpectedText(const FleetRow& row) const;

private:
    std::vector<std::unique_ptr<RefServer>> servers_;
    std::vector<std::unique_ptr<LoadClients>> load_;
    std::uint16_t silentPort_ = 0;
    int silent_ = -1; // listening, never accepting: connections complete and nothing answers
    RefusingPort refused_;
    SshServer bastion_;
    std::vector<FleetRow> rows_;
};

} // namespace korvel::test
