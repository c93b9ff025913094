// Connection profiles in the window: File > Connect to and File > Profiles..., driven with clicks and keys;
// passwords kept in a private Secret Service (the ctest runs this through with-secret-service.sh).
#include "admin/connection/ProfilesDialog.h"
#include "credentials/Keyring.h"
#include "settings/Profiles.h"
#include "testing/LockedKeyring.h"
#include "testing/PausedServer.h"
#include "tests/admin/window/WindowFixture.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTest>

#include <cstdlib>

namespace korvel::test
{
namespace
{

using admin::Answer;
using settings::Profile;

std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

class ProfilesWindowTest : public WindowTest
{
protected:
    ProfilesWindowTest() { qputenv("XDG_CONFIG_HOME", config.path().toUtf8()); }

    // The settings point at a closed port: only a profile reaches the server.
    void StartServerElsewhere()
    {
        StartServer();
        WriteSettingsFile("[Admin Info]\nRemote Port=1\n");
    }
    Profile SaveProfile(const std::string& name, int port, bool keepPassword = false)
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

    QMenu* ConnectToMenu() const { return form->findChild<QMenu*>("ConnectToMenu"); }
    QStringList ConnectToNames()
    {
        QMenu* menu = ConnectToMenu();
        menu->popup(form->mapToGlobal(QPoint(10, 10)));
        QStringList names;
        for (QAction* action : menu->actions())
            names << action->text();
        menu->hide();
        return names;
    }
    // Opens File > Connect to and clicks the profile, as the user does.
    void ClickConnectTo(const QString& name)
    {
        QMenu* menu = ConnectToMenu();
        menu->popup(form->mapToGlobal(QPoint(10, 10)));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
        for (QAction* action : menu->actions())
            if (action->text() == name)
            {
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
                Settle();
                return;
            }
        FAIL() << "no profile " << name.toStdString() << " in File > Connect to";
    }
    QLabel* ProfileLabel() const { return form->findChild<QLabel*>("ProfileLabel"); }

    static bool SecretServiceRunning(std::string& why)
    {
        why = Env("KORVEL_NO_SECRET_SERVICE");
        if (why.empty() && !credentials::SecretServiceAvailability().Available)
            why = credentials::SecretServiceAvailability().Reason;
        return why.empty();
    }

    // In File > Profiles...: selects `name` in the list with a click, types `text` over the field
    // `field`, clicks Save, and closes the dialog once `settled` holds (the keyring answers through the
    // event loop while the dialog is open); false when it did not within 10 s.
    bool EditInProfilesDialog(const QString& name, const char* field, const QString& text,
                              const std::function<bool()>& settled)
    {
        bool settledInTime = false;
        WhenModal(
            [&](QWidget& dialog)
            {
                auto* list = dialog.findChild<QListWidget*>("ProfilesListBox");
                QList<QListWidgetItem*> found = list->findItems(name, Qt::MatchExactly);
                ASSERT_EQ(found.size(), 1);
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                                  list->visualItemRect(found[0]).center());
                auto* edit = dialog.findChild<QLineEdit*>(field);
                edit->selectAll();
                QTest::keyClick(edit, Qt::Key_Backspace);
                QTest::keyClicks(edit, text);
                auto* save = dialog.findChild<QPushButton*>("SaveButton");
                QTest::mouseClick(save, Qt::LeftButton, {}, save->rect().center());
                settledInTime = WaitFor(settled, 10000);
                auto* close = dialog.findChild<QPushButton*>("CloseButton");
                QTest::mouseClick(close, Qt::LeftButton, {}, close->rect().center());
            });
        Pick("ProfilesItem");
        return settledInTime;
    }

