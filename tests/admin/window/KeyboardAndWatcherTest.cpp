// What a keyboard user and someone watching the window meet: the menus' keys on every page, F5 and Ctrl+F,
// the login prompt that names its server, a connection that went away and came back, and the window's place
// kept from one start to the next.
#include "testing/AdminLogin.h"
#include "testing/LoadClients.h"
#include "testing/admin/CuttableLink.h"
#include "testing/admin/ListRows.h"
#include "testing/admin/WaitFor.h"
#include "tests/admin/window/WindowFixture.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>

namespace korvel::test
{
namespace
{

class KeyboardTest : public WindowTest
{
protected:
    void LogInWithRealPages()
    {
        StartServer();
        OpenWindow(admin::CreatePages);
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
        LoginAsAdmin();
        ASSERT_TRUE(PageControl()->isVisible());
    }
    // A key as the person presses it, to whatever has the focus.
    void Press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QWidget* focus = QApplication::focusWidget();
        QTest::keyClick(focus != nullptr ? focus : form.get(), static_cast<Qt::Key>(key), modifiers);
    }
    // The menu that Alt+`key` opened, closed again with Escape; null when none opened.
    QString MenuOpenedBy(Qt::Key key)
    {
        Press(key, Qt::AltModifier);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu == nullptr)
            return {};
        const QString name = menu->objectName();
        QTest::keyClick(menu, Qt::Key_Escape);
        return name;
    }
    QLabel* Section(const char* name) const { return form->statusBar()->findChild<QLabel*>(name); }
};

TEST_F(KeyboardTest, AltFOpensTheFileMenuOnEveryPageAndAltHTheHelpMenu)
{
    LogInWithRealPages();
    for (int page = 0; page < PageControl()->count(); ++page)
    {
        PageControl()->setCurrentIndex(page);
        EXPECT_EQ(MenuOpenedBy(Qt::Key_F), "FileMenu") << PageControl()->tabText(page).toStdString();
        EXPECT_EQ(MenuOpenedBy(Qt::Key_H), "HelpMenu") << PageControl()->tabText(page).toStdString();
    }
    PageControl()->setCurrentIndex(0);
    EXPECT_FALSE(form->findChild<QCheckBox*>("HideDeadCheckBox")->isChecked());
}

TEST_F(KeyboardTest, F5RefreshesThePageShownAndCtrlFGoesToItsSearchBox)
{
    LogInWithRealPages();
    auto* sessions = form->findChild<QLineEdit*>("TotalSessionsEdit");
    const int before = sessions->text().toInt();
    LoadClients others(*server, 2);
    Press(Qt::Key_F5);
    Settle();
    EXPECT_EQ(sessions->text().toInt(), before + 2);
    // Another administrator adds a user: F5 on the Users page lists it and keeps the selected row.
    TKORVELSession other;
    LogInAsAdministrator(other, *server, "Other");
    other.AddServerUser("zoe", "pw", "", false);
    PageControl()->setCurrentIndex(2);
    auto* users = form->findChild<QAbstractItemView*>("UsersListBox");
    ClickRow(*users, 0);
    Settle();
    const QString selected = CurrentRowText(*users);
    ASSERT_FALSE(selected.isEmpty());
    Press(Qt::Key_F5);
    Settle();
    EXPECT_TRUE(RowTexts(*users).contains("zoe"));
    EXPECT_EQ(CurrentRowText(*users), selected);

    for (const auto& [page, box] :
         {std::pair{0, "SessionFilterEdit"}, {5, "RightsFilterEdit"}, {6, "SearchEdit"}})
    {
        PageControl()->setCurrentIndex(page);
        Settle();
        auto* edit = form->findChild<QLineEdit*>(box);
        edit->setText("old");
        PageControl()->setFocus();
        Press(Qt::Key_F, Qt::ControlModifier);
        EXPECT_EQ(QApplication::focusWidget(), edit) << box;
        Press(Qt::Key_X);
        EXPECT_EQ(edit->text(), "x") << "typing replaces what the box held";
    }
    // A page without a search box keeps its focus.
    PageControl()->setCurrentIndex(1);
    QWidget* focus = QApplication::focusWidget();
    Press(Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(QApplication::focusWidget(), focus);
    EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join("\n").toStdString();
}

TEST_F(KeyboardTest, TheLoginPromptNamesItsServer)
{
    StartServer();
    OpenWindow(admin::CreatePages);
    LoginAsAdmin();
    ASSERT_EQ(dialogs.LoginServers.size(), 1u);
    EXPECT_EQ(dialogs.LoginServers[0], "127.0.0.1 on port " + QString::number(server->AdminPort()));
}

TEST_F(KeyboardTest, ALostConnectionIsShownUntilTheNextSuccessAndTheTitleStays)
{
    StartServer();
    CuttableLink link(static_cast<quint16>(server->AdminPort()));
    WriteSettingsFile("[Admin Info]\nRemote Port=" + QByteArray::number(link.Port()) + "\n");
    OpenWindow(admin::CreatePages);
    LoginAsAdmin();
    const QString title = form->windowTitle();
    auto* list = form->findChild<QWidget*>("SessionsListView");
    auto* refresh = form->findChild<QPushButton*>("RefreshButton");
    ASSERT_NE(Section("ConnectionLostSection"), nullptr);
    ASSERT_FALSE(Section("ConnectionLostSection")->isVisible());

    link.Cut();
    QTest::mouseClick(refresh, Qt::LeftButton);
    Settle();
    ASSERT_EQ(dialogs.Errors().size(), 1);
    EXPECT_TRUE(Section("ConnectionLostSection")->isVisible());
    EXPECT_EQ(Section("ConnectionLostSection")->text(), "Connection lost");
    EXPECT_FALSE(list->isEnabled()) << "what the list shows may be out of date";
    EXPECT_EQ(form->windowTitle(), title);
    EXPECT_EQ(LoginCaption(), "&Logout from Server");

    ASSERT_TRUE(link.Mend());
    QTest::mouseClick(refresh, Qt::LeftButton);
    Settle();
    EXPECT_EQ(dialogs.Errors().size(), 1) << dialogs.Errors().join("\n").toStdString();
    EXPECT_FALSE(Section("ConnectionLostSection")->isVisible());
    EXPECT_TRUE(list->isEnabled());
}

TEST_F(KeyboardTest, AMaximisedWindowComesBackMaximisedOverItsNormalGeometry)
{
    WriteSettingsFile("[Main Window]\nTop=60\nLeft=10\nHeight=500\nWidth=770\nMaximized=1\n");
    OpenWindow();
    // (How large a real window manager makes it: geometry-under-window-manager.sh.)
    EXPECT_TRUE(form->isMaximized());
    EXPECT_EQ(form->normalGeometry(), QRect(10, 60, 770, 500));
    CloseWindow();
    const QByteArray written = SettingsFile();
    for (const char* key : {"Top=60", "Left=10", "Height=500", "Width=770", "Maximized=1"})
        EXPECT_TRUE(written.contains(key)) << key << "\n" << written.toStdString();
}

} // namespace
} // namespace korvel::test
