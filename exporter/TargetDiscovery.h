// What /targets serves: the targets in Prometheus' http_sd format, a JSON list of groups, each
// {"targets": [...], "labels": {...}}. One group per profile ("profile:NAME", labelled korvel_profile) and
// one per module with targets that are not patterns (labelled korvel_module, and __param_module so that
// Prometheus asks /probe with that module).
#pragma once

#include "exporter/ModuleConfig.h"
#include "settings/Profiles.h"

#include <string>
#include <vector>

namespace korvel::exporter
{

struct Discovery
{
    std::string Json;
    // Profiles and modules whose names are not UTF-8: JSON and Prometheus' labels cannot carry them.
    std::vector<std::string> LeftOut;
};

Discovery DiscoveryOf(const ModuleConfig& modules, const std::vector<settings::Profile>& profiles);

} // namespace korvel::exporter