    QTemporaryDir config;
};

#define REQUIRE_SECRET_SERVICE()                                                                             \
    do                                                                                                       \
    {                                                                                                        \
        std::string why;                                                                                     \
        if (!SecretServiceRunning(why))                                                                      \
        {                                                                                                    \
            if (Env("CI") == "true")                                                                         \
                FAIL() << "no Secret Service under CI: " << why;                                             \
            GTEST_SKIP() << "no Secret Service to test against (run through with-secret-service.sh): "       \
                         << why;                                                                             \
        }                                                                                                    \
    } while (false)

TEST_F(ProfilesWindowTest, ConnectToLogsInWithTheProfileForThatLoginOnlyAndNamesIt)
{
    StartServerElsewhere();
    SaveProfile("Closed", 1);
    SaveProfile("Demo & Co", server->AdminPort());
    SaveProfile("Spare", 2);
    OpenWindow();
    EXPECT_EQ(ConnectToNames(), (QStringList{"Closed", "Demo && Co", "Spare"}));

    dialogs.Logins.push_back({true, "admin", "secret"});
    ClickConnectTo("Demo && Co");
    ASSERT_TRUE(form->LoggedIn()) << dialogs.Errors().join("\n").toStdString();
    EXPECT_EQ(form->windowTitle(), "KORVEL Admin (Connected to 127.0.0.1 on port " +
                                       QString::number(server->AdminPort()) + " - Demo)")
        << "the title keeps its form";
    EXPECT_TRUE(ProfileLabel()->isVisible());
    EXPECT_EQ(ProfileLabel()->text().trimmed(), "Profile: Demo & Co");
    EXPECT_EQ(form->Settings().Server.Port, 1) << "the Options settings stay as they were";
    EXPECT_EQ(ConnectToNames().front(), "Demo && Co") << "the last used comes first";

    Pick("LoginItem"); // logout
    EXPECT_FALSE(form->LoggedIn());
    EXPECT_FALSE(ProfileLabel()->isVisible());
    // File > Login goes to the Options settings again (a closed port), offering the last user name.
    dialogs.Logins.push_back({true, "admin", "secret"});
    Pick("LoginItem");
    EXPECT_FALSE(form->LoggedIn()) << "the Options settings are back for the next login";
    ASSERT_EQ(dialogs.Errors().size(), 1);
    EXPECT_TRUE(dialogs.Errors()[0].contains("cannot be established")) << dialogs.Errors()[0].toStdString();
    dialogs.Logins.clear();

    // A profile that cannot connect leaves the window logged out.
    ClickConnectTo("Spare");
    EXPECT_FALSE(form->LoggedIn());
    EXPECT_EQ(dialogs.Errors().size(), 2);
    CloseWindow();
    EXPECT_TRUE(SettingsFile().contains("Remote Port=1\n")) << SettingsFile().toStdString();
}

TEST_F(ProfilesWindowTest, ConnectingWhileLoggedInLogsOutFirstAfterThePendingEditQuestion)
{
    StartServer();
    SaveProfile("Demo", server->AdminPort());
    OpenWindow();
    LoginAsAdmin();
    PageControl()->setCurrentIndex(2);
    pages[2]->State = admin::esEditing;

    dialogs.Answers = {Answer::Cancel};
    ClickConnectTo("Demo");
    EXPECT_EQ(dialogs.Boxes.back().Text, "Save the Users edits ?");
    EXPECT_TRUE(form->LoggedIn());
    EXPECT_FALSE(ProfileLabel()->isVisible()) << "still the login made without a profile";
    EXPECT_EQ(dialogs.LoginPrompts, 1);

    dialogs.Answers = {Answer::No};
    dialogs.Logins.push_back({true, "admin", "secret"});
    ClickConnectTo("Demo");
    EXPECT_EQ(journal.back().rfind("Users:", 0), std::string::npos) << "the pages were filled again";
    EXPECT_TRUE(form->LoggedIn());
    EXPECT_EQ(ProfileLabel()->text().trimmed(), "Profile: Demo");
    EXPECT_EQ(dialogs.LoginPrompts, 2);
}

TEST_F(ProfilesWindowTest, TabGoesFromTheNameThroughTheConnectionToTheUserName)
{
    OpenWindow();
    QStringList focused;
    WhenModal(
        [&](QWidget& dialog)
        {
            // As a person meets it: the radio button with the focus takes the other's place in the Tab order.
            EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
            for (int step = 0; step < 7 && dialog.focusWidget(); ++step)
            {
                focused << dialog.focusWidget()->objectName();
                QTest::keyClick(dialog.focusWidget(), Qt::Key_Tab);
            }
            dialog.findChild<QPushButton*>("CloseButton")->click();
        });
    Pick("ProfilesItem");
    EXPECT_EQ(focused, (QStringList{"ProfileNameEdit", "LANRadioButton", "HostNameEdit", "IPAddressEdit",
                                    "PortEdit", "ServiceEdit", "UserNameEdit"}));
}

TEST_F(ProfilesWindowTest, TheProfilesDialogAddsEditsDuplicatesTestsAndDeletes)
{
    StartServer();
    OpenWindow();
    WhenModal(
        [this](QWidget& dialog)
        {
            auto edit = [&](const char* name, const QString& text)
            {
                auto* field = dialog.findChild<QLineEdit*>(name);
                field->selectAll();
                QTest::keyClick(field, Qt::Key_Backspace);
                QTest::keyClicks(field, text);
            };
            auto click = [&](const char* name)
            {
                auto* button = dialog.findChild<QPushButton*>(name);
                QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
            };
            // With no profile yet the editor starts a new one.
            EXPECT_EQ(dialog.findChild<QLineEdit*>("ProfileNameEdit")->text(), "New profile");
            edit("ProfileNameEdit", "Demo");
            edit("PortEdit", QString::number(server->AdminPort()));
            edit("UserNameEdit", "admin");
            click("SaveButton");

            dialogs.Logins.push_back({true, "admin", "secret"});
            click("TestConnectionButton");
            EXPECT_TRUE(WaitFor([&] { return !form->Runner().Busy(); }, 10000));
            EXPECT_EQ(dialog.findChild<QLabel*>("TestResultLabel")->text(),
                      "Connected to the server Demo as admin.");

            click("DuplicateButton");
            EXPECT_EQ(dialog.findChild<QLineEdit*>("ProfileNameEdit")->text(), "Demo copy");
            auto* internet = dialog.findChild<QRadioButton*>("InternetRadioButton");
            QTest::mouseClick(internet, Qt::LeftButton, {}, QPoint(5, internet->height() / 2));
            edit("PortEdit", "");
            click("SaveButton");
            ASSERT_EQ(dialogs.Errors().size(), 1);
            EXPECT_EQ(dialogs.Errors().back(), "You must specify a port or service for a remote connection");
            edit("ServiceEdit", "korvel-admin");
            click("SaveButton");

            auto* list = dialog.findChild<QListWidget*>("ProfilesListBox");
            ASSERT_EQ(list->count(), 2);
            QListWidgetItem* demo = list->findItems("Demo", Qt::MatchExactly).front();
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(demo).center());
            EXPECT_EQ(dialog.findChild<QLineEdit*>("PortEdit")->text(), QString::number(server->AdminPort()));
            edit("ProfileNameEdit", "Demo server");
            click("SaveButton");

            dialogs.Answers = {Answer::No, Answer::Yes};
            click("DeleteButton");
            EXPECT_EQ(list->count(), 2) << "No keeps it";
            click("DeleteButton");
            EXPECT_EQ(list->count(), 1);
            click("CloseButton");
        });
    Pick("ProfilesItem");

