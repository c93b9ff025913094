// The exporter over HTTP against real korvel-refservers and korvel-load sessions: what a probe reports, which
// probes are refused before anything is sent, how the session is kept and re-established; and against
// servers that fall silent, left silent and open to the end: a scrape answers by its deadline without
// holding up another target, the next one connects afresh, and neither an eviction nor the exporter's stop
// waits for a silent server.
#include "exporter/Exporter.h"
#include "engine/wire/RequestCodes.h"
#include "testing/Eventually.h"
#include "testing/ForwardingTransport.h"
#include "testing/LoadClients.h"
#include "testing/LoopbackSocket.h"
#include "testing/RefServer.h"
#include "testing/exporter/ExporterTestSupport.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <functional>
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
using korvel::test::Eventually;
using korvel::test::HttpClient;
using korvel::test::HttpReply;
using korvel::test::LoadClients;
using korvel::test::RefServer;
using korvel::test::RefServerOptions;
using korvel::test::RefusingPort;
using korvel::test::Samples;
using korvel::test::SilentPeer;

// The request codes the exporter's sessions sent, in order.
class SentRequests
{
public:
    void Watch(TDataSession& session)
    {
        session.SetTrace(true);
        std::lock_guard lock(mutex_);
        session.SetTraceSink(
            [this, number = ++watched_](const std::string& line)
            {
                const std::string prefix = "Send request - Code: ";
                if (line.rfind(prefix, 0) != 0)
                    return;
                std::lock_guard lock(mutex_);
                codes_.push_back(line.substr(prefix.size(), line.find(' ', prefix.size()) - prefix.size()));
                senders_.push_back(number);
                sent_.notify_all();
            });
    }
    std::vector<std::string> Take()
    {
        std::lock_guard lock(mutex_);
        senders_.clear();
        return std::exchange(codes_, {});
    }
    // The sessions (numbered as watched) that logged in since the last take, once per login.
    std::vector<int> TakeLogins()
    {
        std::lock_guard lock(mutex_);
        std::vector<int> logins;
        for (std::size_t i = 0; i < codes_.size(); ++i)
            if (codes_[i] == "REQUEST_LOGIN")
                logins.push_back(senders_[i]);
        codes_.clear();
        senders_.clear();
        return logins;
    }
    // Waits up to a minute for `code` to be sent; false when it was not.
    bool WaitFor(const std::string& code)
    {
        std::unique_lock lock(mutex_);
        return sent_.wait_for(lock, std::chrono::minutes(1),
                              [&] { return std::find(codes_.begin(), codes_.end(), code) != codes_.end(); });
    }

private:
    std::mutex mutex_;
    std::condition_variable sent_;
    std::vector<std::string> codes_;
    std::vector<int> senders_;
    int watched_ = 0;
};

// True when something connects to `listener` within 200 ms.
bool SomethingConnects(int listener)
{
    pollfd pending{listener, POLLIN, 0};
    return poll(&pending, 1, 200) != 0;
}

Module MonitorModule(std::string name, std::string password, const std::vector<std::string>& targets)
{
    Module module{std::move(name), "admin", std::move(password), {}, {}};
    for (const std::string& target : targets)
        module.TargetPatterns.push_back(*TargetPattern::Parse(target));
    return module;
}

