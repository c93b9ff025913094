// The main window: start-up and exit, login and logout against a real server, and the pending-edit guard.
#include "admin/window/WindowTitle.h"
#include "testing/admin/Screenshot.h"
#include "tests/admin/window/WindowFixture.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QTemporaryDir>

namespace korvel::test
{
namespace
{

using admin::Answer;
using Journal = std::vector<std::string>;

const char* ServerQuestion = "Save the Server edits ?";
const char* UsersQuestion = "Save the Users edits ?";
const char* DatabasesQuestion = "Save the Databases edits ?";

QStringList TraceFiles(const QString& dir)
{
    return QDir(dir).entryList({"korvel-admin*.LOG"}, QDir::Files);
}

TEST_F(WindowTest, FreshStartIsLoggedOutWithDefaultsAndExitWritesEveryKey)
{
    OpenWindow();
    // What the next login will use.
    const admin::AdminInfo& next = form->Settings();
    EXPECT_EQ(next.Server.Address, "127.0.0.1");
    EXPECT_EQ(next.Server.Port, 12006);
    EXPECT_FALSE(next.Server.Internet);
    EXPECT_FALSE(next.RemoteTracing);
    TKORVELSession& session = form->RemoteSession();
    EXPECT_EQ(session.SessionName(), "Remote");
    EXPECT_EQ(session.SessionType(), stRemote);

    EXPECT_EQ(form->windowTitle(), "KORVEL Admin");
    EXPECT_EQ(LoginCaption(), "&Login to Server");
    EXPECT_FALSE(PageControl()->isVisible());
    EXPECT_EQ(PageControl()->currentIndex(), 0);
    EXPECT_GE(form->width(), 761);
    EXPECT_EQ(form->size(), form->minimumSize()) << "a fresh start opens at the smallest size";
    EXPECT_GT(form->maximumWidth(), form->minimumWidth()) << "the window can be resized";
    ASSERT_EQ(PageControl()->count(), 6);
    EXPECT_EQ(PageControl()->tabText(4), "Database Users");
    EXPECT_EQ(TraceFiles(ProgramDir()).size(), 1) << "the trace file exists while the window does";

    form->findChild<QAction*>("OptionsItem")->showStatusText(form->menuBar()); // as the menu does on hover
    EXPECT_EQ(form->statusBar()->currentMessage(), " Change options") << "menu hints show in the status bar";

    CloseWindow();
    QByteArray written = SettingsFile();
    for (const char* key :
         {"Top=", "Left=", "Height=", "Width=", "Remote Type=0", "Remote Host=", "Remote Address=127.0.0.1",
          "Remote Port=12006", "Remote Service=", "Remote Tracing=0"})
        EXPECT_TRUE(written.contains(key)) << key;
    EXPECT_TRUE(TraceFiles(ProgramDir()).isEmpty()) << "the trace file is deleted at exit";
}

TEST_F(WindowTest, ExitMergesIntoTheSettingsFileKeepingWhatOthersWroteMeanwhile)
{
    WriteSettingsFile("[Admin Info]\nRemote Port=12010\n");
    OpenWindow();
    // Another program (a second window, the CLI) writes its own section while this window is open.
    WriteSettingsFile("[Admin Info]\nRemote Port=12010\nAdded Later=kept\n[Profiles Used]\nLast=prod\n");
    CloseWindow();
    QByteArray written = SettingsFile();
    EXPECT_TRUE(written.contains("Added Later=kept")) << written.toStdString();
    EXPECT_TRUE(written.contains("[Profiles Used]\nLast=prod")) << written.toStdString();
    EXPECT_TRUE(written.contains("Remote Port=12010"));
    EXPECT_TRUE(written.contains("[Main Window]"));
}

TEST_F(WindowTest, UnwritableProgramDirectoryKeepsSettingsAndTraceInXdgDirectories)
{
    QTemporaryDir xdg;
    qputenv("XDG_CONFIG_HOME", xdg.filePath("config").toUtf8());
    qputenv("XDG_STATE_HOME", xdg.filePath("state").toUtf8());
    dialogs.DirectoriesWritable = false;
    OpenWindow();
    EXPECT_TRUE(form->TraceFileName().startsWith(xdg.filePath("state/korvel-admin/korvel-admin")));
    EXPECT_TRUE(QFile::exists(form->TraceFileName()));
    CloseWindow();
    qunsetenv("XDG_CONFIG_HOME");
    qunsetenv("XDG_STATE_HOME");

    QFile settings(xdg.filePath("config/korvel-admin/korvel-admin.ini"));
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    EXPECT_TRUE(settings.readAll().contains("Remote Port=12006"));
    EXPECT_TRUE(QDir(xdg.filePath("state/korvel-admin")).isEmpty()) << "the trace file is deleted at exit";
    EXPECT_TRUE(QDir(ProgramDir()).isEmpty()) << "nothing is written beside the program";
}

TEST_F(WindowTest, HelpAboutStatesTheVersionTheLibrariesAndTheFilesInUse)
{
    OpenWindow();
    QStringList shown;
    WhenModal(
        [&](QWidget& dialog)
        {
            for (const QLabel* label : dialog.findChildren<QLabel*>())
            {
                shown << label->text();
                EXPECT_FALSE(label->accessibleName().isEmpty()) << label->text().toStdString();
            }
            // A picture for a person to look at, when asked for.
            if (qEnvironmentVariableIsSet("KORVEL_SCREENSHOTS"))
                SaveScreenshot(dialog, QDir(qEnvironmentVariable("KORVEL_SCREENSHOTS")), "help-about");
            static_cast<QDialog&>(dialog).accept();
        });
    Pick("HelpAboutItem");
    const QString all = shown.join('\n');
    EXPECT_TRUE(all.contains("KORVEL Admin 1.0.0")) << all.toStdString();
    EXPECT_TRUE(all.contains(QString::fromLatin1(qVersion()))) << "Qt's version as it runs";
    EXPECT_TRUE(all.contains(SettingsPath())) << all.toStdString();
    EXPECT_TRUE(all.contains(form->TraceFileName())) << all.toStdString();
    EXPECT_TRUE(all.contains(QString::fromStdString(form->JournalPath()))) << all.toStdString();
}

TEST_F(WindowTest, LoginFillsPagesInOrderAndLogoutRestoresTheLoggedOutLook)
{
    StartServer("Remote Tracing=1\n");
    OpenWindow();
    LoginAsAdmin();
    ASSERT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join("\n").toStdString();

    // The reads in page order, then the refresh; once all are read, the pages are shown in view mode.
    EXPECT_EQ(journal, (Journal{"Status:fill", "Server:fill", "Users:fill", "Databases:fill",
                                "Database Users:fill", "Log:fill", "Status:refresh", "Server:refresh",
                                "Users:refresh", "Databases:refresh", "Database Users:refresh", "Log:refresh",
                                "Server:reset", "Users:reset", "Databases:reset", "Database Users:reset"}));
    EXPECT_EQ(form->windowTitle(),
              QString("KORVEL Admin (Connected to 127.0.0.1 on port %1 - Demo)").arg(server->AdminPort()));
    EXPECT_EQ(LoginCaption(), "&Logout from Server");
    EXPECT_TRUE(PageControl()->isVisible());
    EXPECT_TRUE(form->RemoteSession().Active());
    EXPECT_EQ(form->focusWidget(), pages[0]->LoginFocusWidget());

    QFile trace(ProgramDir() + TraceFiles(ProgramDir()).value(0));
    ASSERT_TRUE(trace.open(QIODevice::ReadOnly));
    QByteArray traced = trace.readAll();
    EXPECT_FALSE(traced.isEmpty()) << "tracing from the settings file writes the exchanges";
    EXPECT_TRUE(traced.endsWith("\r\n"));

    Pick("LoginItem"); // logout
    EXPECT_EQ(LoginCaption(), "&Login to Server");
    EXPECT_FALSE(PageControl()->isVisible());
    EXPECT_EQ(form->windowTitle(), "KORVEL Admin");
    EXPECT_FALSE(form->RemoteSession().Active());
    EXPECT_TRUE(dialogs.Errors().isEmpty());
}

TEST_F(WindowTest, FailedLoginsShowTheReasonAndStayLoggedOut)
{
    StartServer();
    OpenWindow();

    dialogs.Logins.push_back({false, "", ""});
    Pick("LoginItem");
    EXPECT_EQ(dialogs.Errors(), QStringList{"Error retrieving server information - Operation aborted"});
    EXPECT_EQ(LoginCaption(), "&Login to Server");
    EXPECT_FALSE(form->RemoteSession().Active());

    dialogs.Boxes.clear();
    dialogs.LoginPrompts = 0;
    for (int attempt = 0; attempt < 3; ++attempt)
        dialogs.Logins.push_back({true, "admin", "wrong"});
    Pick("LoginItem");
    EXPECT_EQ(dialogs.LoginPrompts, 3) << "three attempts, each through the prompt";
    ASSERT_EQ(dialogs.Errors().size(), 1);
    EXPECT_TRUE(
        dialogs.Errors()[0].startsWith("Error retrieving server information - KORVEL Engine Error # "))
        << dialogs.Errors()[0].toStdString();
    EXPECT_FALSE(form->RemoteSession().Active());
    EXPECT_FALSE(PageControl()->isVisible());

    server.reset(); // nothing listens any more
    dialogs.Boxes.clear();
    LoginAsAdmin();
    dialogs.Logins.clear();
    ASSERT_EQ(dialogs.Errors().size(), 1);
    EXPECT_TRUE(dialogs.Errors()[0].startsWith("Error retrieving server information - "));
    EXPECT_EQ(form->windowTitle(), "KORVEL Admin");
}

TEST_F(WindowTest, FailureAfterThePagesAreShownReturnsToTheLoggedOutLook)
{
    StartServer();
    OpenWindow();
    pages[0]->FailRefresh = true;
    LoginAsAdmin();
    EXPECT_EQ(dialogs.Errors(), QStringList{"Error retrieving server information - Status refresh failed"});
    EXPECT_FALSE(PageControl()->isVisible());
    EXPECT_EQ(LoginCaption(), "&Login to Server");
    EXPECT_EQ(form->windowTitle(), "KORVEL Admin");
    EXPECT_FALSE(form->RemoteSession().Active());

    pages[0]->FailRefresh = false;
    pages[2]->FailFill = true;
    dialogs.Boxes.clear();
    LoginAsAdmin();
    EXPECT_EQ(dialogs.Errors(), QStringList{"Error retrieving server information - Users fill failed"});
    EXPECT_FALSE(form->RemoteSession().Active());

    pages[2]->FailFill = false;
    dialogs.Boxes.clear();
    LoginAsAdmin();
    EXPECT_TRUE(dialogs.Errors().isEmpty()) << "a later login works";
    EXPECT_TRUE(PageControl()->isVisible());

    server->Kill();
    Pick("LoginItem"); // logout from a server that is gone
    EXPECT_FALSE(form->RemoteSession().Active());
    EXPECT_FALSE(PageControl()->isVisible());
    EXPECT_EQ(LoginCaption(), "&Login to Server");
}

TEST_F(WindowTest, ConfirmPendingEditsAsksEachEditingPageInOrder)
{
    OpenWindow();
    pages[2]->State = admin::esEditing;
    pages[3]->State = admin::esAdding;

    bool proceeded = false;
    auto proceed = [&] { proceeded = true; };
    dialogs.Answers = {Answer::Cancel};
    form->ConfirmPendingEdits(proceed);
    EXPECT_FALSE(proceeded);
    ASSERT_EQ(dialogs.Boxes.size(), 1u);
    EXPECT_EQ(dialogs.Boxes[0].BoxKind, ScriptedDialogs::Kind::WarningYesNoCancel);
    EXPECT_EQ(dialogs.Boxes[0].Text, UsersQuestion);
    EXPECT_EQ(PageControl()->currentIndex(), 2) << "the page asking is the active page";
    EXPECT_EQ(pages[3]->State, admin::esAdding) << "pages after a Cancel are left alone";

    journal.clear();
    dialogs.Boxes.clear();
    dialogs.Answers = {Answer::No, Answer::Yes};
    form->ConfirmPendingEdits(proceed);
    EXPECT_TRUE(proceeded);
    EXPECT_EQ(journal, (Journal{"Users:cancel", "Databases:save"}));
    EXPECT_EQ(dialogs.Boxes[1].Text, DatabasesQuestion);

    pages[1]->State = admin::esEditing;
    pages[1]->FailSave = true;
    dialogs.Answers = {Answer::Yes};
    proceeded = false;
    EXPECT_THROW(form->ConfirmPendingEdits(proceed), std::runtime_error);
    EXPECT_FALSE(proceeded);
    EXPECT_EQ(pages[1]->State, admin::esEditing) << "a failed Save keeps the edit";
    EXPECT_EQ(dialogs.Boxes.back().Text, ServerQuestion);
}

TEST_F(WindowTest, PageChangeLogoutAndCloseWaitForThePendingEdits)
{
    StartServer();
    OpenWindow();
    LoginAsAdmin();
    PageControl()->setCurrentIndex(2);
    pages[2]->State = admin::esEditing;

    dialogs.Answers = {Answer::Cancel};
    PageControl()->setCurrentIndex(5);
    EXPECT_EQ(PageControl()->currentIndex(), 2) << "Cancel keeps the Users page";
    EXPECT_EQ(pages[2]->State, admin::esEditing);

    dialogs.Answers = {Answer::No};
    PageControl()->setCurrentIndex(5);
    EXPECT_EQ(PageControl()->currentIndex(), 5) << "No discards the edit and changes the page";
    EXPECT_EQ(journal.back(), "Users:cancel");

    pages[1]->State = admin::esEditing;
    pages[1]->FailSave = true;
    dialogs.Answers = {Answer::Yes};
    PageControl()->setCurrentIndex(0);
    EXPECT_EQ(PageControl()->currentIndex(), 1) << "a failed Save stays on its page";
    EXPECT_EQ(dialogs.Errors(), QStringList{"Server save failed"});

    dialogs.Answers = {Answer::Cancel};
    Pick("LoginItem");
    EXPECT_TRUE(form->RemoteSession().Active()) << "Cancel keeps the login";
    EXPECT_EQ(LoginCaption(), "&Logout from Server");

    dialogs.Answers = {Answer::Cancel};
    EXPECT_FALSE(form->close());
    EXPECT_TRUE(form->isVisible());

    pages[1]->FailSave = false;
    dialogs.Answers = {Answer::Yes};
    EXPECT_TRUE(form->close());
    EXPECT_EQ(journal.back(), "Server:save");
}

TEST(WindowTitleTest, NamesHostOrAddressPortOrServiceAndServer)
{
    settings::Connection connection;
    connection.Address = "127.0.0.1";
    connection.Port = 12006;
    EXPECT_EQ(admin::ConnectedTitle("KORVEL Admin", connection, "S"),
              "KORVEL Admin (Connected to 127.0.0.1 on port 12006 - S)");
    connection.Host = "dbhost";
    connection.Service = "admsvc";
    EXPECT_EQ(admin::ConnectedTitle("KORVEL Admin", connection, ""),
              "KORVEL Admin (Connected to dbhost on service admsvc - )");
}

TEST_F(WindowTest, SavedGeometryIsRestoredWhenOnAScreenAndTwoCyclesKeepTheFourKeys)
{
    auto keys = [&]
    {
        QStringList found;
        for (const QByteArray& line : SettingsFile().split('\n'))
            for (const char* key : {"Top=", "Left=", "Height=", "Width="})
                if (line.trimmed().startsWith(key))
                    found << QString::fromLatin1(line.trimmed());
        return found;
    };
    WriteSettingsFile("[Main Window]\nTop=40\nLeft=10\nHeight=520\nWidth=770\n");
    OpenWindow();
    EXPECT_EQ(form->geometry(), QRect(10, 40, 770, 520)) << "the area inside the window's frame";
    CloseWindow();
    const QStringList first = keys();
    EXPECT_EQ(first, (QStringList{"Top=40", "Left=10", "Height=520", "Width=770"}));
    OpenWindow();
    CloseWindow();
    EXPECT_EQ(keys(), first);

    // Off every screen, or smaller than the minimum: centred at the smallest size that fits.
    WriteSettingsFile("[Main Window]\nTop=-5000\nLeft=-5000\nHeight=10\nWidth=10\n");
    OpenWindow();
    EXPECT_EQ(form->size(), form->minimumSize());
    EXPECT_EQ(form->frameGeometry().center(), form->screen()->availableGeometry().center());
}

} // namespace
} // namespace korvel::test
