// The remote login prompt.
#include "session/ui/LoginDialog.h"
#include "session/ui/RemoteLoginDialog.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace korvel::test
{
namespace
{

struct PromptResult
{
    bool Ok = false;
    std::string UserName;
    std::string Password;
    QString Caption;
    QString FocusedField;
};

// Opens the prompt and lets `act` work on it while it is up.
PromptResult Prompt(std::string userName, std::string password, std::function<void(QDialog&)> act,
                    const QString& server = {})
{
    PromptResult result;
    QTimer::singleShot(0,
                       [&]
                       {
                           auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
                           ASSERT_NE(dialog, nullptr);
                           result.Caption = dialog->windowTitle();
                           result.FocusedField =
                               dialog->focusWidget() ? dialog->focusWidget()->objectName() : QString();
                           act(*dialog);
                       });
    result.Ok = ui::RemoteLoginDialog(nullptr, userName, password, server);
    result.UserName = userName;
    result.Password = password;
    return result;
}

QLineEdit* Field(QDialog& dialog, const char* name)
{
    return dialog.findChild<QLineEdit*>(name);
}

TEST(LoginDialogTest, FocusFollowsTheGivenNameAndOkReturnsTheFields)
{
    PromptResult empty = Prompt("", "old",
                                [](QDialog& dialog)
                                {
                                    QTest::keyClicks(Field(dialog, "UserName"), "admin");
                                    QTest::keyClicks(Field(dialog, "Password"), "secret");
                                    QTest::keyClick(&dialog, Qt::Key_Return); // OK is the default button
                                });
    EXPECT_EQ(empty.Caption, "Remote Login");
    EXPECT_EQ(empty.FocusedField, "UserName");
    EXPECT_TRUE(empty.Ok);
    EXPECT_EQ(empty.UserName, "admin");
    EXPECT_EQ(empty.Password, "secret");

    PromptResult named = Prompt("admin", "",
                                [](QDialog& dialog)
                                {
                                    EXPECT_EQ(Field(dialog, "UserName")->text(), "admin");
                                    EXPECT_EQ(Field(dialog, "Password")->echoMode(), QLineEdit::Password);
                                    dialog.findChild<QPushButton*>("OKButton")->click();
                                });
    EXPECT_EQ(named.FocusedField, "Password");
    EXPECT_TRUE(named.Ok);
    EXPECT_EQ(named.Password, "");
}

TEST(LoginDialogTest, ThePromptNamesItsServerWithoutWideningForALongName)
{
    QString shown;
    QSize withServer;
    Prompt(
        "admin", "",
        [&](QDialog& dialog)
        {
            auto* server = dialog.findChild<QLabel*>("ServerName");
            shown = server->isVisible() ? server->text() : QString();
            withServer = dialog.size();
            dialog.reject();
        },
        "db1 on port 12006");
    EXPECT_EQ(shown, "db1 on port 12006");

    const QString longHost = QString(255, 'h') + " on port 12006";
    QSize withLongServer;
    QString tooltip;
    Prompt(
        "admin", "",
        [&](QDialog& dialog)
        {
            withLongServer = dialog.size();
            tooltip = dialog.findChild<QLabel*>("ServerName")->toolTip();
            dialog.reject();
        },
        longHost);
    EXPECT_EQ(withLongServer.width(), withServer.width()) << "elided, not widening the prompt";
    EXPECT_EQ(tooltip, longHost);
}

TEST(LoginDialogTest, CancelAndEscapeLeaveTheCredentialsAsGiven)
{
    for (auto close :
         std::vector<std::function<void(QDialog&)>>{
             [](QDialog& dialog) { dialog.findChild<QPushButton*>("CancelButton")->click(); },
             [](QDialog& dialog) { QTest::keyClick(&dialog, Qt::Key_Escape); }})
    {
        PromptResult result = Prompt("given", "kept",
                                     [close](QDialog& dialog)
                                     {
                                         Field(dialog, "UserName")->setText("typed");
                                         Field(dialog, "Password")->setText("typed");
                                         close(dialog);
                                     });
        EXPECT_FALSE(result.Ok);
        EXPECT_EQ(result.UserName, "given");
        EXPECT_EQ(result.Password, "kept");
    }
}

TEST(LoginDialogTest, AcceptsCredentialsOf255BytesAndNoMore)
{
    std::string longPassword(255, 'p');
    PromptResult result =
        Prompt(std::string(255, 'u'), "",
               [](QDialog& dialog)
               {
                   QLineEdit* password = Field(dialog, "Password");
                   QTest::keyClicks(password, QString(256, 'p'));
                   EXPECT_EQ(password->text().size(), 255)
                       << "a 31-character limit would lock out longer passwords";
                   QLineEdit* user = Field(dialog, "UserName");
                   user->setText(QString(254, 'u'));
                   user->end(false);
                   QKeyEvent accented(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier,
                                      QString::fromUtf8("\xC3\xA9"));
                   QApplication::sendEvent(user, &accented); // two bytes: 256 in all, refused
                   EXPECT_EQ(user->text().toUtf8().size(), 254);
                   user->setText(QString(255, 'u'));
                   dialog.accept();
               });
    EXPECT_TRUE(result.Ok);
    EXPECT_EQ(result.UserName, std::string(255, 'u'));
    EXPECT_EQ(result.Password, longPassword);
}

TEST(LoginDialogTest, HidingTheDatabaseLineMakesThePromptShorter)
{
    ui::TLoginDialog full;
    full.DatabaseName()->setText("Sales");
    full.show();
    ui::TLoginDialog remote;
    remote.HideDatabaseLine();
    remote.show();
    EXPECT_LT(remote.height(), full.height());
    EXPECT_FALSE(remote.findChild<QLabel*>("DatabaseLabel")->isVisible());
    EXPECT_TRUE(full.findChild<QLabel*>("DatabaseLabel")->isVisible());
    EXPECT_EQ(full.focusWidget(), full.Password()) << "the focus starts in the password field";
}

} // namespace
} // namespace korvel::test