class ExporterTest : public testing::Test
{
protected:
    void StartExporter(std::vector<Module> modules, std::chrono::milliseconds detailInterval,
                       double scrapeTimeout = 10, PoolLimits targets = {})
    {
        ExporterOptions options;
        options.Targets = targets;
        options.Listen = "127.0.0.1:0";
        options.Modules = ModuleConfig(std::move(modules));
        options.ScrapeTimeoutSeconds = scrapeTimeout;
        options.Probe.DetailInterval = detailInterval;
        options.Probe.WalkCallTimeout = std::chrono::seconds(static_cast<int>(scrapeTimeout));
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
    static std::string TargetOf(const SilentPeer& peer) { return "127.0.0.1:" + std::to_string(peer.Port()); }

    double ExporterSample(const std::string& series)
    {
        return Samples(http_.Get(Url("/metrics")).Body).at(series);
    }

    // Stops the exporter, which joins every probe, with the servers it probed left as they are. Should that
    // take over a minute, `release` frees what the probes wait on, so that the test fails rather than hangs.
    void StopExporter(const std::function<void()>& release)
    {
        auto stopped = std::async(std::launch::async, [&] { exporter_.reset(); });
        if (stopped.wait_for(std::chrono::minutes(1)) == std::future_status::ready)
            return;
        release();
        stopped.wait();
        ADD_FAILURE() << "stopping the exporter waited for a silent server";
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

    // The walk runs beside the scrapes on a session of its own; a scrape shows it once it is complete.
    Eventually(
        [&]
        {
            samples = Samples(Probe(TargetOf(server)).Body);
            return samples.count(R"(korvel_sessions_by_mode{mode="lan"})") > 0;
        },
        std::chrono::minutes(1));
    EXPECT_EQ(samples.at("korvel_up"), 1);
    EXPECT_EQ(samples.at(R"(korvel_sessions_by_mode{mode="lan"})"), 3);
    EXPECT_EQ(samples.at(R"(korvel_sessions_by_mode{mode="internet"})"), 2);
    EXPECT_GE(samples.at("korvel_sessions_walk_age_seconds"), 0);

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

    const RefusingPort dead;
    HttpReply unreachable = Probe("127.0.0.1:" + std::to_string(dead.Port()));
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
    const std::string serverPort = std::to_string(server.AdminPort());
    StartExporter({MonitorModule("default", "secret", {"127.0.0.*:" + serverPort})}, std::chrono::minutes(1));

    EXPECT_EQ(Probe("127.0.0.1:" + std::to_string(strangerPort)).Status, 400);
    // A host name that the pattern's text would cover: the password must not go there.
    EXPECT_EQ(Probe("127.0.0.1.attacker.example:" + serverPort).Status, 400);
    EXPECT_EQ(Probe(TargetOf(server), "&module=absent").Status, 400);
    EXPECT_EQ(Probe("no-port").Status, 400);
    EXPECT_EQ(http_.Get(Url("/probe")).Status, 400);
    EXPECT_EQ(Probe(TargetOf(server)).Status, 200);

    EXPECT_FALSE(SomethingConnects(stranger))
        << "the exporter connected to a target its module does not list";
    close(stranger);
    const auto self = Samples(http_.Get(Url("/metrics")).Body);
    EXPECT_EQ(self.at(R"(korvel_exporter_probes_total{outcome="refused"})"), 5);
    EXPECT_EQ(self.at(R"(korvel_exporter_probes_total{outcome="up"})"), 1);
}

TEST_F(ExporterTest, LogsInAgainAfterTheServerRestarts)
{
    RefServerOptions options;
    options.KeepPorts = true; // restarted where the probes point
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
    RefServer first;
    StartExporter({MonitorModule("default", "secret", {"127.0.0.1:*"})}, std::chrono::minutes(1), 10,
                  {.IdleLimit = std::chrono::milliseconds(0)});
    EXPECT_EQ(Samples(Probe(TargetOf(first)).Body).at("korvel_up"), 1);
    EXPECT_TRUE(sent_.WaitFor("REQUEST_LOGOUT")) << "the idle target's session was not logged out";
    const std::vector<int> before = sent_.TakeLogins();
    EXPECT_EQ(Samples(Probe(TargetOf(first)).Body).at("korvel_up"), 1);
    // The probe's and (when it has begun) the session walk's: new sessions, each logging in once.
    const std::vector<int> after = sent_.TakeLogins();
    ASSERT_FALSE(after.empty()) << "the second probe did not log in afresh";
    for (const int session : after)
    {
        EXPECT_EQ(std::count(before.begin(), before.end(), session), 0)
            << "an evicted session was used again";
        EXPECT_EQ(std::count(after.begin(), after.end(), session), 1) << "a session logged in twice";
    }
}

TEST_F(ExporterTest, ASilentServerIsAnsweredByTheDeadlineWithoutDelayingAnotherTarget)
{
    RefServer server;
    SilentPeer silent; // accepts, reads, never answers
    // Without a deadline from the scrape, the probe would wait for the two-minute limit of its own.
    StartExporter({MonitorModule("default", "secret", {"127.0.0.1:*"})}, std::chrono::minutes(1), 120);

    std::atomic<bool> silentAnswered{false};
    HttpReply silentReply;
    std::thread silentScrape(
        [&]
        {
            HttpClient own;
            silentReply = own.Get(Url("/probe?target=" + TargetOf(silent)),
                                  {"X-Prometheus-Scrape-Timeout-Seconds: 5"}, 60);
            silentAnswered = true;
        });
    EXPECT_TRUE(silent.WaitUntilUnanswered(1, std::chrono::minutes(1)));
    const HttpReply live = Probe(TargetOf(server));
    EXPECT_FALSE(silentAnswered) << "the live target waited for the silent one";
    EXPECT_EQ(Samples(live.Body).at("korvel_up"), 1);
    silentScrape.join();
    ASSERT_EQ(silentReply.Status, 200);
    EXPECT_EQ(Samples(silentReply.Body).at("korvel_up"), 0);
    StopExporter([&] { silent.Close(); });
}

TEST_F(ExporterTest, AServerThatFellSilentIsUpAgainWithinTwoScrapesOnceItHeals)
{
    for (const bool duringTheWalk : {false, true})
    {
        SCOPED_TRACE(duringTheWalk ? "silent during the walk of the session list" : "silent during a probe");
        RefServer server;
        LoadClients load(server, 1); // a session for the walk to ask about
        SilentPeer relay(server.AdminPort());
        // Each request of the walk may wait two minutes: only the scrape's deadline can end it sooner.
        StartExporter({MonitorModule("default", "secret", {"127.0.0.1:*"})}, std::chrono::minutes(1), 120);
        const std::vector<std::string> timeout{"X-Prometheus-Scrape-Timeout-Seconds: 2"};
        const auto up = [&] { return Samples(Probe(TargetOf(relay), "", timeout).Body).at("korvel_up"); };

        if (duringTheWalk)
            relay.FallSilentAt(korvel::REQUEST_GETSESSIONINFO);
        EXPECT_EQ(up(), 1);
        if (!duringTheWalk)
        {
            relay.FallSilent();
            EXPECT_EQ(up(), 0);
        }
        ASSERT_TRUE(relay.WaitUntilUnanswered(1, std::chrono::minutes(1))) << "the probe met no silence";
        relay.Heal(); // the silent connection stays open: only the exporter can leave it
        EXPECT_TRUE(up() == 1 || up() == 1) << "still down two scrapes after the server healed";
        StopExporter([&] { relay.Close(); });
    }
}

// A healthy server whose every reply takes a while: the walk of its session list outlasts a scrape's
// deadline, and the scrapes that arrive meanwhile still read it up.
TEST_F(ExporterTest, ASlowWalkOfTheSessionListNeverMakesAHealthyServerReadDown)
{
    class SlowReplies final : public korvel::test::ForwardingTransport
    {
    public:
        using ForwardingTransport::ForwardingTransport;
        std::int32_t Read(std::uint8_t* data, std::int32_t size) override
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(10)); // the server's own pace, not a wait
            return ForwardingTransport::Read(data, size);
        }
    };
    RefServer server;
    LoadClients load(server, 50); // a walk of a second or more, twice the scrape's deadline
    alsoPrepare_ = [](TDataSession& session) {
        session.SetTransportFactory([]
                                    { return std::make_unique<SlowReplies>(korvel::CreateTcpTransport()); });
    };
    StartExporter({MonitorModule("default", "secret", {"127.0.0.1:*"})}, std::chrono::milliseconds(0), 1);