    std::vector<Profile> profiles = settings::ProfileStore().List();
    ASSERT_EQ(profiles.size(), 1u);
    EXPECT_EQ(profiles[0],
              (Profile{"Demo copy", {true, "", "127.0.0.1", 0, "korvel-admin"}, "admin", false}));
    EXPECT_EQ(dialogs.Errors().size(), 1) << dialogs.Errors().join("\n").toStdString();
}

TEST_F(ProfilesWindowTest, WithoutASecretServiceTheKeyringOptionIsGreyedAndThePasswordAskedEachTime)
{
    std::string bus = Env("DBUS_SESSION_BUS_ADDRESS");
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    StartServer();
    SaveProfile("Kept", server->AdminPort(), true);
    OpenWindow();
    settings::ProfileStore store;
    admin::ProfilesDialog dialog(form.get(), store, credentials::SecretServiceAvailability(), form->Runner());
    dialog.show();
    auto* keep = dialog.findChild<QCheckBox*>("KeepPasswordCheckbox");
    EXPECT_FALSE(keep->isEnabled());
    EXPECT_FALSE(keep->isChecked());
    auto* reason = dialog.findChild<QLabel*>("KeyringReasonLabel");
    EXPECT_TRUE(reason->isVisible());
    EXPECT_TRUE(reason->text().contains("DBUS_SESSION_BUS_ADDRESS")) << reason->text().toStdString();
    dialog.close();

    for (int login = 1; login <= 2; ++login)
    {
        dialogs.Logins.push_back({true, "admin", "secret"});
        ClickConnectTo("Kept");
        EXPECT_TRUE(form->LoggedIn());
        EXPECT_EQ(dialogs.LoginPrompts, login);
        EXPECT_TRUE(dialogs.Boxes.empty()) << "nothing is offered to a keyring that is not there";
    }
    // Editing the profile here keeps its choice for a desktop with a keyring.
    ASSERT_TRUE(EditInProfilesDialog("Kept", "HostNameEdit", "localhost", [] { return true; }));
    const std::optional<Profile> edited = settings::ProfileStore().Find("Kept");
    ASSERT_TRUE(edited);
    EXPECT_EQ(edited->Server.Host, "localhost");
    EXPECT_TRUE(edited->KeepPassword);
    if (!bus.empty())
        ::setenv("DBUS_SESSION_BUS_ADDRESS", bus.c_str(), 1);
}

