// Saves pictures of the Servers view with a profile in every state (up, refused, silent, login refused,
// password needed, SSH host key unknown, a failure, not checked yet, logged in), logged out and logged in,
// at 800x600 and maximised, for a person to look at. Not a test.
// Usage: servers_screenshots OUTPUT_DIR
#include "admin/common/BackgroundRunner.h"
#include "admin/pages/servers/ServersPage.h"
#include "admin/window/MainForm.h"
#include "settings/Profiles.h"
#include "styling/FlatStyle.h"
#include "testing/LoopbackSocket.h"
#include "testing/RefServer.h"
#include "testing/SshServer.h"
#include "testing/TempDir.h"
#include "testing/admin/Screenshot.h"
#include "testing/admin/ScreenshotWindow.h"
#include "testing/admin/ScriptedDialogs.h"
#include "testing/admin/WaitFor.h"

#include <QDir>
#include <QScreen>
#include <QTabWidget>
#include <QTableView>
#include <QTest>

#include <cstdio>
#include <filesystem>

namespace
{

using korvel::settings::Profile;

Profile Direct(const std::string& name, const std::string& host, int port, bool keepPassword)
{
    Profile profile;
    profile.Name = name;
    profile.Server.Address = host;
    profile.Server.Port = static_cast<std::uint16_t>(port);
    profile.User = "admin";
    profile.KeepPassword = keepPassword;
    return profile;
}

QString StateOf(QTableView& table, const QString& name)
{
    for (int row = 0; row < table.model()->rowCount(); ++row)
        if (table.model()->index(row, 0).data().toString() == name)
            return table.model()->index(row, 2).data().toString();
    return {};
}

// The window at 800x600, then as large as its screen lets it be.
void TwoSizes(QWidget& form, const QDir& output, const QString& name)
{
    form.showNormal();
    form.resize(800, 600);
    QTest::qWait(200);
    korvel::test::SaveScreenshot(form, output, name + QStringLiteral("-800x600"));
    form.showMaximized();
    // Without a window manager nothing maximises: the screen's available area is what a maximised window
    // gets.
    if (form.size().width() <= 800)
        form.setGeometry(form.screen()->availableGeometry());
    QTest::qWait(300);
    korvel::test::SaveScreenshot(form, output, name + QStringLiteral("-maximised"));
    form.showNormal();
}

} // namespace

int main(int argc, char** argv)
{
    const korvel::test::ScreenshotRun run(argc, argv, korvel::styling::ApplyFlatStyle);
    const QDir& output = run.Output();
    {
        using namespace korvel;
        test::TempDir home("korvel-servers-screenshots");
        std::filesystem::create_directory(home / ".ssh");
        qputenv("HOME", QByteArray::fromStdString(home.Path()));
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(home / ".config"));
        qputenv("SSH_AUTH_SOCK", "");
        test::ScriptedDialogs dialogs;
        test::RefServer server;
        test::RefServer second;
        test::RefusingPort refused;
        test::UnansweredListener silent;
        test::UnansweredListener silentToo;
        test::SshServer bastion;

        Profile viaBastion = Direct("Reports via bastion", "127.0.0.1", server.AdminPort(), true);
        viaBastion.Server.Ssh.Host = "127.0.0.1";
        viaBastion.Server.Ssh.Port = static_cast<std::uint16_t>(bastion.Port());
        settings::ProfileStore store;
        for (const Profile& profile : {Direct("Production", "127.0.0.1", server.AdminPort(), true),
                                       Direct("Staging", "127.0.0.1", second.AdminPort(), true),
                                       Direct("Archive (stopped)", "127.0.0.1", refused.Port(), true),
                                       Direct("Branch office", "127.0.0.1", silent.Port(), true),
                                       Direct("Test (old password)", "127.0.0.1", server.AdminPort(), true),
                                       Direct("Laptop", "127.0.0.1", second.AdminPort(), false), viaBastion,
                                       Direct("Old name", "no-such-host.invalid", 12006, true)})
            store.Save(profile);

        test::ScreenshotWindow window(dialogs);
        admin::TMainForm& form = window.Form();
        auto* page = form.findChild<admin::ServersPage*>(QStringLiteral("ServersPage"));
        page->SetCheckSettings({std::chrono::seconds(3),
                                [](const Profile& profile) -> std::optional<std::string>
                                {
                                    if (profile.Name == "Test (old password)")
                                        return "an old one";
                                    return profile.KeepPassword ? std::optional<std::string>("secret")
                                                                : std::nullopt;
                                },
                                {}});
        form.resize(800, 600);
        form.show();
        auto* table = form.findChild<QTableView*>(QStringLiteral("ServersTableView"));
        if (!test::WaitFor([&] { return StateOf(*table, "Branch office").startsWith("No answer"); }, 30000))
            std::printf("the first sweep did not end\n");

        // A profile added since: not checked until the next sweep has its answer.
        store.Save(Direct("New branch", "127.0.0.1", silentToo.Port(), true));
        page->CheckNow();
        if (!test::WaitFor([&] { return StateOf(*table, "New branch") == "Not checked"; }, 10000))
            std::printf("the new profile is not listed\n");
        TwoSizes(form, output, QStringLiteral("servers-logged-out"));

        // Logged in through one: its row reads "Logged in", and the view is the last tab.
        dialogs.Logins.push_back({true, server.Options().AdminUser, server.Options().AdminPassword});
        form.LoginToProfile("Laptop");
        if (!test::WaitFor([&] { return form.LoggedIn() && !form.Runner().Busy(); }, 30000))
            std::printf("the login did not end: %s\n", qPrintable(dialogs.Errors().join('\n')));
        auto* tabs = form.findChild<QTabWidget*>(QStringLiteral("MainPageControl"));
        tabs->setCurrentIndex(tabs->count() - 1);
        TwoSizes(form, output, QStringLiteral("servers-logged-in"));
    }
    return 0;
}
