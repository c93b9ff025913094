// The Servers view read as a person reads it: one row per profile with its server's state, checked in the
// background without ever asking anything; Enter on a live row logs in; a window opened on a profile logs in
// to it at start and keeps its place in a section of its own.
#include "admin/pages/servers/ServersPage.h"
#include "settings/Profiles.h"
#include "testing/LoopbackSocket.h"
#include "tests/admin/window/WindowFixture.h"

#include <QAbstractItemModel>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QTableView>
#include <QTest>

#include <atomic>
#include <map>
#include <mutex>

namespace korvel::test
{
namespace
{

using settings::Profile;

class ServersViewTest : public WindowTest
{
protected:
    ServersViewTest() { qputenv("XDG_CONFIG_HOME", config.path().toUtf8()); }

    static Profile SaveProfile(const std::string& name, int port, bool keepPassword)
    {
        Profile profile;
        profile.Name = name;
        profile.Server.Address = "127.0.0.1";
        profile.Server.Port = static_cast<std::uint16_t>(port);
        profile.User = "admin";
        profile.KeepPassword = keepPassword;
        settings::ProfileStore().Save(profile);
        return profile;
    }

    // The window with its real pages; every check uses `deadline` and the passwords of `passwords`.
    admin::TServersPage& OpenWithServersView(std::chrono::seconds deadline)
    {
        OpenWindow(admin::CreatePages);
        auto* page = form->findChild<admin::TServersPage*>("ServersPage");
        EXPECT_NE(page, nullptr);
        // Before the event loop turns: the first sweep, due when the view was first shown, uses these.
        page->SetCheckSettings({deadline,
                                [this](const Profile& profile) -> std::optional<std::string>
                                {
                                    std::lock_guard lock(mutex);
                                    ++lookups[profile.Name];
                                    auto kept = passwords.find(profile.Name);
                                    return kept == passwords.end() ? std::nullopt
                                                                   : std::optional(kept->second);
                                },
                                {}});
        return *page;
    }

    QTableView* Table() const { return form->findChild<QTableView*>("ServersTableView"); }
    // The row as shown: every cell's text, found by the name the person reads.
    QStringList Row(const QString& name) const
    {
        QAbstractItemModel* model = Table()->model();
        for (int row = 0; row < model->rowCount(); ++row)
            if (model->index(row, 0).data().toString() == name)
            {
                QStringList cells;
                for (int column = 0; column < model->columnCount(); ++column)
                    cells << model->index(row, column).data().toString();
                return cells;
            }
        return {};
    }
    QString State(const QString& name) const { return Row(name).value(2); }

