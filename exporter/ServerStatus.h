// What one probe learnt about a server, and how its metrics read in the Prometheus text format.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace korvel::exporter
{

// Sessions by the mode their clients use, from the last walk of the session list.
struct SessionsByMode
{
    std::int64_t Lan = 0;
    std::int64_t Internet = 0;
    double AgeSeconds = 0; // since that walk ended
};

struct ServerStatus
{
    bool Up = false;
    double ScrapeSeconds = 0;
    std::string Version;
    std::string ServerName;
    std::int32_t UptimeSeconds = -1; // -1 while the main listener is stopped
    double MemoryBytes = 0;
    std::int64_t Sessions = 0;
    std::int64_t ConnectedSessions = 0;
    std::int64_t Users = 0;
    std::int64_t Databases = 0;
    bool DenyLogins = false;
    std::int64_t MaxConnections = 0;
    std::int64_t ConnectionTimeoutSeconds = 0;
    std::optional<SessionsByMode> ByMode;
};

// The target's metrics in the text exposition format. A server that is down shows korvel_up 0 and the
// scrape duration only.
std::string ServerMetricsText(const ServerStatus& status);

} // namespace korvel::exporter
