// The server goes away while the window is logged in. Unreachable: the window stays logged in and the next
// command tries again. Back without the session (restarted on the same ports): the window returns to its
// logged-out look, says where and what was lost, and File > Login works at once.
#include "tests/admin/window/WindowFixture.h"

#include <QAbstractItemView>
#include <QPushButton>

namespace korvel::test
{
namespace
{

const QString LoginText = "&Login to Server";
const QString LogoutText = "&Logout from Server";

TEST_F(WindowTest, ARestartedServerEndsTheSessionAndAnUnreachableOneDoesNot)
{
    StartServer();
    OpenWindow(admin::CreatePages);
    LoginAsAdmin();
    ASSERT_EQ(LoginCaption(), LogoutText);
    PageControl()->setCurrentIndex(2); // Users
    ASSERT_EQ(PageControl()->currentIndex(), 2);
    form->findChild<QPushButton*>("EditUserButton")->click();
    auto save = [this]
    {
        form->findChild<QPushButton*>("SaveUserButton")->click();
        Settle();
    };

    const int adminPort = server->AdminPort();
    const int mainPort = server->MainPort();
    server->Stop();
    save();
    ASSERT_EQ(dialogs.Errors().size(), 1);
    EXPECT_FALSE(dialogs.Errors()[0].contains("no longer knows")) << dialogs.Errors()[0].toStdString();
    EXPECT_EQ(LoginCaption(), LogoutText) << "unreachable: still logged in, the next command tries again";
    EXPECT_TRUE(PageControl()->isVisible());

    RefServerOptions sameServer = server->Options();
    sameServer.DataDir = server->DataDir();
    sameServer.ExtraArgs = {
        "--name", "Demo", "--admin-port", std::to_string(adminPort), "--main-port", std::to_string(mainPort)};
    auto restarted = std::make_unique<RefServer>(sameServer);
    save();
    ASSERT_EQ(dialogs.Errors().size(), 2);
    const QString lost = dialogs.Errors()[1];
    EXPECT_TRUE(lost.contains("127.0.0.1 on port " + QString::number(adminPort))) << lost.toStdString();
    EXPECT_TRUE(lost.contains("The unsaved changes on the Users page were lost")) << lost.toStdString();
    EXPECT_EQ(LoginCaption(), LoginText);
    EXPECT_FALSE(PageControl()->isVisible());
    EXPECT_EQ(form->windowTitle(), "KORVEL Admin");
    EXPECT_FALSE(form->RemoteSession().Active());

    LoginAsAdmin(); // at once, with the prompt: no password was kept
    EXPECT_EQ(dialogs.LoginPrompts, 2);
    EXPECT_EQ(dialogs.Errors().size(), 2) << dialogs.Errors().join("\n").toStdString();
    EXPECT_EQ(LoginCaption(), LogoutText);
    EXPECT_TRUE(form->windowTitle().contains("Connected to")) << form->windowTitle().toStdString();
    CloseWindow();
}

// The Log page meets a restarted server as every other page does: one box that says so, the logged-out look,
// and the lines it showed kept.
TEST_F(WindowTest, LoadingTheLogFromARestartedServerEndsTheSessionAndKeepsTheLines)
{
    StartServer();
    OpenWindow(admin::CreatePages);
    LoginAsAdmin();
    PageControl()->setCurrentIndex(PageControl()->count() - 1); // Log
    auto* load = form->findChild<QPushButton*>("LoadLogButton");
    load->click();
    Settle();
    const QAbstractItemModel* lines = form->findChild<QAbstractItemView*>("LogListBox")->model();
    const int shown = lines->rowCount();
    ASSERT_GT(shown, 0);

    RefServerOptions sameServer = server->Options();
    sameServer.DataDir = server->DataDir();
    sameServer.ExtraArgs = {"--name",       "Demo",
                            "--admin-port", std::to_string(server->AdminPort()),
                            "--main-port",  std::to_string(server->MainPort())};
    server->Stop();
    auto restarted = std::make_unique<RefServer>(sameServer);
    load->click();
    Settle();
    ASSERT_EQ(dialogs.Errors().size(), 1);
    EXPECT_TRUE(dialogs.Errors()[0].contains("no longer knows this session"))
        << dialogs.Errors()[0].toStdString();
    EXPECT_EQ(LoginCaption(), LoginText);
    EXPECT_FALSE(form->RemoteSession().Active());
    EXPECT_EQ(lines->rowCount(), shown) << "the lines shown before stay";
    EXPECT_TRUE(load->isEnabled());
}

} // namespace
} // namespace korvel::test
