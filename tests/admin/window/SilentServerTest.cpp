// A server that accepts the connection and then says nothing (held with SIGSTOP: the system still accepts and
// buffers, nothing answers). Whatever the window waits for, it keeps painting and answering, shows what it
// waits for with a Cancel, and a click on Cancel puts it back as it was. Waits are checked with generous
// limits; how fast Cancel is, is measured in the benches.
#include "testing/PausedServer.h"
#include "testing/admin/PaintRecorder.h"
#include "testing/admin/ShortSeconds.h"
#include "tests/admin/window/WindowFixture.h"

#include "settings/Profiles.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>

#include <chrono>

namespace korvel::test
{
namespace
{

using admin::Answer;

class SilentServerTest : public WindowTest
{
protected:
    QWidget* Indicator(QWidget* in = nullptr) const
    {
        return (in ? in : form.get())->findChild<QWidget*>("WaitIndicator");
    }
    QString IndicatorText(QWidget* in = nullptr) const
    {
        QWidget* indicator = Indicator(in);
        return indicator ? indicator->findChild<QLabel*>("WaitLabel")->text() : QString();
    }
    // Waits until the indicator offers its Cancel, then clicks it as a person does.
    void ClickCancelOnceOffered(QWidget* in = nullptr)
    {
        QWidget* indicator = Indicator(in);
        ASSERT_NE(indicator, nullptr);
        auto* cancel = indicator->findChild<QPushButton*>("CancelWaitButton");
        ASSERT_TRUE(WaitFor([&] { return cancel->isVisible(); }, 10000)) << "no Cancel was offered";
        QTest::mouseClick(cancel, Qt::LeftButton, {}, cancel->rect().center());
    }
    // The window paints and opens a menu while it waits.
    void ExpectTheWindowAnswers()
    {
        PaintRecorder painted(form->statusBar());
        form->statusBar()->update();
        EXPECT_TRUE(WaitFor([&] { return painted.Paints() > 0; }, 5000)) << "no paint while waiting";
        QMenuBar* bar = form->menuBar();
        QMenu* help = form->findChild<QMenu*>("HelpMenu");
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(help->menuAction()).center());
        EXPECT_TRUE(WaitFor([&] { return help->isVisible(); }, 5000))
            << "the menu did not open while waiting";
        help->hide();
    }
    bool LoggedOutLook() const
    {
        return LoginCaption() == "&Login to Server" && !PageControl()->isVisible() &&
               form->windowTitle() == "KORVEL Admin";
    }
};

TEST_F(SilentServerTest, ALoginThatWaitsIsCancelledWithAClickAndLeavesTheLoggedOutLookWithoutABox)
{
    StartServer();
    OpenWindow();
    LoginAsAdmin();
    Pick("LoginItem"); // out again: the next login offers "admin"
    {
        PausedServer paused(server->Pid());
        form->findChild<QAction*>("LoginItem")->trigger();
        ASSERT_TRUE(WaitFor([&] { return IndicatorText().startsWith("Logging in to 127.0.0.1:"); }, 10000))
            << IndicatorText().toStdString();
        ExpectTheWindowAnswers();
        ClickCancelOnceOffered();
        Settle(); // while the server still says nothing
        EXPECT_TRUE(LoggedOutLook());
        EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join('\n').toStdString();
        EXPECT_EQ(IndicatorText(), "Cancelled");
        EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the wait cursor ended with the command";
    }
    // The server answers again: the next login asks for the password, offering the name kept.
    LoginAsAdmin();
    EXPECT_EQ(LoginCaption(), "&Logout from Server");
    EXPECT_EQ(dialogs.OfferedUserNames.back(), "admin");
    EXPECT_EQ(dialogs.LoginPrompts, 2);
}

TEST_F(SilentServerTest, AProfileLoginThatWaitsIsCancelledToo)
{
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    StartServer();
    settings::Profile profile;
    profile.Name = "Quiet";
    profile.Server.Address = "127.0.0.1";
    profile.Server.Port = static_cast<std::uint16_t>(server->AdminPort());
    profile.User = "admin";
    settings::ProfileStore().Save(profile);
    OpenWindow();
    PausedServer paused(server->Pid());
    QMenu* connectTo = form->findChild<QMenu*>("ConnectToMenu");
    connectTo->popup(form->mapToGlobal(QPoint(10, 10)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(connectTo));
    QTest::mouseClick(connectTo, Qt::LeftButton, {},
                      connectTo->actionGeometry(connectTo->actions().front()).center());

    ClickCancelOnceOffered();
    Settle();
    EXPECT_TRUE(LoggedOutLook());
    EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join('\n').toStdString();
    EXPECT_FALSE(form->findChild<QLabel*>("ProfileLabel")->isVisible());
    qunsetenv("XDG_CONFIG_HOME");
}

TEST_F(SilentServerTest, ACancelledSaveKeepsTheEditsAndSaysTheChangeMayHaveBeenMade)
{
    StartServer();
    OpenWindow(admin::CreatePages);
    LoginAsAdmin();
    PageControl()->setCurrentIndex(2); // Users
    auto* edit = form->findChild<QPushButton*>("EditUserButton");
    QTest::mouseClick(edit, Qt::LeftButton, {}, edit->rect().center());
    auto* description = form->findChild<QPlainTextEdit*>("UserDescriptionMemo");
    description->setPlainText("typed while the server was quiet");
    {
        PausedServer paused(server->Pid());
        auto* save = form->findChild<QPushButton*>("SaveUserButton");
        QTest::mouseClick(save, Qt::LeftButton, {}, save->rect().center());
        ASSERT_TRUE(WaitFor([&] { return IndicatorText().startsWith("Waiting for 127.0.0.1:"); }, 10000))
            << IndicatorText().toStdString();
        ClickCancelOnceOffered();
        Settle();
        EXPECT_EQ(IndicatorText(), "Cancelled; the change may have been made: Refresh to see");
        EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join('\n').toStdString();
        EXPECT_FALSE(save->isHidden()) << "still editing";
        EXPECT_TRUE(save->isEnabled());
        EXPECT_EQ(description->toPlainText(), "typed while the server was quiet");
        EXPECT_EQ(LoginCaption(), "&Logout from Server");
    }
    // The session is still there: the same Save goes through once the server answers.
    auto* save = form->findChild<QPushButton*>("SaveUserButton");
    QTest::mouseClick(save, Qt::LeftButton, {}, save->rect().center());
    Settle();
    EXPECT_TRUE(save->isHidden());
    EXPECT_EQ(description->toPlainText(), "typed while the server was quiet");
    EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join('\n').toStdString();
}

TEST_F(SilentServerTest, ClosingTheWindowWhileACommandWaitsEndsItAndTheProgram)
{
    StartServer();
    OpenWindow(admin::CreatePages);
    LoginAsAdmin();
    PausedServer paused(server->Pid());
    auto* refresh = form->findChild<QPushButton*>("RefreshButton");
    QTest::mouseClick(refresh, Qt::LeftButton, {}, refresh->rect().center());
    ASSERT_TRUE(WaitFor([&] { return form->Runner().CommandRunning(); }));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(form->close());
    CloseWindow();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30)) << "the window waited on";
}

