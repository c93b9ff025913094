// The window with its real pages: the login refresh reaches every page, and the fixed size leaves room for
// them.
#include "tests/admin/window/WindowFixture.h"

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace korvel::test
{
namespace
{

TEST_F(WindowTest, RealPagesAreFilledAtLoginAndHiddenAtLogout)
{
    StartServer();
    OpenWindow(admin::CreatePages);
    LoginAsAdmin();
    EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join("\n").toStdString();
    ASSERT_TRUE(PageControl()->isVisible());
    QStringList captions;
    for (int index = 0; index < PageControl()->count(); ++index)
        captions << PageControl()->tabText(index);
    EXPECT_EQ(captions,
              (QStringList{"Status", "Server", "Users", "Databases", "Database Users", "Rights", "Log"}));
    auto* engine = form->findChild<QLineEdit*>("EngineVersionEdit");
    ASSERT_NE(engine, nullptr);
    EXPECT_EQ(engine->text(), "KORVEL Version 3.21") << "the Status page was refreshed";
    EXPECT_EQ(form->focusWidget(), form->findChild<QWidget*>("RefreshButton"));

    Pick("LoginItem");
    EXPECT_FALSE(PageControl()->isVisible());
    EXPECT_TRUE(dialogs.Errors().isEmpty());
}

TEST_F(WindowTest, LargerDefaultFontGrowsTheFixedSizeInsteadOfClipping)
{
    OpenWindow(admin::CreatePages);
    QSize designed = form->size();
    CloseWindow();

    QFont font = QApplication::font();
    QFont larger = font;
    larger.setPointSizeF(font.pointSizeF() * 1.6);
    QApplication::setFont(larger);
    OpenWindow(admin::CreatePages);
    QSize grown = form->size();
    QSize needed = PageControl()->minimumSizeHint();
    CloseWindow();
    QApplication::setFont(font);

    EXPECT_GT(grown.width(), designed.width());
    EXPECT_GE(grown.width(), needed.width());
    EXPECT_GE(grown.height(), needed.height());
}

TEST_F(WindowTest, DeletingTheLoggedInAccountLogsTheWindowOut)
{
    StartServer();
    OpenWindow(admin::CreatePages);
    LoginAsAdmin();
    form->RemoteSession().AddServerUser("root", "r", "", true); // "admin" is then not the last administrator
    PageControl()->setCurrentIndex(2);
    auto* users = form->findChild<QListWidget*>("UsersListBox");
    ASSERT_NE(users, nullptr);
    users->setCurrentRow(0); // admin
    dialogs.Answers = {admin::Answer::Yes, admin::Answer::Yes};
    form->findChild<QPushButton*>("DeleteUserButton")->click();
    EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join("\n").toStdString();
    EXPECT_EQ(LoginCaption(), "&Login to Server");
    EXPECT_FALSE(PageControl()->isVisible());
    EXPECT_FALSE(form->RemoteSession().Active());
}

} // namespace
} // namespace korvel::test
