#include "exporter/ServerStatus.h"

#include <algorithm>
#include <prometheus/metric_family.h>
#include <prometheus/text_serializer.h>

namespace korvel::exporter
{
namespace
{

using prometheus::ClientMetric;
using prometheus::MetricFamily;

// The families of one scrape, built as the serializer takes them: a registry (its families, their label
// maps and locks) would be built and collected on every scrape only to be thrown away.
class Gauges
{
public:
    Gauges() { families_.reserve(16); }

    void Add(const char* name, const char* help, double value, std::vector<ClientMetric::Label> labels = {})
    {
        families_.push_back({name, help, prometheus::MetricType::Gauge, {}});
        AddSample(value, std::move(labels));
    }
    // Another sample of the family added last; labels in name order, as the serializer leaves them.
    void AddSample(double value, std::vector<ClientMetric::Label> labels)
    {
        ClientMetric& sample = families_.back().metric.emplace_back();
        sample.label = std::move(labels);
        sample.gauge.value = value;
    }
    std::string Text() const { return prometheus::TextSerializer().Serialize(families_); }

private:
    std::vector<MetricFamily> families_;
};

} // namespace

std::string ServerMetricsText(const ServerStatus& status)
{
    Gauges gauges;
    gauges.Add("korvel_up", "1 when the server answered and accepted the login, else 0.", status.Up ? 1 : 0);
    gauges.Add("korvel_scrape_duration_seconds", "Time the exporter spent probing the server.",
               status.ScrapeSeconds);
    if (status.Up)
    {
        gauges.Add("korvel_info", "The server's engine version and name; always 1.", 1,
                   {{"server_name", status.ServerName}, {"version", status.Version}});
        const bool running = status.UptimeSeconds >= 0;
        gauges.Add("korvel_main_listener_running", "1 while the server's main listener runs.",
                   running ? 1 : 0);
        gauges.Add("korvel_uptime_seconds", "Time the main listener has been running; 0 while stopped.",
                   running ? status.UptimeSeconds : 0);
        gauges.Add("korvel_memory_bytes", "Memory in use by the server.", status.MemoryBytes);
        gauges.Add("korvel_sessions", "Server sessions by state.",
                   static_cast<double>(status.ConnectedSessions), {{"state", "connected"}});
        gauges.AddSample(
            static_cast<double>(std::max<std::int64_t>(0, status.Sessions - status.ConnectedSessions)),
            {{"state", "dead"}});
        if (status.ByMode)
        {
            gauges.Add("korvel_sessions_by_mode",
                       "Server sessions by the mode of their client, from the last walk of the session list.",
                       static_cast<double>(status.ByMode->Lan), {{"mode", "lan"}});
            gauges.AddSample(static_cast<double>(status.ByMode->Internet), {{"mode", "internet"}});
            gauges.Add("korvel_sessions_by_mode_age_seconds",
                       "Time since the walk behind korvel_sessions_by_mode ended.",
                       status.ByMode->AgeSeconds);
            // The same age under the name dashboards use for the walk's health: a walk that keeps failing
            // shows as a growing age, never as the server being down.
            gauges.Add("korvel_sessions_walk_age_seconds",
                       "Time since the last complete walk of the session list ended.",
                       status.ByMode->AgeSeconds);
        }
        gauges.Add("korvel_users", "Users defined on the server.", static_cast<double>(status.Users));
        gauges.Add("korvel_databases", "Databases defined on the server.",
                   static_cast<double>(status.Databases));
        gauges.Add("korvel_deny_logins", "1 while the server refuses new connections.",
                   status.DenyLogins ? 1 : 0);
        gauges.Add("korvel_max_connections", "The server's maximum number of connections.",
                   static_cast<double>(status.MaxConnections));
        gauges.Add("korvel_connection_timeout_seconds", "The server's connection time-out.",
                   static_cast<double>(status.ConnectionTimeoutSeconds));
    }
    return gauges.Text();
}

} // namespace korvel::exporter