TEST_F(SilentServerTest, AServerThatRefusesToTakeTheSessionBackDuringAnAutoRefreshLogsTheWindowOut)
{
    const ShortSeconds seconds;
    StartServer();
    OpenWindow(admin::CreatePages);
    LoginAsAdmin();
    // Restarted on the same ports without the window's session: the next re-connection is refused.
    const int adminPort = server->AdminPort();
    const int mainPort = server->MainPort();
    RefServerOptions sameServer = server->Options();
    sameServer.DataDir = server->DataDir();
    sameServer.ExtraArgs = {
        "--name", "Demo", "--admin-port", std::to_string(adminPort), "--main-port", std::to_string(mainPort)};
    server->Stop();
    auto restarted = std::make_unique<RefServer>(sameServer);
    auto* choice = form->findChild<QComboBox*>("AutoRefreshComboBox");
    choice->setCurrentIndex(choice->findData(2));
    ASSERT_TRUE(WaitFor([&] { return LoggedOutLook(); }, 20000)) << "still shown as connected";
    EXPECT_TRUE(dialogs.Errors().isEmpty()) << "no box for what nobody asked";
    EXPECT_TRUE(form->statusBar()->currentMessage().contains("no longer knows this session"))
        << form->statusBar()->currentMessage().toStdString();
    Settle();
    EXPECT_FALSE(form->RemoteSession().Active());
}

// A round nobody asked for (the Status page's auto-refresh, the Log page's follow) that the server leaves
// unanswered is given up, its control says so, and the next round comes; once the server answers, the words
// go.
TEST_F(SilentServerTest, AStuckBackgroundRoundSaysNoAnswerAndRetries)
{
    struct Row
    {
        const char* Page;
        std::function<void(admin::TMainForm&)> Start;
        const char* Label;
    };
    const Row rows[] = {
        {"Status",
         [](admin::TMainForm& window)
         {
             auto* choice = window.findChild<QComboBox*>("AutoRefreshComboBox");
             choice->setCurrentIndex(choice->findData(2));
         },
         "AutoRefreshStateLabel"},
        {"Log",
         [](admin::TMainForm& window) { window.findChild<QCheckBox*>("FollowCheckBox")->setChecked(true); },
         "FollowStatusLabel"},
    };
    const ShortSeconds seconds; // the ten seconds without an answer last half a second
    StartServer();
    OpenWindow(admin::CreatePages);
    LoginAsAdmin();
    const QString noAnswer =
        "No answer from 127.0.0.1:" + QString::number(server->AdminPort()) + "; retrying";
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.Page);
        for (int page = 0; page < PageControl()->count(); ++page)
            if (PageControl()->tabText(page).remove('&') == row.Page)
                PageControl()->setCurrentIndex(page);
        auto* label = form->findChild<QLabel*>(row.Label);
        {
            PausedServer paused(server->Pid());
            row.Start(*form);
            ASSERT_TRUE(WaitFor([&] { return label->isVisible() && label->text() == noAnswer; }, 20000))
                << label->text().toStdString();
            EXPECT_EQ(LoginCaption(), "&Logout from Server");
        }
        ASSERT_TRUE(WaitFor([&] { return label->text() != noAnswer; }, 20000)) << "the words stayed";
        EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join('\n').toStdString();
    }
}

} // namespace
} // namespace korvel::test
