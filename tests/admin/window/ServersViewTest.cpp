// The Servers view read as a person reads it: one row per profile with its server's state, checked in the
// background without ever asking anything; Enter on a live row logs in; a window opened on a profile logs in
// to it at start and keeps its place in a section of its own.
#include "admin/pages/servers/ServersPage.h"
#include "admin/window/Translations.h"
#include "engine/wire/Utf8.h"
#include "settings/Profiles.h"
#include "testing/FleetProfiles.h"
#include "tests/admin/window/WindowFixture.h"

#include <QAbstractItemModel>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QTableView>
#include <QTest>

#include <algorithm>
#include <functional>
#include <map>
#include <mutex>

namespace korvel::test
{
namespace
{

using settings::Profile;

// Profiles of a home of the test's own.
class ProfilesTest : public WindowTest
{
protected:
    ProfilesTest() { qputenv("XDG_CONFIG_HOME", config.path().toUtf8()); }

    static Profile SaveProfile(const std::string& name, int port)
    {
        Profile profile;
        profile.Name = name;
        profile.Server.Address = "127.0.0.1";
        profile.Server.Port = static_cast<std::uint16_t>(port);
        profile.User = "admin";
        settings::ProfileStore().Save(profile);
        return profile;
    }

    QTemporaryDir config;
};

class ServersViewTest : public ProfilesTest
{
protected:
    // The window with its real pages over the shared fleet's profiles, each password look-up counted.
    void OpenOnFleet()
    {
        settings::ProfileStore store;
        fleet.SaveProfiles(store);
        OpenWindow(admin::CreatePages);
        auto* page = form->findChild<admin::ServersPage*>("ServersPage");
        ASSERT_NE(page, nullptr);
        fleet::CheckSettings settings = fleet.Settings();
        settings.Password = [this](const Profile& profile)
        {
            const std::lock_guard lock(mutex);
            ++lookups[profile.Name];
            return fleet.PasswordOf(profile);
        };
        // Before the event loop turns: the first sweep, due since the view was first shown, uses these.
        page->SetCheckSettings(settings);
    }
    int Lookups(const std::string& profile)
    {
        const std::lock_guard lock(mutex);
        return lookups[profile];
    }

    QTableView* Table() const { return form->findChild<QTableView*>("ServersTableView"); }
    static QString Shown(const Profile& profile) { return QString::fromStdString(ShownName(profile.Name)); }
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
    QString State(const FleetRow& row) const { return Row(Shown(row.Profile)).value(2); }
    const FleetRow& RowIn(fleet::ServerState state) const
    {
        return *std::find_if(fleet.Rows().begin(), fleet.Rows().end(),
                             [state](const FleetRow& row) { return row.Expected == state; });
    }

