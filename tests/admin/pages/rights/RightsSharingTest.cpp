// The Rights page shares the window's runner with the other pages: its read gives way to a command on another
// page and says so, its Cancel stops only the read, and a read asked for while a command runs waits for it.
// The server is held still (SIGSTOP) while the test acts, so a request under way waits for the test.
#include "admin/pages/rights/RightsPage.h"
#include "testing/PausedServer.h"
#include "tests/admin/pages/PageFixture.h"

#include <QApplication>
#include <QLabel>

namespace korvel::test
{
namespace
{

constexpr int Users = 50;
constexpr int Databases = 40;

class RightsSharingTest : public PagesTest
{
protected:
    // Every user on every database: enough requests that the read is still under way when the test acts.
    void SetUp() override
    {
        PagesTest::SetUp();
        for (int u = 0; u < Users; ++u)
            session->AddServerUser("user" + std::to_string(u), "pw", "", false);
        for (int d = 0; d < Databases; ++d)
        {
            const std::string database = "db" + std::to_string(d);
            session->AddServerDatabase(database, "", "/data/" + database);
            for (int u = 0; u < Users; ++u)
                session->AddServerDatabaseUser(database, "user" + std::to_string(u), {urRead});
        }
        FillAtLogin();
        window->show();
        SetCurrentPage(StatusPage);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    admin::RightsPage* Page() const { return static_cast<admin::RightsPage*>(PageAt(RightsPage)); }
    int ColumnsRead() const { return Page()->Model().DatabasesRead(); }
    QString Status() const { return Find<QLabel>("RightsStatusLabel")->text(); }
    void ClickButton(const char* name) const { QTest::mouseClick(Find<QPushButton>(name), Qt::LeftButton); }

    // Shows the Rights page, whose first showing starts the read, and holds the server once a column or more
    // has arrived.
    std::unique_ptr<PausedServer> PauseWhileReading()
    {
        SetCurrentPage(RightsPage);
        EXPECT_TRUE(WaitFor([this] { return ColumnsRead() > 0; }, 20000));
        auto paused = std::make_unique<PausedServer>(server->Pid());
        QCoreApplication::processEvents(); // the columns that arrived before the pause
        EXPECT_TRUE(Page()->Busy());
        EXPECT_LT(ColumnsRead(), Databases) << "the read ended before the test could act";
        return paused;
    }
    // The Status page's Refresh, a user command through the same runner.
    void RefreshStatusPage()
    {
        SetCurrentPage(StatusPage);
        ClickButton("RefreshButton");
    }
    void ExpectStatusPageRefreshed() const
    {
        EXPECT_EQ(Text("EngineVersionEdit"), "KORVEL Version 3.21");
        EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the command's wait cursor ended";
        EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join('\n').toStdString();
    }
    void ExpectWholeGridAfterWaiting()
    {
        ASSERT_TRUE(WaitFor([this] { return !Page()->Busy(); }, 20000));
        EXPECT_EQ(ColumnsRead(), Databases);
        EXPECT_EQ(Status(), QStringLiteral("%1 users, %2 databases").arg(Users + 1).arg(Databases));
    }
};

TEST_F(RightsSharingTest, ACommandOnAnotherPageInterruptsTheReadWhichSaysSoAndReadsAgainWhenShown)
{
    auto paused = PauseWhileReading();
    const int read = ColumnsRead();
    RefreshStatusPage();
    EXPECT_TRUE(WaitFor([this] { return !Page()->Busy(); })) << "the read made way at once";
    EXPECT_EQ(Status(), QStringLiteral("Reading interrupted by another command: %1 of %2 databases read. "
                                       "Refresh reads again.")
                            .arg(read)
                            .arg(Databases));
    EXPECT_FALSE(Find("RefreshRightsButton")->isEnabled()) << "while the command runs";
    EXPECT_TRUE(Find("CancelRightsButton")->isHidden());

    paused->Resume();
    WaitForRunner();
    ExpectStatusPageRefreshed();
    EXPECT_EQ(ColumnsRead(), read) << "nothing of the interrupted read arrived after it";
    EXPECT_TRUE(Find("RefreshRightsButton")->isEnabled());

    SetCurrentPage(RightsPage);
    ExpectWholeGridAfterWaiting();
}

TEST_F(RightsSharingTest, CancelStopsOnlyTheReadAndRefreshReadsAgain)
{
    auto paused = PauseWhileReading();
    ClickButton("CancelRightsButton");
    const int read = ColumnsRead();
    EXPECT_FALSE(Page()->Busy());
    EXPECT_EQ(Status(),
              QStringLiteral("Reading cancelled: %1 of %2 databases read.").arg(read).arg(Databases));
    RefreshStatusPage(); // queued behind the request the read had under way

    paused->Resume();
    WaitForRunner();
    ExpectStatusPageRefreshed();
    EXPECT_EQ(ColumnsRead(), read);

    SetCurrentPage(RightsPage);
    QCoreApplication::processEvents(); // whatever the showing queued
    EXPECT_FALSE(Page()->Busy()) << "a cancelled read starts again by itself";
    EXPECT_EQ(ColumnsRead(), read);
    ClickButton("RefreshRightsButton");
    ExpectWholeGridAfterWaiting();
}

TEST_F(RightsSharingTest, AReadAskedForWhileACommandRunsWaitsForIt)
{
    PausedServer paused(server->Pid());
    RefreshStatusPage();
    SetCurrentPage(RightsPage);
    EXPECT_TRUE(Page()->Busy());
    EXPECT_EQ(Status(), "Waiting for other work to end...");
    EXPECT_TRUE(PagesTest::Shown("CancelRightsButton"));

    paused.Resume();
    ExpectWholeGridAfterWaiting();
    WaitForRunner();
    ExpectStatusPageRefreshed();
}

TEST_F(RightsSharingTest, LogoutStopsTheReadAndTheNextLoginReadsTheWholeGrid)
{
    auto paused = PauseWhileReading();
    // What the window does at logout: the runner drops its work, then the pages stop theirs.
    runner->CancelAll();
    Page()->StopRepeatedWork();
    EXPECT_FALSE(Page()->Busy());
    EXPECT_EQ(Status(), "Not logged in.");
    EXPECT_TRUE(Find("CancelRightsButton")->isHidden());
    const int read = ColumnsRead();
    paused->Resume();
    WaitForRunner();
    EXPECT_EQ(ColumnsRead(), read);

    FillAtLogin(); // the page is shown: the grid is read at once
    ExpectWholeGridAfterWaiting();
}

} // namespace
} // namespace korvel::test
