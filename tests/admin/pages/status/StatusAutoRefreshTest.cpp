// The Status page's auto-refresh: its ticks while shown and paused while hidden, its end when the server
// goes, a tick pre-empted by a command, and the picked session kept through many refreshes.
#include "testing/LoadClients.h"
#include "testing/admin/ShortSeconds.h"
#include "testing/admin/WaitFor.h"
#include "tests/admin/pages/status/StatusFixture.h"

#include "admin/pages/status/HistoryChart.h"

#include <QComboBox>
#include <QTimer>

#include <chrono>
#include <thread>

namespace korvel::test
{
namespace
{

// However a refresh's row changes, the view's bookkeeping and the person's clicks interleave, the picked
// session stays picked and current: two hundred auto-refreshes, each inside a click on it, while sessions
// come and go above it in the sorted list.
TEST_F(StatusPageTest, ThePickedSessionStaysPickedThroughTwoHundredAutoRefreshesWhileRowsChange)
{
    const ShortSeconds seconds(std::chrono::milliseconds{5}); // every 2 s lasts 10 ms
    int refreshes = 0;
    StartServer({});
    QObject::connect(runner.get(), &admin::BackgroundRunner::refreshed, [&] { ++refreshes; });
    session->AddServerUser("churn", "churn-pw", "", false);
    LoadClients staying(*server, 12);
    window->show();
    RefreshAtLogin();
    Sessions()->sortByColumn(admin::SessionTableModel::Number(admin::SessionTableModel::Column::CreatedOn),
                             Qt::DescendingOrder); // newest first
    const int row = RowCount() / 2;
    ClickRow(row);
    const std::int32_t picked = IdOf(row);
    ASSERT_EQ(SelectedIds(), std::set<std::int32_t>{picked});
    refreshes = 0;
    Find<QComboBox>("AutoRefreshComboBox")
        ->setCurrentIndex(Find<QComboBox>("AutoRefreshComboBox")->findData(2));
    std::unique_ptr<LoadClients> churn;
    for (int round = 1; round <= 200; ++round)
    {
        if (round % 10 == 0)
            churn = churn ? nullptr
                          : std::make_unique<LoadClients>(*server, 3, LoadKind{false, "churn", "churn-pw"});
        // A click on the picked row, whose press and release the refresh comes between.
        const QModelIndex at = Shown()->index(RowOf(picked), 0);
        Sessions()->scrollTo(at);
        const QPoint point = Sessions()->visualRect(at).center();
        QTest::mousePress(Sessions()->viewport(), Qt::LeftButton, {}, point);
        ASSERT_TRUE(WaitFor([&] { return refreshes >= round; }, 10000)) << "refresh " << round;
        QTest::mouseRelease(Sessions()->viewport(), Qt::LeftButton, {}, point);
        ASSERT_EQ(SelectedIds(), std::set<std::int32_t>{picked}) << "after refresh " << round;
        ASSERT_EQ(Sessions()->currentIndex().data(admin::StatusPage::SessionIdRole).toInt(), picked)
            << "after refresh " << round;
    }
    EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join('\n').toStdString();
}

TEST_F(StatusPageTest, AutoRefreshRunsWhileShownPausesWhileHiddenAndStopsWhenTheServerGoes)
{
    const ShortSeconds seconds; // an interval of 2 s lasts 100 ms
    QStringList lost;
    std::vector<QDateTime> refreshed;
    StartServer({});
    QObject::connect(runner.get(), &admin::BackgroundRunner::refreshed,
                     [&](const QDateTime& when) { refreshed.push_back(when); });
    QObject::connect(runner.get(), &admin::BackgroundRunner::serverLost,
                     [&](const QString& message) { lost << message; });
    window->show();
    RefreshAtLogin();
    refreshed.clear();

    auto* choice = Find<QComboBox>("AutoRefreshComboBox");
    auto* timer = Find<QTimer>("AutoRefreshTimer");
    choice->setCurrentIndex(choice->findData(2));
    ASSERT_TRUE(WaitFor([&] { return refreshed.size() >= 2; }, 8000));
    EXPECT_GE(refreshed[0].msecsTo(refreshed[1]), 90) << "no sooner than the interval";
    EXPECT_EQ(Find<admin::HistoryChart>("HistoryChart")->Samples().size(), 3u);

    // Hidden: the next tick pauses without a refresh, and nothing is scheduled any more; shown again: they
    // resume.
    SetCurrentPage(ServerPage);
    const std::size_t whileHidden = refreshed.size();
    ASSERT_TRUE(WaitFor([&] { return !timer->isActive() && !runner->Busy(); }, 5000))
        << "the auto-refresh went on while the page was hidden";
    EXPECT_LE(refreshed.size(), whileHidden + 1) << "at most the one already under way";
    const std::size_t paused = refreshed.size();
    SetCurrentPage(StatusPage);
    ASSERT_TRUE(WaitFor([&] { return refreshed.size() > paused; }, 5000));

    // The server goes: one message, no error box, and no more ticks.
    server->Kill();
    ASSERT_TRUE(WaitFor([&] { return !lost.isEmpty() && !runner->Busy(); }, 10000));
    EXPECT_FALSE(timer->isActive()) << "a tick is still scheduled";
    EXPECT_EQ(lost.size(), 1);
    EXPECT_TRUE(lost[0].startsWith("Auto-refresh stopped: "));
    EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join('\n').toStdString();
    admin::ViewSettings views;
    PageAt(StatusPage)->StoreViewSettings(views);
    EXPECT_EQ(views.AutoRefreshSeconds, 2) << "the choice is kept for the next login";
    // The control says it stopped, and choosing an interval starts it again.
    EXPECT_EQ(choice->currentText(), "Stopped");
    choice->setCurrentIndex(choice->findData(5));
    ASSERT_TRUE(WaitFor([&] { return lost.size() == 2; }, 15000)) << "the chosen interval did not start it";
    EXPECT_EQ(choice->currentText(), "Stopped");
    EXPECT_EQ(choice->findText("Stopped"), choice->count() - 1) << "one Stopped item only";
}

TEST_F(StatusPageTest, AnAutoRefreshPreEmptedByACommandGoesOnAtTheNextTick)
{
    const ShortSeconds seconds;
    std::vector<QDateTime> refreshed;
    StartServer({});
    QObject::connect(runner.get(), &admin::BackgroundRunner::refreshed,
                     [&](const QDateTime& when) { refreshed.push_back(when); });
    LoadClients load(*server, 100);
    window->show();
    RefreshAtLogin();
    // Every exchange 2 ms slower, so that a refresh is long enough to be caught running.
    session->SetOnRemoteTrace([](TKORVELSession&, const std::string&)
                              { std::this_thread::sleep_for(std::chrono::milliseconds(2)); });
    session->SetRemoteTrace(true);
    Find<QComboBox>("AutoRefreshComboBox")
        ->setCurrentIndex(Find<QComboBox>("AutoRefreshComboBox")->findData(2));
    ASSERT_TRUE(WaitFor([&] { return runner->Busy() && !runner->CommandRunning(); }, 8000));
    refreshed.clear();
    // A command of another part of the window pre-empts the running refresh.
    std::int32_t port = 0;
    ASSERT_TRUE(runner->Submit<std::int32_t>(
        window.get(), {}, [&](admin::JobContext&) { return session->GetServerAdminPort(); },
        [&](std::int32_t value) { port = value; }, [](std::exception_ptr) { ADD_FAILURE() << "no answer"; }));
    ASSERT_TRUE(WaitFor([&] { return port != 0; }));
    EXPECT_EQ(port, server->AdminPort());

    EXPECT_TRUE(WaitFor([&] { return !refreshed.empty(); }, 8000))
        << "the auto-refresh died with the pre-emption";
    EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join('\n').toStdString();
    session->SetOnRemoteTrace(nullptr);
}

} // namespace
} // namespace korvel::test
