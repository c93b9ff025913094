// The Options command and dialog, and the Trace Log dialog opened from it.
#include "tests/admin/window/WindowFixture.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

namespace korvel::test
{
namespace
{

using admin::Answer;

const QString ResetQuestion =
    "Changing the remote connection information will reset the connection and require "
    "you to login again, are you sure you want to change this information ?";

template <typename T = QLineEdit> T* Child(QWidget& dialog, const char* name)
{
    T* child = dialog.findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name;
    return child;
}

void Click(QWidget& dialog, const char* button)
{
    Child<QPushButton>(dialog, button)->click();
}

class OptionsTest : public WindowTest
{
protected:
    // Opens File, Options... and lets `edit` change the fields before OK.
    void ChangeOptions(std::function<void(QWidget& dialog)> edit)
    {
        WhenModal(
            [edit](QWidget& dialog)
            {
                edit(dialog);
                Click(dialog, "OKButton");
            });
        Pick("OptionsItem");
    }
    QByteArray TraceFileContent() const
    {
        QFile file(form->TraceFileName());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

TEST_F(OptionsTest, OkChecksHostThenPortThenRangeAndKeepsTheDialogOpen)
{
    OpenWindow();
    QStringList stillOpen;
    WhenModal(
        [&](QWidget& dialog)
        {
            for (const char* name : {"HostNameEdit", "IPAddressEdit", "PortEdit", "ServiceEdit"})
                Child(dialog, name)->clear();
            Click(dialog, "OKButton");
            Child(dialog, "IPAddressEdit")->setText("10.0.0.1");
            Click(dialog, "OKButton");
            Child(dialog, "PortEdit")->setText("65536");
            Click(dialog, "OKButton");
            Child(dialog, "PortEdit")->setText("-1"); // pasted: the key filter does not see it
            Click(dialog, "OKButton");
            Child(dialog, "PortEdit")->setText("12x");
            Click(dialog, "OKButton");
            stillOpen << (dialog.isVisible() ? "open" : "closed");
            Click(dialog, "CancelButton");
        });
    Pick("OptionsItem");
    EXPECT_EQ(dialogs.Errors(),
              (QStringList{"You must specify a host name or IP address for a remote connection",
                           "You must specify a port or service for a remote connection",
                           "The port must be between 0 and 65535", "The port must be between 0 and 65535",
                           "'12x' is not a valid integer value"}));
    EXPECT_EQ(stillOpen, QStringList{"open"});
    EXPECT_EQ(form->Settings().RemoteAddress, "127.0.0.1") << "Cancel drops what was typed";

    dialogs.Boxes.clear();
    ChangeOptions(
        [](QWidget& dialog)
        {
            Child(dialog, "PortEdit")->clear();
            Child(dialog, "ServiceEdit")->setText("admsvc");
            Child(dialog, "HostNameEdit")->setText("dbhost");
            Child<QRadioButton>(dialog, "InternetRadioButton")->setChecked(true);
        });
    EXPECT_TRUE(dialogs.Errors().isEmpty());
    EXPECT_TRUE(dialogs.Boxes.empty()) << "logged out: no question";
    EXPECT_EQ(form->Settings().RemotePort, 0) << "a service without a port stores 0";
    EXPECT_EQ(form->Settings().RemoteType, 1);
    EXPECT_EQ(form->RemoteSession().RemoteService(), "admsvc") << "applied at once for the next login";
    EXPECT_EQ(form->RemoteSession().RemoteHost(), "dbhost");
    EXPECT_EQ(form->RemoteSession().RemoteType(), rtInternet);
}

TEST_F(OptionsTest, PortFieldTakesOnlyDigitsAndEditingKeys)
{
    OpenWindow();
    QString typed;
    QString focused;
    WhenModal(
        [&](QWidget& dialog)
        {
            focused = dialog.focusWidget() ? dialog.focusWidget()->objectName() : QString();
            QLineEdit* port = Child(dialog, "PortEdit");
            port->clear();
            QTest::keyClicks(port, "1a2-b 3.");
            QTest::keyClick(port, Qt::Key_Backspace);
            QTest::keyClicks(port, "9");
            QTest::keyClick(port, Qt::Key_Left);
            QTest::keyClick(port, Qt::Key_Delete);
            typed = port->text();
            Click(dialog, "CancelButton");
        });
    Pick("OptionsItem");
    EXPECT_EQ(typed, "12");
    EXPECT_EQ(focused, "LANRadioButton") << "the focus starts on the chosen remote type";
}

TEST_F(OptionsTest, ChangingTheConnectionWhileLoggedInAsksBeforeTheReset)
{
    StartServer();
    OpenWindow();
    LoginAsAdmin();
    int port = server->AdminPort();

    dialogs.Answers = {Answer::No};
    ChangeOptions([](QWidget& dialog) { Child(dialog, "PortEdit")->setText("1"); });
    ASSERT_EQ(dialogs.Boxes.size(), 1u);
    EXPECT_EQ(dialogs.Boxes[0].BoxKind, ScriptedDialogs::Kind::WarningYesNo);
    EXPECT_EQ(dialogs.Boxes[0].Text, ResetQuestion);
    EXPECT_EQ(form->Settings().RemotePort, port) << "No drops the new values";
    EXPECT_TRUE(form->RemoteSession().Active());

    // Yes, then Cancel at the pending-edit question of the logout: still logged in, values dropped, no error.
    pages[2]->State = admin::esEditing;
    dialogs.Boxes.clear();
    dialogs.Answers = {Answer::Yes, Answer::Cancel};
    ChangeOptions(
        [](QWidget& dialog)
        {
            Child(dialog, "PortEdit")->setText("1");
            Child<QCheckBox>(dialog, "EnableTracingCheckbox")->setChecked(true);
        });
    EXPECT_TRUE(dialogs.Errors().isEmpty());
    EXPECT_TRUE(form->RemoteSession().Active());
    EXPECT_EQ(form->Settings().RemotePort, port);
    EXPECT_TRUE(form->RemoteSession().RemoteTrace()) << "tracing follows the check box in every case";

    pages[2]->State = admin::esViewing;
    dialogs.Answers = {Answer::Yes};
    ChangeOptions([](QWidget& dialog) { Child(dialog, "PortEdit")->setText("1"); });
    EXPECT_FALSE(form->RemoteSession().Active()) << "Yes logs out";
    EXPECT_EQ(LoginCaption(), "&Login to Server");
    EXPECT_EQ(form->Settings().RemotePort, 1);
    EXPECT_EQ(form->RemoteSession().RemotePort(), 1);
}

TEST_F(OptionsTest, TracingSwitchesAtOnceWithoutTheResetQuestion)
{
    StartServer();
    OpenWindow();
    LoginAsAdmin();
    EXPECT_TRUE(TraceFileContent().isEmpty());

    ChangeOptions([](QWidget& dialog)
                  { Child<QCheckBox>(dialog, "EnableTracingCheckbox")->setChecked(true); });
    EXPECT_TRUE(dialogs.Boxes.empty());
    EXPECT_TRUE(form->RemoteSession().RemoteTrace());
    EXPECT_TRUE(form->RemoteSession().Active());
    std::string name;
    form->RemoteSession().GetServerName(name);
    EXPECT_FALSE(TraceFileContent().isEmpty()) << "the next request is traced";
}

TEST_F(OptionsTest, TraceLogShowsClearsAndKeepsTracingAfterClose)
{
    StartServer("Remote Tracing=1\n");
    OpenWindow();
    LoginAsAdmin();
    std::string name;

    struct Seen
    {
        QStringList Lines;
        bool TracingWhileOpen = true;
        int CurrentRow = -1;
    } seen;
    auto viewTraceLog = [&](std::function<void(QWidget & traceLog)> act)
    {
        WhenModal(
            [&, act](QWidget& options)
            {
                WhenModal(
                    [&, act](QWidget& traceLog)
                    {
                        seen.Lines = this->traceLog->Lines();
                        seen.TracingWhileOpen = form->RemoteSession().RemoteTrace();
                        seen.CurrentRow =
                            Child<QListView>(traceLog, "TraceMessagesListBox")->currentIndex().row();
                        act(traceLog);
                        Click(traceLog, "CloseBtn");
                    });
                Click(options, "ViewTraceLogButton");
                Click(options, "CancelButton");
            });
        Pick("OptionsItem");
    };

    viewTraceLog([](QWidget&) {});
    EXPECT_FALSE(seen.Lines.isEmpty());
    EXPECT_FALSE(seen.TracingWhileOpen) << "no line can arrive while the file is closed";
    EXPECT_EQ(seen.CurrentRow, 0) << "the first line is selected";
    EXPECT_TRUE(form->RemoteSession().RemoteTrace()) << "tracing is restored";

    dialogs.Answers = {Answer::No};
    viewTraceLog([](QWidget& traceLog) { Click(traceLog, "ClearTraceLogButton"); });
    EXPECT_FALSE(TraceFileContent().isEmpty()) << "No keeps the lines";

    dialogs.Answers = {Answer::Yes};
    viewTraceLog([](QWidget& traceLog) { Click(traceLog, "ClearTraceLogButton"); });
    EXPECT_EQ(dialogs.Boxes.back().Text, "Are you sure you want to clear the current trace log messages ?");
    EXPECT_EQ(dialogs.Boxes.back().BoxKind, ScriptedDialogs::Kind::ConfirmationYesNo);
    EXPECT_TRUE(TraceFileContent().isEmpty());

    form->RemoteSession().GetServerName(name);
    QByteArray after = TraceFileContent();
    EXPECT_FALSE(after.isEmpty()) << "new lines are appended after a clear";
    viewTraceLog([](QWidget&) {});
    EXPECT_EQ(seen.Lines.join("\r\n") + "\r\n", QString::fromUtf8(after)) << "only the new lines";
    EXPECT_TRUE(dialogs.Errors().isEmpty());
}

} // namespace
} // namespace korvel::test
