#include "exporter/TargetDiscovery.h"

#include "engine/wire/Utf8.h"
#include "exporter/ProfileTargets.h"

#include <nlohmann/json.hpp>

namespace korvel::exporter
{

Discovery DiscoveryOf(const ModuleConfig& modules, const std::vector<settings::Profile>& profiles)
{
    Discovery discovery;
    nlohmann::json groups = nlohmann::json::array();
    for (const settings::Profile& profile : profiles)
    {
        if (!IsUtf8(profile.Name))
        {
            discovery.LeftOut.push_back("profile " + ShownName(profile.Name));
            continue;
        }
        groups.push_back(
            {{"targets", nlohmann::json::array({std::string(ProfileTargetPrefix) + profile.Name})},
             {"labels", {{"korvel_profile", profile.Name}}}});
    }
    for (const Module& module : modules.Modules())
    {
        nlohmann::json targets = nlohmann::json::array();
        for (const TargetPattern& pattern : module.TargetPatterns)
            if (const std::optional<ConnectionDescription> target = pattern.Literal())
                targets.push_back(target->Endpoint());
        if (targets.empty())
            continue;
        if (!IsUtf8(module.Name))
        {
            discovery.LeftOut.push_back("module " + ShownName(module.Name));
            continue;
        }
        groups.push_back({{"targets", std::move(targets)},
                          {"labels", {{"korvel_module", module.Name}, {"__param_module", module.Name}}}});
    }
    discovery.Json = groups.dump() + "\n";
    return discovery;
}

} // namespace korvel::exporter
