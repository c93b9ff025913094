// The Options command and dialog, and the Trace Log dialog opened from it.
#include "tests/admin/window/WindowFixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QWheelEvent>

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
    EXPECT_EQ(form->Settings().Server.Address, "127.0.0.1") << "Cancel drops what was typed";

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
    EXPECT_EQ(form->Settings().Server.Port, 0) << "a service without a port stores 0";
    EXPECT_EQ(form->Settings().Server.Internet, true);
    EXPECT_EQ(form->Settings().Server.Service, "admsvc") << "kept for the next login";
    EXPECT_EQ(form->Settings().Server.Host, "dbhost");
}

TEST_F(OptionsTest, TabWalksTheFieldsFromTheRemoteTypeAndThePortTakesOnlyDigits)
{
    OpenWindow();
    QString typed;
    QStringList focused;
    WhenModal(
        [&](QWidget& dialog)
        {
            // As a person meets it: the radio button with the focus takes the other's place in the Tab order.
            EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
            for (int step = 0; step < 6 && dialog.focusWidget(); ++step)
            {
                focused << dialog.focusWidget()->objectName();
                QTest::keyClick(dialog.focusWidget(), Qt::Key_Tab);
            }
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
    EXPECT_EQ(focused, (QStringList{"LANRadioButton", "HostNameEdit", "IPAddressEdit", "PortEdit",
                                    "ServiceEdit", "EnableTracingCheckbox"}))
        << "the focus starts on the chosen remote type";
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
    EXPECT_EQ(form->Settings().Server.Port, port) << "No drops the new values";
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
    EXPECT_EQ(form->Settings().Server.Port, port);
    EXPECT_TRUE(form->RemoteSession().RemoteTrace()) << "tracing follows the check box in every case";

    pages[2]->State = admin::esViewing;
    dialogs.Answers = {Answer::Yes};
    ChangeOptions([](QWidget& dialog) { Child(dialog, "PortEdit")->setText("1"); });
    EXPECT_FALSE(form->RemoteSession().Active()) << "Yes logs out";
    EXPECT_EQ(LoginCaption(), "&Login to Server");
    EXPECT_EQ(form->Settings().Server.Port, 1);
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

TEST_F(OptionsTest, TraceLogIsALiveTableThatFiltersCopiesAndClears)
{
    StartServer("Remote Tracing=1\n");
    OpenWindow();
    LoginAsAdmin();
    std::string name;

    struct Seen
    {
        QStringList Before;
        QStringList After; // after a request made while the dialog is open
        QStringList Filtered;
        bool TracingWhileOpen = false;
    } seen;
    auto viewTraceLog = [&](std::function<void(QWidget & traceLog)> act)
    {
        WhenModal(
            [&, act](QWidget& options)
            {
                WhenModal(
                    [&, act](QWidget& traceLog)
                    {
                        seen.Before = this->traceLog->Lines();
                        seen.TracingWhileOpen = form->RemoteSession().RemoteTrace();
                        form->RemoteSession().GetServerName(name);
                        QCoreApplication::processEvents(); // the records arrive by queued calls
                        seen.After = this->traceLog->Lines();
                        act(traceLog);
                        Click(traceLog, "CloseBtn");
                    });
                Click(options, "ViewTraceLogButton");
                Click(options, "CancelButton");
            });
        Pick("OptionsItem");
    };

    viewTraceLog(
        [&](QWidget& traceLog)
        {
            auto* filter = Child<QLineEdit>(traceLog, "TraceFilterEdit");
            QTest::keyClicks(filter, "getservername");
            seen.Filtered = this->traceLog->Lines();
            filter->clear();
            Click(traceLog, "CopyTraceButton");
        });
    EXPECT_FALSE(seen.Before.isEmpty());
    EXPECT_TRUE(seen.TracingWhileOpen) << "tracing goes on while the dialog is open";
    ASSERT_EQ(seen.After.size(), seen.Before.size() + 2) << "the request and its reply were added live";
    const QStringList request = seen.After[seen.After.size() - 2].split('\t');
    const QStringList reply = seen.After.back().split('\t');
    ASSERT_EQ(request.size(), 7);
    ASSERT_EQ(reply.size(), 7);
    EXPECT_TRUE(QTime::fromString(request[0], "HH:mm:ss.zzz").isValid()) << request[0].toStdString();
    EXPECT_EQ(request[1], "Request");
    EXPECT_EQ(request[2], "REQUEST_GETSERVERNAME");
    EXPECT_EQ(request[3], "10") << "LAN: the wire carries the plain bytes";
    EXPECT_EQ(request[4], "10");
    EXPECT_EQ(reply[1], "Reply");
    EXPECT_EQ(reply[2], "REQUEST_GETSERVERNAME");
    EXPECT_EQ(reply[5], "KORVEL_NONE");
    EXPECT_FALSE(reply[6].isEmpty()) << "a reply shows its time since the request";
    ASSERT_GE(seen.Filtered.size(), 2); // the login asked for the name too
    EXPECT_LT(seen.Filtered.size(), seen.After.size());
    for (const QString& line : seen.Filtered)
        EXPECT_TRUE(line.contains("REQUEST_GETSERVERNAME")) << line.toStdString();
    const QString copied = QApplication::clipboard()->text();
    EXPECT_TRUE(copied.startsWith("Time\tDirection\tRequest\t")) << copied.left(60).toStdString();
    EXPECT_TRUE(copied.contains(seen.After.back()));
    EXPECT_TRUE(TraceFileContent().contains("Send request - Code: REQUEST_GETSERVERNAME"))
        << "the trace file got the request made while the dialog was open";

    dialogs.Answers = {Answer::No};
    viewTraceLog([](QWidget& traceLog) { Click(traceLog, "ClearTraceLogButton"); });
    EXPECT_FALSE(TraceFileContent().isEmpty()) << "No keeps the lines";
    EXPECT_FALSE(traceLog->Lines().isEmpty());

    dialogs.Answers = {Answer::Yes};
    viewTraceLog([](QWidget& traceLog) { Click(traceLog, "ClearTraceLogButton"); });
    EXPECT_EQ(dialogs.Boxes.back().Text, "Are you sure you want to clear the current trace log messages ?");
    EXPECT_EQ(dialogs.Boxes.back().BoxKind, ScriptedDialogs::Kind::ConfirmationYesNo);
    EXPECT_TRUE(TraceFileContent().isEmpty());
    EXPECT_TRUE(traceLog->Lines().isEmpty());
    EXPECT_TRUE(dialogs.Errors().isEmpty());
}

TEST(TraceLogTest, TheTableFollowsNewRowsUnlessScrolledUp)
{
    admin::TTraceLogDlg dialog;
    auto* table = Child<QTableView>(dialog, "TraceTableView");
    auto add = [&](int count)
    {
        const int rows = table->model()->rowCount() + count;
        for (int i = 0; i < count; ++i)
            dialog.AddRecord({.Time = std::chrono::system_clock::now(), .Code = 1});
        ASSERT_TRUE(WaitFor([&] { return table->model()->rowCount() == rows; }, 5000));
    };
    auto lastRowShown = [&]
    {
        const QRect last = table->visualRect(table->model()->index(table->model()->rowCount() - 1, 0));
        return last.top() >= 0 && last.bottom() < table->viewport()->height();
    };
    add(100); // before it opens, as the login's exchanges are
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    EXPECT_TRUE(lastRowShown());
    add(100);
    EXPECT_TRUE(lastRowShown()) << "new rows are followed";

    // The mouse wheel one notch up, over the rows.
    const QPoint over = table->viewport()->rect().center();
    QWheelEvent wheel(over, table->viewport()->mapToGlobal(over), {}, {0, QWheelEvent::DefaultDeltasPerStep},
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(table->viewport(), &wheel);
    const int scrolledTo = table->verticalScrollBar()->value();
    ASSERT_LT(scrolledTo, table->verticalScrollBar()->maximum());
    add(10);
    EXPECT_EQ(table->verticalScrollBar()->value(), scrolledTo) << "the rows the person scrolled to stay";
    EXPECT_FALSE(lastRowShown());

    QTest::keyClick(table, Qt::Key_End, Qt::ControlModifier);
    add(10);
    EXPECT_TRUE(lastRowShown()) << "back at the end, new rows are followed again";
}

TEST_F(OptionsTest, TheTraceFileIsDeletedAtExitUnlessTheOptionKeepsIt)
{
    StartServer("Remote Tracing=1\n");
    OpenWindow();
    LoginAsAdmin();
    QString fileName = form->TraceFileName();
    EXPECT_FALSE(TraceFileContent().isEmpty());
    CloseWindow();
    EXPECT_FALSE(QFile::exists(fileName)) << "deleted by default";

    OpenWindow();
    ChangeOptions([](QWidget& dialog) { Child<QCheckBox>(dialog, "KeepTraceFileCheckbox")->click(); });
    LoginAsAdmin();
    fileName = form->TraceFileName();
    CloseWindow();
    EXPECT_TRUE(QFile::exists(fileName)) << "kept as chosen";
    EXPECT_TRUE(SettingsFile().contains("[Trace]\nKeep Trace File=1")) << SettingsFile().toStdString();
    QFile::remove(fileName);

    OpenWindow(); // the choice is read back from the settings file
    WhenModal(
        [&](QWidget& dialog)
        {
            EXPECT_TRUE(Child<QCheckBox>(dialog, "KeepTraceFileCheckbox")->isChecked());
            Click(dialog, "CancelButton");
        });
    Pick("OptionsItem");
}

} // namespace
} // namespace korvel::test