TEST_F(ProfilesWindowTest, AKeptPasswordLogsInWithoutAPromptAndARefusedOneIsOfferedForUpdate)
{
    REQUIRE_SECRET_SERVICE();
    StartServerElsewhere();
    SaveProfile("Kept", server->AdminPort(), true);
    credentials::CredentialKey key = credentials::CredentialKey::ForProfile("Kept", "admin");
    credentials::StorePassword(key, "secret");
    OpenWindow();

    // The lookup answers through the Qt event loop (GLib's main context): the window is not blocked.
    ClickConnectTo("Kept");
    EXPECT_FALSE(form->LoggedIn()) << "the login waits for the keyring's answer";
    EXPECT_FALSE(ConnectToMenu()->isEnabled());
    ASSERT_TRUE(WaitFor([&] { return form->LoggedIn(); }, 10000))
        << dialogs.Errors().join("\n").toStdString();
    EXPECT_EQ(dialogs.LoginPrompts, 0);
    EXPECT_TRUE(ConnectToMenu()->isEnabled());
    EXPECT_EQ(ProfileLabel()->text().trimmed(), "Profile: Kept");

    Pick("LoginItem");
    credentials::StorePassword(key, "outdated");
    dialogs.Logins.push_back({true, "admin", "secret"});
    dialogs.Answers = {Answer::Yes};
    ClickConnectTo("Kept");
    ASSERT_TRUE(WaitFor([&] { return form->LoggedIn(); }, 10000));
    EXPECT_EQ(dialogs.LoginPrompts, 1) << "asked once the server refused the kept password";
    ASSERT_FALSE(dialogs.Boxes.empty());
    EXPECT_EQ(dialogs.Boxes.back().Text,
              "The server refused the password kept in the keyring for Kept. Keep the "
              "password you entered instead?");
    EXPECT_TRUE(WaitFor([&] { return credentials::LookupPassword(key) == "secret"; }, 10000));

    // The Profiles dialog offers the option, and deleting the profile deletes its kept password.
    settings::ProfileStore store;
    admin::ProfilesDialog dialog(form.get(), store, credentials::SecretServiceAvailability(), form->Runner());
    dialog.show();
    EXPECT_TRUE(dialog.findChild<QCheckBox*>("KeepPasswordCheckbox")->isEnabled());
    EXPECT_TRUE(dialog.findChild<QCheckBox*>("KeepPasswordCheckbox")->isChecked());
    EXPECT_FALSE(dialog.findChild<QLabel*>("KeyringReasonLabel")->isVisibleTo(&dialog));
    dialogs.Answers = {Answer::Yes};
    auto* remove = dialog.findChild<QPushButton*>("DeleteButton");
    QTest::mouseClick(remove, Qt::LeftButton, {}, remove->rect().center());
    EXPECT_TRUE(WaitFor([&] { return !credentials::LookupPassword(key); }, 10000));
    credentials::DeletePassword(key);
}