    FleetProfiles fleet;
    std::mutex mutex;
    std::map<std::string, int> lookups;
};

TEST_F(ServersViewTest, EachProfileShowsItsStateWithoutAskingAndASilentOneDelaysNoOther)
{
    OpenOnFleet();
    // Shown while logged out, in place of the page control.
    ASSERT_FALSE(PageControl()->isVisible());
    ASSERT_TRUE(Table()->isVisible());
    EXPECT_EQ(Table()->accessibleName(), "Servers and their states");
    for (const char* name : {"ServersSearchEdit", "ServersIntervalComboBox", "ServersCheckButton"})
        EXPECT_FALSE(form->findChild<QWidget*>(name)->accessibleName().isEmpty()) << name;

    // Every other row has its answer while the silent server is still being waited for.
    const FleetRow& silent = RowIn(fleet::ServerState::NoAnswer);
    auto settled = [&](const FleetRow& row) { return State(row) != "Not checked"; };
    ASSERT_TRUE(WaitFor(
        [&]
        {
            return std::all_of(fleet.Rows().begin(), fleet.Rows().end(),
                               [&](const FleetRow& row) { return &row == &silent || settled(row); });
        },
        30000));
    EXPECT_EQ(State(silent), "Not checked");
    ASSERT_TRUE(WaitFor([&] { return settled(silent); }, 30000));

    for (const FleetRow& row : fleet.Rows())
    {
        SCOPED_TRACE(fleet::WhereText(row.Profile));
        const bool up = row.Expected == fleet::ServerState::Up;
        const QStringList cells = Row(Shown(row.Profile));
        ASSERT_EQ(cells.size(), 7) << "a row of its own, its name shown escaped";
        EXPECT_EQ(cells[1].toStdString(), fleet::WhereText(row.Profile));
        EXPECT_EQ(cells[2].toStdString(), fleet.ExpectedText(row));
        EXPECT_EQ(cells[3], up ? "3.21" : "");
        EXPECT_EQ(cells[4], up ? QString("%1 / %1").arg(row.Sessions) : "");
        EXPECT_EQ(cells[5].endsWith(" ms"), up);
        EXPECT_FALSE(cells[6].isEmpty()) << "when it was checked";
    }
    EXPECT_EQ(dialogs.LoginPrompts, 0) << "a sweep never asks";
    EXPECT_TRUE(dialogs.Boxes.empty());

    // Checked again (F5), the refused login is not tried: the server's login delay is not fed.
    const FleetRow& refused = RowIn(fleet::ServerState::LoginRefused);
    const FleetRow& live = RowIn(fleet::ServerState::Up);
    const int refusedLookups = Lookups(refused.Profile.Name);
    const int liveLookups = Lookups(live.Profile.Name);
    QTest::keyClick(form.get(), Qt::Key_F5);
    ASSERT_TRUE(WaitFor([&] { return Lookups(live.Profile.Name) > liveLookups; }, 30000));
    EXPECT_EQ(Lookups(refused.Profile.Name), refusedLookups);
    EXPECT_EQ(State(refused), "Login refused");

    // Typing filters the rows: the refused port's and the refused login's.
    QTest::keyClicks(form->findChild<QLineEdit*>("ServersSearchEdit"), "refused");
    EXPECT_EQ(Table()->model()->rowCount(), 2);
}

TEST_F(ServersViewTest, EnterOnALiveRowLogsInAndItsRowThenReadsLoggedIn)
{
    OpenOnFleet();
    const FleetRow& live = RowIn(fleet::ServerState::Up);
    ASSERT_TRUE(WaitFor([&] { return State(live) == "Up"; }, 30000));

    // The usual login: without a keyring to read, it asks.
    dialogs.Logins.push_back({true, "admin", *live.KeptPassword});
    QAbstractItemModel* model = Table()->model();
    for (int row = 0; row < model->rowCount(); ++row)
        if (model->index(row, 0).data().toString() == Shown(live.Profile))
            Table()->setCurrentIndex(model->index(row, 0));
    Table()->setFocus();
    QTest::keyClick(Table(), Qt::Key_Return);
    Settle();
    ASSERT_TRUE(form->LoggedIn()) << dialogs.Errors().join("\n").toStdString();
    EXPECT_EQ(dialogs.LoginPrompts, 1);
    EXPECT_EQ(form->Login().ConnectedProfile().toStdString(), live.Profile.Name) << "the row's exact bytes";
    EXPECT_EQ(PageControl()->tabText(PageControl()->count() - 1), "Servers");
    EXPECT_EQ(PageControl()->tabText(PageControl()->count() - 2), "Log");
    EXPECT_EQ(State(live), "Logged in") << "not checked a second time";
}

// The window's language, as a change of it reaches the widgets: by the posted LanguageChange.
void InstallTranslations(const QLocale& locale)
{
    admin::InstallTranslations(locale);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
}

// The header keeps what its captions measure; each row changes what the "Sessions" caption measures, and a
// size kept from before would leave the caption cut.
TEST_F(ProfilesTest, TheServersHeaderMeasuresItsCaptionsAnewWhenTheirFontOrLanguageChanges)
{
    OpenWindow(admin::CreatePages);
    QHeaderView* header = form->findChild<QTableView*>("ServersTableView")->horizontalHeader();
    constexpr int Sessions = 4;
    const QFont font = header->font();
    QFont larger = font;
    larger.setPointSizeF(font.pointSizeF() * 2);
    const struct
    {
        const char* Change;
        std::function<void()> Apply;
        std::function<void()> Undo;
    } rows[] = {
        {"a larger font", [&] { header->setFont(larger); }, [&] { header->setFont(font); }},
        {"German (\"Sitzungen\")", [] { InstallTranslations(QLocale(QLocale::German, QLocale::Germany)); },
         [] { InstallTranslations(QLocale(QLocale::English, QLocale::UnitedStates)); }},
    };
    for (const auto& row : rows)
    {
        const int before = header->sectionSizeHint(Sessions);
        row.Apply();
        EXPECT_GT(header->sectionSizeHint(Sessions), before) << row.Change;
        row.Undo();
        EXPECT_EQ(header->sectionSizeHint(Sessions), before) << row.Change << ", undone";
    }
}

TEST_F(ProfilesTest, AWindowOnAProfileLogsInAtStartAndKeepsItsOwnPlace)
{
    StartServer();
    SaveProfile("Alpha", server->AdminPort());

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
                               "Alpha",
                               {},
                               &dialogs};
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