    QTemporaryDir config;
    std::mutex mutex;
    std::map<std::string, std::string> passwords;
    std::map<std::string, int> lookups;
};

TEST_F(ServersViewTest, EachProfileShowsItsStateAndASilentOneDelaysNoOther)
{
    StartServer();
    RefusingPort refused;
    UnansweredListener silent;
    struct Case
    {
        const char* Name;
        int Port;
        bool KeepPassword;
        const char* Password; // what the keyring holds; null: nothing
        QString State;
        bool Figures; // engine, sessions, round trip shown
    };
    const std::vector<Case> cases{
        {"Alpha", server->AdminPort(), true, "secret", "Up", true},
        {"Bravo refused", refused.Port(), true, "secret", "Down: refused", false},
        {"Charlie silent", silent.Port(), true, "secret", "No answer in 3 s", false},
        {"Delta unkept", server->AdminPort(), false, nullptr, "Password needed", false},
        {"Echo kept but gone", server->AdminPort(), true, nullptr, "Password needed", false},
        {"Foxtrot wrong", server->AdminPort(), true, "guess", "Login refused", false},
    };
    for (const Case& row : cases)
    {
        SaveProfile(row.Name, row.Port, row.KeepPassword);
        if (row.Password)
            passwords[row.Name] = row.Password;
    }
    OpenWithServersView(std::chrono::seconds(3));
    // Shown while logged out, in place of the page control.
    ASSERT_FALSE(PageControl()->isVisible());
    ASSERT_TRUE(Table()->isVisible());
    EXPECT_EQ(Table()->accessibleName(), "Servers");
    for (const char* name : {"ServersSearchEdit", "ServersIntervalComboBox", "ServersCheckButton"})
        EXPECT_FALSE(form->findChild<QWidget*>(name)->accessibleName().isEmpty()) << name;

    // Every live row has its answer while the silent server is still being waited for.
    auto settled = [&](const Case& row) { return State(row.Name) != "Not checked"; };
    ASSERT_TRUE(WaitFor(
        [&]
        {
            return std::all_of(cases.begin(), cases.end(),
                               [&](const Case& row) { return row.Port == silent.Port() || settled(row); });
        },
        30000));
    EXPECT_EQ(State("Charlie silent"), "Not checked");
    ASSERT_TRUE(WaitFor([&] { return settled(cases[2]); }, 30000));

    for (const Case& row : cases)
    {
        SCOPED_TRACE(row.Name);
        const QStringList cells = Row(row.Name);
        ASSERT_EQ(cells.size(), 7);
        EXPECT_EQ(cells[1], "127.0.0.1:" + QString::number(row.Port));
        EXPECT_EQ(cells[2], row.State);
        EXPECT_EQ(cells[3], row.Figures ? "3.21" : "");
        EXPECT_EQ(cells[4].contains(" / "), row.Figures);
        EXPECT_EQ(cells[5].endsWith(" ms"), row.Figures);
        EXPECT_FALSE(cells[6].isEmpty()) << "when it was checked";
    }
    EXPECT_EQ(dialogs.LoginPrompts, 0) << "a sweep never asks";
    EXPECT_TRUE(dialogs.Boxes.empty());

    // Checked again, the refused login is not tried: the server's login delay is not fed.
    const int refusedLookups = lookups["Foxtrot wrong"];
    const int liveLookups = lookups["Alpha"];
    QTest::keyClick(form.get(), Qt::Key_F5);
    ASSERT_TRUE(WaitFor(
        [&]
        {
            std::lock_guard lock(mutex);
            return lookups["Alpha"] > liveLookups;
        },
        30000));
    EXPECT_EQ(lookups["Foxtrot wrong"], refusedLookups);
    EXPECT_EQ(State("Foxtrot wrong"), "Login refused");

    // Typing filters the rows.
    QTest::keyClicks(form->findChild<QLineEdit*>("ServersSearchEdit"), "refused");
    EXPECT_EQ(Table()->model()->rowCount(), 2) << "Bravo's state and Foxtrot's";
}

TEST_F(ServersViewTest, EnterOnALiveRowLogsInAndItsRowThenReadsLoggedIn)
{
    StartServer();
    SaveProfile("Alpha", server->AdminPort(), false);
    passwords["Alpha"] = "secret";
    OpenWithServersView(std::chrono::seconds(5));
    ASSERT_TRUE(WaitFor([&] { return State("Alpha") == "Password needed"; }, 30000));

    dialogs.Logins.push_back({true, "admin", "secret"});
    Table()->setFocus();
    Table()->setCurrentIndex(Table()->model()->index(0, 0));
    QTest::keyClick(Table(), Qt::Key_Return);
    Settle();
    ASSERT_TRUE(form->LoggedIn());
    EXPECT_EQ(form->findChild<QLabel*>("ProfileLabel")->text().trimmed(), "Profile: Alpha");
    EXPECT_EQ(PageControl()->tabText(PageControl()->count() - 1), "Servers");
    EXPECT_EQ(PageControl()->tabText(PageControl()->count() - 2), "Log");
    EXPECT_EQ(State("Alpha"), "Logged in") << "not checked a second time";
}

TEST_F(ServersViewTest, AWindowOnAProfileLogsInAtStartAndKeepsItsOwnPlace)
{
    StartServer();
    SaveProfile("Alpha", server->AdminPort(), false);

    // An unknown profile: the program says so and ends before any window shows.
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CONFIG_HOME", config.path());
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(environment);
    program.start(KORVEL_ADMIN_PROGRAM, {"--profile", "Nobody"});
    ASSERT_TRUE(program.waitForFinished(30000));
    EXPECT_NE(program.exitCode(), 0);
    EXPECT_TRUE(program.readAllStandardError().contains("There is no profile named \"Nobody\""));

    admin::MainFormSetup setup{{ProgramDir(), "korvel-admin", {}},
                               {"KORVEL Admin", "korvel-admin", "1.0.0"},
                               admin::CreatePages,
                               "Alpha"};
    form = std::make_unique<admin::TMainForm>(setup);
    form->show();
    dialogs.Logins.push_back({true, "admin", "secret"});
    form->LoginToProfile("Alpha");
    Settle();
    ASSERT_TRUE(form->LoggedIn());
    form->move(40, 30);
    CloseWindow();
    const QByteArray settings = SettingsFile();
    EXPECT_TRUE(settings.contains("[Main Window: Alpha]")) << settings.toStdString();
    EXPECT_FALSE(settings.contains("[Main Window]\n")) << "the main window's place stays as it was";
}

} // namespace
} // namespace korvel::test