    const std::vector<std::string> timeout{"X-Prometheus-Scrape-Timeout-Seconds: 1"};
    int walksSeen = 0;
    for (int scrape = 0; scrape < 60 && walksSeen < 2; ++scrape)
    {
        const auto samples = Samples(Probe(TargetOf(server), "", timeout).Body);
        ASSERT_EQ(samples.at("korvel_up"), 1) << "scrape " << scrape << " read a healthy server down";
        walksSeen += samples.count(R"(korvel_sessions_by_mode{mode="lan"})") ? 1 : 0;
    }
    EXPECT_GT(walksSeen, 0) << "no walk ever completed beside the scrapes";
    StopExporter([] {});
}

TEST_F(ExporterTest, EvictingAProbeStuckOnASilentServerHoldsUpNoOtherScrape)
{
    RefServer stalling, other;
    LoadClients load(stalling, 1); // a session for the walk to ask about
    SilentPeer relay(stalling.AdminPort());
    relay.FallSilentAt(korvel::REQUEST_GETSESSIONINFO); // answers the probe, then goes silent in the walk
    // Each request of the walk may wait two minutes: only the eviction can end it sooner. The idle limit
    // leaves the walk ample time to meet the silence first.
    StartExporter({MonitorModule("default", "secret", {"127.0.0.1:*"})}, std::chrono::minutes(1), 120,
                  {.IdleLimit = std::chrono::seconds(2)});

    EXPECT_EQ(Samples(Probe(TargetOf(relay)).Body).at("korvel_up"), 1);
    ASSERT_TRUE(relay.WaitUntilUnanswered(1, std::chrono::minutes(1))) << "the walk did not meet the silence";
    // Another target is scraped while the stuck probe ages, is evicted and ends.
    EXPECT_TRUE(Eventually(
        [&]
        {
            const HttpReply reply = http_.Get(Url("/probe?target=" + TargetOf(other)), {}, 60);
            EXPECT_EQ(reply.Status, 200) << "a scrape waited for the stuck probe's eviction";
            if (reply.Status == 200)
            {
                EXPECT_EQ(Samples(reply.Body).at("korvel_up"), 1);
            }
            return relay.OpenConnections() == 0;
        },
        std::chrono::minutes(1)))
        << "the stuck probe was not evicted";
    StopExporter([&] { relay.Close(); });
}

