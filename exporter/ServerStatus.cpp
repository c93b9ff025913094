#include "exporter/ServerStatus.h"

#include <algorithm>
#include <prometheus/gauge.h>
#include <prometheus/registry.h>
#include <prometheus/text_serializer.h>

namespace korvel::exporter
{
namespace
{

using prometheus::BuildGauge;
using prometheus::Labels;
using prometheus::Registry;

void AddGauge(Registry& registry, const std::string& name, const std::string& help, double value,
              const Labels& labels = {})
{
    BuildGauge().Name(name).Help(help).Register(registry).Add(labels).Set(value);
}

} // namespace

std::string ServerMetricsText(const ServerStatus& status)
{
    Registry registry;
    AddGauge(registry, "korvel_up", "1 when the server answered and accepted the login, else 0.",
             status.Up ? 1 : 0);
    AddGauge(registry, "korvel_scrape_duration_seconds", "Time the exporter spent probing the server.",
             status.ScrapeSeconds);
    if (status.Up)
    {
        AddGauge(registry, "korvel_info", "The server's engine version and name; always 1.", 1,
                 {{"version", status.Version}, {"server_name", status.ServerName}});
        const bool running = status.UptimeSeconds >= 0;
        AddGauge(registry, "korvel_main_listener_running", "1 while the server's main listener runs.",
                 running ? 1 : 0);
        AddGauge(registry, "korvel_uptime_seconds",
                 "Time the main listener has been running; 0 while stopped.",
                 running ? status.UptimeSeconds : 0);
        AddGauge(registry, "korvel_memory_bytes", "Memory in use by the server.", status.MemoryBytes);
        auto& sessions =
            BuildGauge().Name("korvel_sessions").Help("Server sessions by state.").Register(registry);
        sessions.Add({{"state", "connected"}}).Set(static_cast<double>(status.ConnectedSessions));
        sessions.Add({{"state", "dead"}})
            .Set(static_cast<double>(std::max<std::int64_t>(0, status.Sessions - status.ConnectedSessions)));
        if (status.ByMode)
        {
            auto& byMode = BuildGauge()
                               .Name("korvel_sessions_by_mode")
                               .Help("Server sessions by the mode of their client, from the last walk of the "
                                     "session list.")
                               .Register(registry);
            byMode.Add({{"mode", "lan"}}).Set(static_cast<double>(status.ByMode->Lan));
            byMode.Add({{"mode", "internet"}}).Set(static_cast<double>(status.ByMode->Internet));
            AddGauge(registry, "korvel_sessions_by_mode_age_seconds",
                     "Time since the walk behind korvel_sessions_by_mode ended.", status.ByMode->AgeSeconds);
        }
        AddGauge(registry, "korvel_users", "Users defined on the server.", static_cast<double>(status.Users));
        AddGauge(registry, "korvel_databases", "Databases defined on the server.",
                 static_cast<double>(status.Databases));
        AddGauge(registry, "korvel_deny_logins", "1 while the server refuses new connections.",
                 status.DenyLogins ? 1 : 0);
        AddGauge(registry, "korvel_max_connections", "The server's maximum number of connections.",
                 static_cast<double>(status.MaxConnections));
        AddGauge(registry, "korvel_connection_timeout_seconds", "The server's connection time-out.",
                 static_cast<double>(status.ConnectionTimeoutSeconds));
    }
    return prometheus::TextSerializer().Serialize(registry.Collect());
}

} // namespace korvel::exporter
