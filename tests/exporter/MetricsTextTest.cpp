// The target's metrics as Prometheus reads them: names, labels and values derived from what a probe learnt.
#include "exporter/ServerStatus.h"
#include "testing/exporter/ExporterTestSupport.h"

#include <gtest/gtest.h>

namespace
{

using korvel::exporter::ServerMetricsText;
using korvel::exporter::ServerStatus;
using korvel::exporter::SessionsByMode;
using korvel::test::Samples;

ServerStatus RunningServer()
{
    ServerStatus status;
    status.Up = true;
    status.ScrapeSeconds = 0.25;
    status.Version = "3.21";
    status.ServerName = "north \"1\"";
    status.UptimeSeconds = 3600;
    status.MemoryBytes = 12.5 * 1024 * 1024;
    status.Sessions = 7;
    status.ConnectedSessions = 5;
    status.Users = 3;
    status.Databases = 2;
    status.DenyLogins = true;
    status.MaxConnections = 100;
    status.ConnectionTimeoutSeconds = 300;
    return status;
}

TEST(MetricsTextTest, ReportsARunningServer)
{
    const auto samples = Samples(ServerMetricsText(RunningServer()));
    EXPECT_EQ(samples.at("korvel_up"), 1);
    EXPECT_EQ(samples.at("korvel_scrape_duration_seconds"), 0.25);
    EXPECT_EQ(samples.at(R"(korvel_info{server_name="north \"1\"",version="3.21"})"), 1);
    EXPECT_EQ(samples.at("korvel_main_listener_running"), 1);
    EXPECT_EQ(samples.at("korvel_uptime_seconds"), 3600);
    EXPECT_EQ(samples.at("korvel_memory_bytes"), 13107200);
    EXPECT_EQ(samples.at(R"(korvel_sessions{state="connected"})"), 5);
    EXPECT_EQ(samples.at(R"(korvel_sessions{state="dead"})"), 2);
    EXPECT_EQ(samples.at("korvel_users"), 3);
    EXPECT_EQ(samples.at("korvel_databases"), 2);
    EXPECT_EQ(samples.at("korvel_deny_logins"), 1);
    EXPECT_EQ(samples.at("korvel_max_connections"), 100);
    EXPECT_EQ(samples.at("korvel_connection_timeout_seconds"), 300);
    // No walk of the session list yet: no split by mode rather than a made-up one.
    EXPECT_EQ(samples.count(R"(korvel_sessions_by_mode{mode="lan"})"), 0u);
    EXPECT_EQ(samples.count("korvel_sessions_by_mode_age_seconds"), 0u);
}

TEST(MetricsTextTest, ReportsTheSplitByModeWithTheAgeOfItsWalk)
{
    ServerStatus status = RunningServer();
    status.ByMode = SessionsByMode{4, 3, 12.5};
    const auto samples = Samples(ServerMetricsText(status));
    EXPECT_EQ(samples.at(R"(korvel_sessions_by_mode{mode="lan"})"), 4);
    EXPECT_EQ(samples.at(R"(korvel_sessions_by_mode{mode="internet"})"), 3);
    EXPECT_EQ(samples.at("korvel_sessions_by_mode_age_seconds"), 12.5);
}

TEST(MetricsTextTest, AStoppedListenerReadsAsNotRunningWithoutUptime)
{
    ServerStatus status = RunningServer();
    status.UptimeSeconds = -1;
    const auto samples = Samples(ServerMetricsText(status));
    EXPECT_EQ(samples.at("korvel_main_listener_running"), 0);
    EXPECT_EQ(samples.at("korvel_uptime_seconds"), 0);
    EXPECT_EQ(samples.at("korvel_up"), 1);
}

TEST(MetricsTextTest, AServerThatIsDownShowsOnlyUpAndTheScrapeDuration)
{
    ServerStatus status;
    status.ScrapeSeconds = 1.5;
    const auto samples = Samples(ServerMetricsText(status));
    EXPECT_EQ(samples.size(), 2u);
    EXPECT_EQ(samples.at("korvel_up"), 0);
    EXPECT_EQ(samples.at("korvel_scrape_duration_seconds"), 1.5);
}

} // namespace