TEST_F(ExporterTest, ATargetBeyondTheCapIsRefusedWithoutConnecting)
{
    RefServer server;
    std::uint16_t strangerPort = 0;
    const int stranger = korvel::test::ListenOnLoopback(strangerPort);
    StartExporter({MonitorModule("default", "secret", {"127.0.0.1:*"})}, std::chrono::minutes(1), 10,
                  {.MaxProbes = 1});

    EXPECT_EQ(Probe(TargetOf(server)).Status, 200);
    EXPECT_EQ(Probe("127.0.0.1:" + std::to_string(strangerPort)).Status, 503);
    EXPECT_FALSE(SomethingConnects(stranger)) << "the exporter connected to a target beyond its cap";
    close(stranger);
    EXPECT_EQ(Probe(TargetOf(server)).Status, 200); // the target it has goes on being probed
    EXPECT_EQ(ExporterSample("korvel_exporter_targets"), 1);
    EXPECT_EQ(ExporterSample(R"(korvel_exporter_probes_total{outcome="unavailable"})"), 1);
}

TEST_F(ExporterTest, AHostThatNeverAnswersTheConnectHoldsTheProbeNoLongerThanTheScrape)
{
    korvel::test::UnansweredListener blackhole;
    // Time-outs of its own far beyond the scrape's 2 s: only the scrape's deadline can end the connect.
    StartExporter({MonitorModule("default", "secret", {"127.0.0.1:*"})}, std::chrono::minutes(1), 120);

    const HttpReply reply = Probe("127.0.0.1:" + std::to_string(blackhole.Port()), "",
                                  {"X-Prometheus-Scrape-Timeout-Seconds: 2"});
    ASSERT_EQ(reply.Status, 200);
    EXPECT_EQ(Samples(reply.Body).at("korvel_up"), 0);
    StopExporter([&] { blackhole.Close(); });
}

} // namespace