TEST_F(ProfilesWindowTest, RenamingAProfileMovesItsKeptPasswordAndAnotherUserDropsIt)
{
    REQUIRE_SECRET_SERVICE();
    StartServer();
    SaveProfile("Kept", server->AdminPort(), true);
    credentials::CredentialKey kept = credentials::CredentialKey::ForProfile("Kept", "admin");
    credentials::CredentialKey renamed = credentials::CredentialKey::ForProfile("Kept at home", "admin");
    credentials::StorePassword(kept, "secret");
    OpenWindow();

    EXPECT_TRUE(EditInProfilesDialog("Kept", "ProfileNameEdit", "Kept at home",
                                     [&] {
                                         return credentials::LookupPassword(renamed) == "secret" &&
                                                !credentials::LookupPassword(kept);
                                     }));
    EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join("\n").toStdString();

    // The moved password logs in without a prompt.
    ClickConnectTo("Kept at home");
    ASSERT_TRUE(WaitFor([&] { return form->LoggedIn(); }, 10000))
        << dialogs.Errors().join("\n").toStdString();
    EXPECT_EQ(dialogs.LoginPrompts, 0);
    Pick("LoginItem");

    // Another user has another password: the kept one goes rather than moving.
    EXPECT_TRUE(EditInProfilesDialog("Kept at home", "UserNameEdit", "ops",
                                     [&] { return !credentials::LookupPassword(renamed); }));
    EXPECT_EQ(credentials::LookupPassword(credentials::CredentialKey::ForProfile("Kept at home", "ops")),
              std::nullopt);
}

// Run alone, on a Secret Service of its own: it leaves the keyring locked.
TEST_F(ProfilesWindowTest, LockedKeyringARenameThatCannotMoveThePasswordKeepsItAndSaysSo)
{
    REQUIRE_SECRET_SERVICE();
    SaveProfile("Kept", 1, true);
    credentials::CredentialKey kept = credentials::CredentialKey::ForProfile("Kept", "admin");
    ASSERT_EQ(StoreInSessionCollection(kept, "secret"), "");
    ASSERT_EQ(LockDefaultCollection(), "");
    OpenWindow();

    ASSERT_TRUE(EditInProfilesDialog("Kept", "ProfileNameEdit", "Renamed",
                                     [&] { return !dialogs.Errors().isEmpty(); }));
    EXPECT_TRUE(dialogs.Errors().back().startsWith("Renamed Kept to Renamed. Cannot store the password under "
                                                   "the new name, so it stays under the old one"))
        << dialogs.Errors().back().toStdString();
    EXPECT_EQ(credentials::LookupPassword(kept), "secret");
    EXPECT_TRUE(settings::ProfileStore().Find("Renamed")) << "the rename itself is kept";
}

TEST_F(ProfilesWindowTest, ATestConnectionThatWaitsSaysSoAndIsCancelledWithAClick)
{
    StartServer();
    SaveProfile("Quiet", server->AdminPort());
    OpenWindow();
    PausedServer paused(server->Pid());
    WhenModal(
        [this](QWidget& dialog)
        {
            auto* test = dialog.findChild<QPushButton*>("TestConnectionButton");
            QTest::mouseClick(test, Qt::LeftButton, {}, test->rect().center());
            auto* result = dialog.findChild<QLabel*>("TestResultLabel");
            EXPECT_EQ(result->text(), "Testing...");
            EXPECT_FALSE(test->isEnabled());
            auto* cancel =
                dialog.findChild<QWidget*>("WaitIndicator")->findChild<QPushButton*>("CancelWaitButton");
            ASSERT_TRUE(WaitFor([&] { return cancel->isVisible(); }, 10000)) << "no Cancel was offered";
            QTest::mouseClick(cancel, Qt::LeftButton, {}, cancel->rect().center());
            EXPECT_TRUE(WaitFor([&] { return !form->Runner().Busy(); }, 10000));
            EXPECT_EQ(result->text(), "Test cancelled.");
            EXPECT_TRUE(test->isEnabled());
            EXPECT_TRUE(dialog.isVisible()) << "Cancel ends the test, not the dialog";
            auto* close = dialog.findChild<QPushButton*>("CloseButton");
            QTest::mouseClick(close, Qt::LeftButton, {}, close->rect().center());
        });
    Pick("ProfilesItem");
    EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join("\n").toStdString();
}

} // namespace
} // namespace korvel::test
