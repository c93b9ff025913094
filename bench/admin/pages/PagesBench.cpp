// Status refresh with many sessions against plain administration round trips, and loading a huge log into the
// Log page against receiving and splitting it alone. Each page figure is printed as a ratio to its floor
// ("x_floor"), measured in the same run; the Log page also reports the process's peak resident size.
#include "admin/common/AdminPage.h"
#include "session/KORVELSession.h"
#include "session/SessionList.h"
#include "tests/admin/pages/LoadClients.h"
#include "tests/support/RefServer.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sys/resource.h>

namespace korvel::bench
{
namespace
{

using Clock = std::chrono::steady_clock;

bool Smoke()
{
    const char* smoke = std::getenv("KORVEL_BENCH_SMOKE");
    return smoke != nullptr && std::string(smoke) == "1";
}

// A server, a logged-in session and the pages in a shown window.
struct Setup
{
    explicit Setup(test::RefServerOptions options) : server(std::move(options))
    {
        session.SetSessionName("PagesBench");
        session.SetSessionType(stRemote);
        session.SetRemoteAddress("127.0.0.1");
        session.SetRemotePort(server.AdminPort());
        session.SetRemoteUser(server.Options().AdminUser);
        session.SetRemotePassword(server.Options().AdminPassword);
        session.SetActive(true);
        window.resize(761, 439);
        pages = admin::CreatePages({session, QString()}, &window);
        for (admin::AdminPage* page : pages)
            window.addTab(page, page->Caption());
        window.show();
        QApplication::processEvents();
    }
    ~Setup() { session.SetActive(false); }

    // Clicks the page's button and paints the page's list at once.
    double ClickAndPaint(int page, const char* button, const char* list)
    {
        window.setCurrentIndex(page);
        auto* view = window.findChild<QAbstractItemView*>(QLatin1String(list));
        const auto start = Clock::now();
        window.findChild<QPushButton*>(QLatin1String(button))->click();
        view->viewport()->repaint();
        return std::chrono::duration<double>(Clock::now() - start).count();
    }

    test::RefServer server;
    TKORVELSession session;
    QTabWidget window;
    std::vector<admin::AdminPage*> pages;
};

double statusFloor = 0;
double logFloor = 0;

// Each fixture lives from its first benchmark until released: servers and windows must be gone before the
// session list and the application object.
template <typename Fixture> struct Shared
{
    static Fixture& Get()
    {
        if (!instance)
            instance = std::make_unique<Fixture>();
        return *instance;
    }
    static void Release() { instance.reset(); }
    static inline std::unique_ptr<Fixture> instance;
};

struct StatusFixture : Shared<StatusFixture>
{
    Setup setup{{}};
    int sessions = Smoke() ? 20 : 10000;
    test::LoadClients load{setup.server, sessions};
};

void BM_StatusFloor_AdminRoundTrips(benchmark::State& state)
{
    StatusFixture& fixture = StatusFixture::Get();
    double total = 0;
    for (auto _ : state)
    {
        const auto start = Clock::now();
        for (int i = 0; i < fixture.sessions + 10; ++i)
            benchmark::DoNotOptimize(fixture.setup.session.GetServerUpTime());
        total += std::chrono::duration<double>(Clock::now() - start).count();
    }
    statusFloor = total / static_cast<double>(state.iterations());
    state.counters["round_trips"] = fixture.sessions + 10;
}

// The requests of a refresh without the page: what the session and the server cost on their own.
void BM_StatusRequests_SessionInfoOnly(benchmark::State& state)
{
    StatusFixture& fixture = StatusFixture::Get();
    for (auto _ : state)
    {
        TKORVELSession& session = fixture.setup.session;
        const std::int32_t count = session.GetServerSessionCount();
        for (std::int32_t number = 1; number <= count; ++number)
        {
            std::int32_t id = 0;
            double createdOn = 0, lastConnected = 0;
            std::string user, address, detail;
            bool internet = false;
            session.GetServerSessionInfo(number, id, createdOn, lastConnected, user, address, internet,
                                         detail);
        }
    }
}

void BM_StatusPage_RefreshAndPaint(benchmark::State& state)
{
    StatusFixture& fixture = StatusFixture::Get();
    double total = 0;
    for (auto _ : state)
        total += fixture.setup.ClickAndPaint(0, "RefreshButton", "SessionsListView");
    state.counters["sessions"] = fixture.sessions;
    state.counters["x_floor"] = total / static_cast<double>(state.iterations()) / statusFloor;
}

struct LogFixture : Shared<LogFixture>
{
    static test::RefServerOptions WithLog(const QTemporaryDir& dir, int lines)
    {
        std::ofstream log(dir.filePath("server.log").toStdString(), std::ios::binary);
        const std::string text(80, 'x');
        for (int i = 0; i < lines; ++i)
            log << "2024-01-01 00:00:00 " << text << "\n"; // 100 characters
        test::RefServerOptions options;
        options.DataDir = dir.path().toStdString();
        options.ExtraArgs = {"--max-log", "1000000000"};
        return options;
    }
    int lines = Smoke() ? 1000 : 1000000;
    QTemporaryDir dir;
    Setup setup{WithLog(dir, lines)};
};

void BM_LogFloor_ReceiveAndSplit(benchmark::State& state)
{
    StatusFixture::Release();
    LogFixture& fixture = LogFixture::Get();
    double total = 0;
    for (auto _ : state)
    {
        StringList lines;
        const auto start = Clock::now();
        fixture.setup.session.GetServerLog(lines);
        total += std::chrono::duration<double>(Clock::now() - start).count();
        state.counters["lines"] = static_cast<double>(lines.size());
    }
    logFloor = total / static_cast<double>(state.iterations());
}

void BM_LogPage_LoadAndPaint(benchmark::State& state)
{
    LogFixture& fixture = LogFixture::Get();
    double total = 0;
    for (auto _ : state)
        total += fixture.setup.ClickAndPaint(5, "LoadLogButton", "LogListBox");
    state.counters["x_floor"] = total / static_cast<double>(state.iterations()) / logFloor;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

BENCHMARK(BM_StatusFloor_AdminRoundTrips)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_StatusRequests_SessionInfoOnly)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_StatusPage_RefreshAndPaint)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LogFloor_ReceiveAndSplit)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LogPage_LoadAndPaint)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

void ReleaseFixtures()
{
    StatusFixture::Release();
    LogFixture::Release();
}

} // namespace korvel::bench

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    korvel::CreateSessions();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    korvel::bench::ReleaseFixtures();
    korvel::DestroySessions();
    return 0;
}
