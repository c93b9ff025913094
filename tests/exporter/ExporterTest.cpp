// The exporter over HTTP against real korvel-refservers and korvel-load sessions: what a probe reports, which
// probes are refused before anything is sent, how the session is kept and re-established, and how a silent
// server is cut off at its deadline without holding up another target, and how a host that never answers
// the connect frees the probe by the scrape's deadline.
#include "exporter/Exporter.h"
#include "tests/exporter/ExporterTestSupport.h"
#include "tests/support/ForwardingTransport.h"
#include "tests/support/LoadClients.h"
#include "tests/support/LoopbackSocket.h"
#include "tests/support/RefServer.h"

#include <algorithm>
#include <atomic>
#include <future>
#include <gtest/gtest.h>
#include <mutex>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace
{

using namespace korvel::exporter;
using korvel::TDataSession;
using korvel::test::HttpClient;
using korvel::test::HttpReply;
using korvel::test::LoadClients;
using korvel::test::RefServer;
using korvel::test::RefServerOptions;
using korvel::test::Samples;

// The request codes the exporter's sessions sent, in order.
class SentRequests
{
public:
    void Watch(TDataSession& session)
    {
        session.SetTrace(true);
        session.SetTraceSink(
            [this](const std::string& line)
            {
                const std::string prefix = "Send request - Code: ";
                if (line.rfind(prefix, 0) != 0)
                    return;
                std::lock_guard lock(mutex_);
                codes_.push_back(line.substr(prefix.size(), line.find(' ', prefix.size()) - prefix.size()));
            });
    }
    std::vector<std::string> Take()
    {
        std::lock_guard lock(mutex_);
        return std::exchange(codes_, {});
    }

private:
    std::mutex mutex_;
    std::vector<std::string> codes_;
};

Module MonitorModule(std::string name, std::string password, std::vector<std::string> targets)
{
    return Module{std::move(name), "admin", std::move(password), false, std::move(targets)};
}

class ExporterTest : public testing::Test
{
protected:
    void StartExporter(std::vector<Module> modules, std::chrono::milliseconds detailInterval,
                       double scrapeTimeout = 10,
                       std::chrono::milliseconds idleLimit = ExporterOptions().ProbeIdleLimit)
    {
        ExporterOptions options;
        options.ProbeIdleLimit = idleLimit;
        options.Listen = "127.0.0.1:0";
        options.Modules = ModuleConfig(std::move(modules));
        options.DefaultScrapeTimeoutSeconds = scrapeTimeout;
        options.Probe.DetailInterval = detailInterval;
        options.Probe.IoTimeoutSeconds = static_cast<std::int32_t>(scrapeTimeout);
        options.Probe.PrepareSession = [this](TDataSession& session)
        {
            sent_.Watch(session);
            if (alsoPrepare_)
                alsoPrepare_(session);
        };
        exporter_ = std::make_unique<Exporter>(std::move(options));
    }

    std::string Url(const std::string& pathAndQuery) const
    {
        return "http://127.0.0.1:" + std::to_string(exporter_->Port()) + pathAndQuery;
    }

    HttpReply Probe(const std::string& target, const std::string& extra = "",
                    const std::vector<std::string>& headers = {})
    {
        return http_.Get(Url("/probe?target=" + target + extra), headers);
    }

    static std::string TargetOf(const RefServer& server)
    {
        return "127.0.0.1:" + std::to_string(server.AdminPort());
    }

    SentRequests sent_;
    std::function<void(TDataSession&)> alsoPrepare_;
    HttpClient http_;
    std::unique_ptr<Exporter> exporter_;
};

TEST_F(ExporterTest, ReportsAServerAndTheSessionsItHolds)
{
    RefServerOptions named;
    named.ExtraArgs = {"--name", "north"};
    RefServer server(named);
    LoadClients lan(server, 3);
    LoadClients internet(server, 2, {true, "", ""});
    StartExporter({MonitorModule("default", "secret", {"127.0.0.1:*"})}, std::chrono::minutes(1));

    const HttpReply first = Probe(TargetOf(server));
    ASSERT_EQ(first.Status, 200) << first.Body;
    auto samples = Samples(first.Body);
    EXPECT_EQ(samples.at("korvel_up"), 1);
    EXPECT_EQ(samples.at(R"(korvel_info{server_name="north",version="3.21"})"), 1);
    EXPECT_EQ(samples.at(R"(korvel_sessions{state="connected"})"), 5);
    EXPECT_EQ(samples.at(R"(korvel_sessions{state="dead"})"), 0);
    EXPECT_EQ(samples.at("korvel_main_listener_running"), 1);
    EXPECT_EQ(samples.at("korvel_users"), 1);
    EXPECT_GT(samples.at("korvel_memory_bytes"), 1024 * 1024);
    EXPECT_EQ(samples.count(R"(korvel_sessions_by_mode{mode="lan"})"), 0u); // the walk follows the answer

    samples = Samples(Probe(TargetOf(server)).Body);
    EXPECT_EQ(samples.at(R"(korvel_sessions_by_mode{mode="lan"})"), 3);
    EXPECT_EQ(samples.at(R"(korvel_sessions_by_mode{mode="internet"})"), 2);
    EXPECT_GE(samples.at("korvel_sessions_by_mode_age_seconds"), 0);

    // Within the detail interval a scrape costs a fixed handful of requests on the session already open.
    const std::vector<std::string> expected{
        "REQUEST_GETUPTIME", "REQUEST_GETMEMORYUSAGE", "REQUEST_GETSESSIONS", "REQUEST_GETCONNECTEDSESSIONS",
        "REQUEST_GETCONFIG", "REQUEST_GETUSERNAMES",   "REQUEST_GETDBNAMES"};
    sent_.Take();
    EXPECT_EQ(Samples(Probe(TargetOf(server)).Body).at("korvel_up"), 1);
    EXPECT_EQ(sent_.Take(), expected);
}

TEST_F(ExporterTest, ShowsADownServerAsUpZeroAndNeverTakesAPasswordFromTheUrl)
{
    RefServer server;
    StartExporter({MonitorModule("default", "secret", {"127.0.0.1:*"}),
                   MonitorModule("stale", "old-password", {"127.0.0.1:*"})},
                  std::chrono::minutes(1));

    HttpReply refused = Probe(TargetOf(server), "&module=stale&password=secret&user=admin");
    ASSERT_EQ(refused.Status, 200);
    EXPECT_EQ(Samples(refused.Body).at("korvel_up"), 0);

    HttpReply unreachable = Probe("127.0.0.1:" + std::to_string(korvel::test::DeadLoopbackPort()));
    ASSERT_EQ(unreachable.Status, 200);
    EXPECT_EQ(Samples(unreachable.Body).at("korvel_up"), 0);
    EXPECT_EQ(Samples(unreachable.Body).count("korvel_sessions{state=\"connected\"}"), 0u);

    const auto self = Samples(http_.Get(Url("/metrics")).Body);
    EXPECT_EQ(self.at(R"(korvel_exporter_probes_total{outcome="down"})"), 2);
    EXPECT_GT(self.at("process_resident_memory_bytes"), 0);
}

TEST_F(ExporterTest, RefusesProbesOutsideTheModuleBeforeConnecting)
{
    RefServer server;
    std::uint16_t strangerPort = 0;
    const int stranger = korvel::test::ListenOnLoopback(strangerPort);
    StartExporter({MonitorModule("default", "secret", {TargetOf(server)})}, std::chrono::minutes(1));

    EXPECT_EQ(Probe("127.0.0.1:" + std::to_string(strangerPort)).Status, 400);
    EXPECT_EQ(Probe(TargetOf(server), "&module=absent").Status, 400);
    EXPECT_EQ(Probe("no-port").Status, 400);
    EXPECT_EQ(http_.Get(Url("/probe")).Status, 400);
    EXPECT_EQ(Probe(TargetOf(server)).Status, 200);

    pollfd pending{stranger, POLLIN, 0};
    EXPECT_EQ(poll(&pending, 1, 200), 0) << "the exporter connected to a target its module does not list";
    close(stranger);
    const auto self = Samples(http_.Get(Url("/metrics")).Body);
    EXPECT_EQ(self.at(R"(korvel_exporter_probes_total{outcome="refused"})"), 4);
    EXPECT_EQ(self.at(R"(korvel_exporter_probes_total{outcome="up"})"), 1);
}

TEST_F(ExporterTest, LogsInAgainAfterTheServerRestarts)
{
    const int adminPort = korvel::test::DeadLoopbackPort();
    RefServerOptions options;
    options.ExtraArgs = {"--admin-port", std::to_string(adminPort)};
    RefServer server(options);
    StartExporter({MonitorModule("default", "secret", {"127.0.0.1:*"})}, std::chrono::minutes(1));

    EXPECT_EQ(Samples(Probe(TargetOf(server)).Body).at("korvel_up"), 1);
    server.Kill();
    EXPECT_EQ(Samples(Probe(TargetOf(server)).Body).at("korvel_up"), 0);
    server.Start();
    sent_.Take();
    EXPECT_EQ(Samples(Probe(TargetOf(server)).Body).at("korvel_up"), 1);
    const auto codes = sent_.Take();
    ASSERT_GE(codes.size(), 2u);
    EXPECT_EQ(codes[0], "REQUEST_CONNECTPARAMS");
    EXPECT_EQ(codes[1], "REQUEST_LOGIN");
}

TEST_F(ExporterTest, ATargetLeftIdleIsLoggedOutAndLaterProbedAfresh)
{
    RefServer first, second;
    StartExporter({MonitorModule("default", "secret", {"127.0.0.1:*"})}, std::chrono::minutes(1), 10,
                  std::chrono::milliseconds(0));
    EXPECT_EQ(Samples(Probe(TargetOf(first)).Body).at("korvel_up"), 1);
    sent_.Take();
    EXPECT_EQ(Samples(Probe(TargetOf(second)).Body).at("korvel_up"), 1);
    auto codes = sent_.Take();
    EXPECT_NE(std::find(codes.begin(), codes.end(), "REQUEST_LOGOUT"), codes.end())
        << "the idle target's session was not logged out";
    EXPECT_EQ(Samples(Probe(TargetOf(first)).Body).at("korvel_up"), 1);
    codes = sent_.Take();
    EXPECT_EQ(std::count(codes.begin(), codes.end(), "REQUEST_LOGIN"), 1);
}

TEST_F(ExporterTest, ASilentServerIsCutOffAtItsDeadlineWithoutDelayingAnotherTarget)
{
    RefServer server;
    std::uint16_t silentPort = 0;
    const int silent = korvel::test::ListenOnLoopback(silentPort); // connects, never answers
    // Without a deadline from the scrape, the probe would wait for its two-minute read time-out.
    StartExporter({MonitorModule("default", "secret", {"127.0.0.1:*"})}, std::chrono::minutes(1), 120);

    std::atomic<bool> silentAnswered{false};
    HttpReply silentReply;
    std::thread silentScrape(
        [&]
        {
            HttpClient own;
            silentReply = own.Get(Url("/probe?target=127.0.0.1:" + std::to_string(silentPort)),
                                  {"X-Prometheus-Scrape-Timeout-Seconds: 5"}, 60);
            silentAnswered = true;
        });
    const HttpReply live = Probe(TargetOf(server));
    EXPECT_FALSE(silentAnswered) << "the live target waited for the silent one";
    EXPECT_EQ(Samples(live.Body).at("korvel_up"), 1);
    silentScrape.join();
    ASSERT_EQ(silentReply.Status, 200);
    EXPECT_EQ(Samples(silentReply.Body).at("korvel_up"), 0);
    close(silent); // resets the waiting connection, so the probe's thread can end
}

// The connect time-out each opening of a connection was given.
class ConnectTimeouts
{
public:
    void Watch(TDataSession& session)
    {
        session.SetTransportFactory([this] { return std::make_unique<Recording>(*this); });
    }
    std::vector<int> Seen()
    {
        std::lock_guard lock(mutex_);
        return seen_;
    }

private:
    class Recording : public korvel::test::ForwardingTransport
    {
    public:
        explicit Recording(ConnectTimeouts& owner)
            : ForwardingTransport(korvel::CreateTcpTransport()), owner_(owner)
        {
        }
        void Open(const korvel::Endpoint& endpoint, int connectTimeoutMs, int streamTimeoutMs,
                  const korvel::WaitLimits* limits) override
        {
            {
                std::lock_guard lock(owner_.mutex_);
                owner_.seen_.push_back(connectTimeoutMs);
            }
            ForwardingTransport::Open(endpoint, connectTimeoutMs, streamTimeoutMs, limits);
        }

    private:
        ConnectTimeouts& owner_;
    };

    std::mutex mutex_;
    std::vector<int> seen_;
};

TEST_F(ExporterTest, AHostThatNeverAnswersTheConnectFreesTheProbeByTheScrapesDeadline)
{
    korvel::test::UnansweredListener blackhole;
    ConnectTimeouts timeouts;
    alsoPrepare_ = [&](TDataSession& session) { timeouts.Watch(session); };
    // Time-outs of its own far beyond the scrape's 2 s: only the scrape's deadline can end the connect.
    StartExporter({MonitorModule("default", "secret", {"127.0.0.1:*"})}, std::chrono::minutes(1), 120);

    const HttpReply reply = Probe("127.0.0.1:" + std::to_string(blackhole.Port()), "",
                                  {"X-Prometheus-Scrape-Timeout-Seconds: 2"});
    ASSERT_EQ(reply.Status, 200);
    EXPECT_EQ(Samples(reply.Body).at("korvel_up"), 0);

    // The probe's thread is free again: stopping the exporter, which joins it, needs no help from the
    // blackhole. Should it hang, closing the listener ends the connect so that the test fails, not hangs.
    auto stopped = std::async(std::launch::async, [&] { exporter_.reset(); });
    if (stopped.wait_for(std::chrono::seconds(60)) != std::future_status::ready)
    {
        blackhole.Close();
        stopped.wait();
        FAIL() << "the probe was still connecting";
    }
    const std::vector<int> seen = timeouts.Seen();
    ASSERT_FALSE(seen.empty());
    for (int milliseconds : seen)
    {
        EXPECT_GT(milliseconds, 0);
        EXPECT_LE(milliseconds, 2000) << "more than the scrape allowed";
    }
}

} // namespace
