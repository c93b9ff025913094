// The running user's connection profiles as targets (korvel-exporter --profiles): `profile:NAME` names the
// profile whose section is NAME, by its exact bytes, and is probed as the window and the CLI would log in to
// it: its mode, host or address, port or service, user, and SSH server, with the password that user's keyring
// keeps for it. Nobody is asked anything: without a kept password the profile reads down and says why on
// stderr, and an unknown SSH host key is refused.
#pragma once

#include "engine/ConnectionDescription.h"
#include "exporter/ModuleConfig.h"
#include "settings/Profiles.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvel::exporter
{

inline constexpr std::string_view ProfileTargetPrefix = "profile:";

// The module (how) and target (where) a profile is probed with; nothing when it names no host or address, or
// no port or service.
std::optional<std::pair<Module, ConnectionDescription>> ProbeOfProfile(const settings::Profile& profile);

class ProfileTargets
{
public:
    explicit ProfileTargets(std::string fileName) : store_(std::move(fileName)) {}

    const std::string& FileName() const { return store_.FileName(); }
    // The file is read on every call, so profiles added or edited meanwhile are served without a restart.
    std::vector<settings::Profile> List() const { return store_.List(); }
    // The profile whose name is exactly `name`; a name that differs in case alone is another profile.
    std::optional<settings::Profile> Find(std::string_view name) const;

private:
    settings::ProfileStore store_;
};

} // namespace korvel::exporter
