// The window with its real pages: the login refresh reaches every page, the smallest size leaves room for
// them, the lists take the room of a larger window, and the status bar shows the connection.
#include "admin/pages/CreatePages.h"
#include "testing/admin/ListRows.h"
#include "testing/admin/ShortSeconds.h"
#include "testing/admin/WaitFor.h"
#include "tests/admin/window/WindowFixture.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include <map>
#include <string>

namespace korvel::test
{
namespace
{

// All at once, and as the program makes them: the Servers view before the first paint, the others after it
// or when something needs them sooner. Either way the window must end up the same.
struct PageMaking
{
    const char* Name;
    admin::PageFactory First;
    admin::PageFactory AfterPaint;
};
const PageMaking PageMakings[] = {
    {"at once", admin::CreatePages, {}},
    {"after the first paint", admin::CreateLoggedOutPages, admin::CreateTabPages}};

TEST_F(WindowTest, RealPagesAreFilledAtLoginAndHiddenAtLogout)
{
    StartServer();
    for (const PageMaking& making : PageMakings)
    {
        SCOPED_TRACE(making.Name);
        // The login may come before the first paint: it makes the pages it reads.
        OpenWindow(making.First, making.AfterPaint);
        const QSize shown = form->size();
        LoginAsAdmin();
        EXPECT_EQ(form->size(), shown) << "the pages made later fit the window as it was shown";
        EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join("\n").toStdString();
        ASSERT_TRUE(PageControl()->isVisible());
        QStringList captions;
        for (int index = 0; index < PageControl()->count(); ++index)
            captions << PageControl()->tabText(index);
        EXPECT_EQ(captions, (QStringList{"Status", "Server", "Users", "Databases", "Database Users", "Rights",
                                         "Log", "Servers"}));
        auto* engine = form->findChild<QLineEdit*>("EngineVersionEdit");
        ASSERT_NE(engine, nullptr);
        EXPECT_EQ(engine->text(), "KORVEL Version 3.21") << "the Status page was refreshed";
        // The refresh disabled the button meanwhile: the focus is back on it.
        EXPECT_EQ(form->focusWidget(), form->findChild<QWidget*>("RefreshButton"));

        Pick("LoginItem");
        EXPECT_FALSE(PageControl()->isVisible());
        EXPECT_TRUE(dialogs.Errors().isEmpty());
        CloseWindow();
    }
}

// The controls of the current page that a user sees, each with its rectangle in the page's coordinates;
// the parts inside a list or a combo box belong to it.
std::vector<std::pair<QWidget*, QRect>> VisibleControls(QWidget* page)
{
    auto isControl = [](QWidget* widget)
    {
        return qobject_cast<QAbstractItemView*>(widget) || qobject_cast<QAbstractButton*>(widget) ||
               qobject_cast<QLineEdit*>(widget) || qobject_cast<QLabel*>(widget) ||
               qobject_cast<QComboBox*>(widget) || qobject_cast<QPlainTextEdit*>(widget);
    };
    std::vector<std::pair<QWidget*, QRect>> controls;
    for (QWidget* widget : page->findChildren<QWidget*>())
    {
        if (!widget->isVisible() || !isControl(widget))
            continue;
        bool inner = false;
        for (QWidget* parent = widget->parentWidget(); parent != page && parent != nullptr;
             parent = parent->parentWidget())
            inner = inner || isControl(parent);
        if (!inner)
            controls.emplace_back(widget, QRect(widget->mapTo(page, QPoint(0, 0)), widget->size()));
    }
    return controls;
}

TEST_F(WindowTest, ControlsNeverOverlapAndTheListsTakeTheRoomOfALargerWindow)
{
    StartServer();
    OpenWindow(admin::CreatePages);
    LoginAsAdmin();
    ASSERT_TRUE(PageControl()->isVisible());
    std::map<QString, int> smallListHeights;
    for (QSize size : {form->minimumSize(), QSize(1600, 1000)})
    {
        form->resize(size);
        for (int index = 0; index < PageControl()->count(); ++index)
        {
            PageControl()->setCurrentIndex(index);
            QApplication::processEvents();
            QWidget* page = PageControl()->currentWidget();
            SCOPED_TRACE(PageControl()->tabText(index).toStdString() + " at " + std::to_string(size.width()));
            const auto controls = VisibleControls(page);
            for (std::size_t a = 0; a < controls.size(); ++a)
            {
                EXPECT_TRUE(page->rect().contains(controls[a].second))
                    << controls[a].first->objectName().toStdString() << " is clipped";
                for (std::size_t b = a + 1; b < controls.size(); ++b)
                    EXPECT_FALSE(controls[a].second.intersects(controls[b].second))
                        << controls[a].first->objectName().toStdString() << " overlaps "
                        << controls[b].first->objectName().toStdString();
            }
            for (const auto& [control, rect] : controls)
                if (qobject_cast<QAbstractItemView*>(control) != nullptr)
                {
                    const QString name = control->objectName();
                    if (size == form->minimumSize())
                        smallListHeights[name] = rect.height();
                    else
                        EXPECT_GT(rect.height(), smallListHeights[name] + 300) << name.toStdString();
                }
        }
    }
    EXPECT_GE(smallListHeights.size(), 5u) << "sessions, users, databases, database users and log";
    EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join("\n").toStdString();
}

TEST_F(WindowTest, StatusBarShowsTheConnectionOnTheRightWhileLoggedIn)
{
    StartServer();
    OpenWindow(admin::CreatePages);
    LoginAsAdmin();
    auto section = [&](const char* name) { return form->statusBar()->findChild<QLabel*>(name); };
    ASSERT_NE(section("ServerEndpointSection"), nullptr);
    EXPECT_EQ(section("ServerEndpointSection")->text(), "127.0.0.1:" + QString::number(server->AdminPort()));
    EXPECT_EQ(section("ConnectionModeSection")->text(), "LAN");
    EXPECT_TRUE(section("LastExchangeSection")->text().endsWith(" ms"));
    EXPECT_TRUE(section("LastRefreshSection")->text().startsWith("Refreshed "));
    // The left part still takes the menu hints.
    form->findChild<QAction*>("OptionsItem")->showStatusText(form->menuBar());
    EXPECT_EQ(form->statusBar()->currentMessage(), " Change options");

    // While a command waits on the server, logging out (which would drop its result) is not offered.
    auto* login = form->findChild<QAction*>("LoginItem");
    auto* refresh = form->findChild<QPushButton*>("RefreshButton");
    form->findChild<QWidget*>("SessionsListView")->setFocus();
    QTest::mouseClick(refresh, Qt::LeftButton);
    EXPECT_FALSE(login->isEnabled());
    EXPECT_FALSE(form->findChild<QAction*>("OptionsItem")->isEnabled());
    EXPECT_FALSE(refresh->isEnabled());
    ASSERT_TRUE(WaitFor([&] { return login->isEnabled(); }, 10000));
    // The button was disabled while it waited; the focus the click gave it is back on it.
    EXPECT_EQ(form->focusWidget(), refresh);

    Pick("LoginItem");
    EXPECT_TRUE(section("ServerEndpointSection")->text().isEmpty());
    EXPECT_FALSE(section("ServerEndpointSection")->isVisible());
}

TEST_F(WindowTest, LargerDefaultFontGrowsTheMinimumSizeInsteadOfClipping)
{
    OpenWindow(admin::CreatePages);
    QSize designed = form->size();
    CloseWindow();

    QFont font = QApplication::font();
    QFont larger = font;
    larger.setPointSizeF(font.pointSizeF() * 1.6);
    QApplication::setFont(larger);
    StartServer();
    OpenWindow(admin::CreatePages);
    LoginAsAdmin(); // the pages shown, whose needs may pass the screen's
    QApplication::processEvents();
    QSize grown = form->size();
    QSize needed = PageControl()->minimumSizeHint();
    // Beyond what the screen holds the pages scroll: nothing is clipped either way.
    const auto* scroller = form->findChild<QScrollArea*>("ClientScroller");
    const bool scrollsAcross = scroller->horizontalScrollBar()->maximum() > 0;
    const bool scrollsDown = scroller->verticalScrollBar()->maximum() > 0;
    CloseWindow();
    QApplication::setFont(font);

    EXPECT_GT(grown.width(), designed.width());
    EXPECT_TRUE(grown.width() >= needed.width() || scrollsAcross);
    EXPECT_TRUE(grown.height() >= needed.height() || scrollsDown);
}

TEST_F(WindowTest, ViewSettingsLiveInTheirOwnSectionAndOlderFilesStillRead)
{
    for (const PageMaking& making : PageMakings)
    {
        SCOPED_TRACE(making.Name);
        // Pages made after the first paint are there once it has turned.
        auto autoRefresh = [this]
        {
            EXPECT_TRUE(
                WaitFor([this] { return form->findChild<QComboBox*>("AutoRefreshComboBox"); }, 30000));
            return form->findChild<QComboBox*>("AutoRefreshComboBox");
        };
        // An older file without the section: auto-refresh off, default columns.
        WriteSettingsFile("[Admin Info]\nRemote Port=12006\n");
        OpenWindow(making.First, making.AfterPaint);
        QComboBox* choice = autoRefresh();
        ASSERT_NE(choice, nullptr);
        EXPECT_EQ(choice->currentData().toInt(), 0);
        choice->setCurrentIndex(choice->findData(10));
        CloseWindow();
        const QByteArray written = SettingsFile();
        EXPECT_TRUE(written.contains("[Views]"));
        EXPECT_TRUE(written.contains("Status Auto Refresh=10"));
        EXPECT_TRUE(written.contains("Remote Port=12006")) << "the other sections are kept";

        OpenWindow(making.First, making.AfterPaint);
        choice = autoRefresh();
        ASSERT_NE(choice, nullptr);
        EXPECT_EQ(choice->currentData().toInt(), 10);
        CloseWindow();
    }
}

TEST_F(WindowTest, ServerKilledDuringAutoRefreshGivesOneMessageAndTheWindowLogsInAgainAfterARestart)
{
    const ShortSeconds seconds; // an auto-refresh every 2 s comes every 100 ms
    RefServerOptions options;
    options.KeepPorts = true; // the restarted server is where the settings point
    server = std::make_unique<RefServer>(options);
    WriteSettingsFile("[Admin Info]\nRemote Port=" + QByteArray::number(server->AdminPort()) +
                      "\n[Views]\nStatus Auto Refresh=2\n");
    OpenWindow(admin::CreatePages);
    LoginAsAdmin();
    ASSERT_TRUE(PageControl()->isVisible());
    auto* refreshed = form->statusBar()->findChild<QLabel*>("LastRefreshSection");
    const QString first = refreshed->text();
    ASSERT_TRUE(WaitFor([&] { return refreshed->text() != first; }, 6000)); // auto-refresh at work

    server->Kill();
    ASSERT_TRUE(
        WaitFor([&] { return form->statusBar()->currentMessage().contains("Auto-refresh stopped"); }, 15000));
    // Stopped: no tick is scheduled and nothing runs, so nothing more can happen.
    ASSERT_TRUE(WaitFor([&] { return !form->Runner().Busy(); }));
    auto* timer = form->findChild<QTimer*>("AutoRefreshTimer");
    ASSERT_NE(timer, nullptr);
    EXPECT_FALSE(timer->isActive()) << "the auto-refresh goes on";
    EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join("\n").toStdString();
    EXPECT_TRUE(form->statusBar()->currentMessage().contains("Auto-refresh stopped"));
    auto* lost = form->statusBar()->findChild<QLabel*>("ConnectionLostSection");
    ASSERT_NE(lost, nullptr);
    EXPECT_TRUE(lost->isVisible()) << "the server went away while nobody asked";

    server->Start();
    Pick("LoginItem"); // log out: the old session is gone with the old server
    dialogs.Boxes.clear();
    dialogs.OfferedUserNames.clear();
    LoginAsAdmin();
    EXPECT_EQ(dialogs.OfferedUserNames, (std::vector<std::string>{"admin"})) << "the name is filled in";
    EXPECT_TRUE(form->RemoteSession().RemotePassword().empty()) << "no password is kept";
    EXPECT_TRUE(PageControl()->isVisible());
    EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join("\n").toStdString();
    EXPECT_EQ(form->findChild<QLineEdit*>("EngineVersionEdit")->text(), "KORVEL Version 3.21");
    EXPECT_FALSE(lost->isVisible());
    const QString again = refreshed->text();
    ASSERT_TRUE(WaitFor([&] { return refreshed->text() != again; }, 6000))
        << "auto-refresh runs again after the login";
}

TEST_F(WindowTest, DeletingTheLoggedInAccountLogsTheWindowOut)
{
    StartServer();
    OpenWindow(admin::CreatePages);
    LoginAsAdmin();
    form->RemoteSession().AddServerUser("root", "r", "", true); // "admin" is then not the last administrator
    PageControl()->setCurrentIndex(2);
    auto* users = form->findChild<QAbstractItemView*>("UsersListBox");
    ASSERT_NE(users, nullptr);
    ClickRow(*users, 0);
    Settle();
    ASSERT_EQ(CurrentRowText(*users), "admin");
    dialogs.Answers = {admin::Answer::Yes, admin::Answer::Yes};
    form->findChild<QPushButton*>("DeleteUserButton")->click();
    Settle();
    EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join("\n").toStdString();
    EXPECT_EQ(LoginCaption(), "&Login to Server");
    EXPECT_FALSE(PageControl()->isVisible());
    EXPECT_FALSE(form->RemoteSession().Active());
}

} // namespace
} // namespace korvel::test
