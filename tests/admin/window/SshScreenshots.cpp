// Saves pictures of the window reaching a server through an SSH server (a private OpenSSH bastion), for a
// person to look at: the Profiles dialog's "Connect through SSH" section after a successful test, the
// question about the bastion's unknown host key, and the status bar saying "via bastion"; then the question
// about a jump host's key, the refusal of a bastion whose key changed (both fingerprints), and the password
// prompt of a bastion that took the key only as a partial success. Not a test.
// Usage: ssh_screenshots OUTPUT_DIR
#include "admin/common/BackgroundRunner.h"
#include "admin/connection/ProfilesDialog.h"
#include "admin/window/MainForm.h"
#include "credentials/Keyring.h"
#include "settings/Profiles.h"
#include "styling/FlatStyle.h"
#include "testing/LibsshTestServer.h"
#include "testing/RefServer.h"
#include "testing/SshServer.h"
#include "testing/TempDir.h"
#include "testing/admin/Screenshot.h"
#include "testing/admin/ScreenshotWindow.h"
#include "testing/admin/ScriptedDialogs.h"
#include "testing/admin/WaitFor.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <unistd.h>

namespace
{

using korvel::test::Click;

// Pictures the next modal dialog named `dialogName` (any modal one when empty) once it is up, then clicks
// `button` in it (closes it when null).
void WhenModalUp(const QDir& output, const QString& picture, const char* dialogName, const char* button)
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout,
                     [poll, output, picture, dialogName, button]
                     {
                         QWidget* dialog = QApplication::activeModalWidget();
                         if (!dialog || (*dialogName && dialog->objectName() != QLatin1String(dialogName)))
                             return;
                         poll->stop();
                         poll->deleteLater();
                         QTest::qWait(200); // painted
                         korvel::test::SaveScreenshot(*dialog, output, picture);
                         if (button)
                             Click(*dialog, button);
                         else
                             dialog->close();
                     });
    poll->start(20);
}

// Picks File > Connect to > `profile` and waits until the window's runner is done with it.
void ConnectTo(korvel::admin::TMainForm& form, const QString& profile)
{
    if (form.LoggedIn())
        form.findChild<QAction*>(QStringLiteral("LoginItem"))->trigger();
    if (!korvel::test::WaitFor([&] { return !form.LoggedIn() && !form.Runner().Busy(); }, 30000))
        std::printf("the window did not log out\n");
    QMenu* menu = form.findChild<QMenu*>(QStringLiteral("ConnectToMenu"));
    emit menu->aboutToShow(); // filled as it opens
    for (QAction* item : menu->actions())
        if (item->data().toString() == profile)
            item->trigger();
    QTest::qWait(100);
    if (!korvel::test::WaitFor([&] { return !form.Runner().Busy(); }, 30000))
        std::printf("the login to %s did not end\n", qPrintable(profile));
}

} // namespace

int main(int argc, char** argv)
{
    const korvel::test::ScreenshotRun run(argc, argv, korvel::styling::ApplyFlatStyle);
    const QDir& output = run.Output();
    {
        using namespace korvel;
        test::TempDir home("korvel-ssh-screenshots");
        std::filesystem::create_directory(home / ".ssh");
        qputenv("HOME", QByteArray::fromStdString(home.Path()));
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(home / ".config"));
        qputenv("SSH_AUTH_SOCK", "");
        const std::string key = home / "bastion_key";
        test::GenerateKey(key);
        test::SshServerOptions sshOptions;
        sshOptions.AuthorizedKeys = {key + ".pub"};
        test::SshServer bastion(sshOptions);
        test::ScriptedDialogs dialogs;
        test::RefServer server;

        settings::Profile profile;
        profile.Name = "Production via bastion";
        profile.Server.Address = "127.0.0.1";
        profile.Server.Port = static_cast<std::uint16_t>(server.AdminPort());
        profile.User = "admin";
        profile.Server.Ssh.Host = "127.0.0.1";
        profile.Server.Ssh.Port = static_cast<std::uint16_t>(bastion.Port());
        profile.Server.Ssh.User = getpwuid(getuid())->pw_name; // whom the bastion lets in
        profile.Server.Ssh.IdentityFile = key;
        settings::ProfileStore store;
        store.Save(profile);

        test::ScreenshotWindow window(dialogs, server.AdminPort());
        admin::TMainForm& form = window.Form();
        form.resize(1000, 640);
        form.show();
        if (!QTest::qWaitForWindowExposed(&form))
            std::printf("the window was not shown\n");

        // Connect to the profile: the bastion's key is not known yet, so the window asks first.
        WhenModalUp(output, QStringLiteral("ssh-host-key-question"), "SshQuestionDialog", "TrustButton");
        dialogs.Logins.push_back({true, server.Options().AdminUser, server.Options().AdminPassword});
        QMenu* connectTo = form.findChild<QMenu*>(QStringLiteral("ConnectToMenu"));
        connectTo->actions().front()->trigger();
        if (!test::WaitFor([&] { return form.LoggedIn() && !form.Runner().Busy(); }, 30000))
            std::printf("the login through the bastion did not end: %s\n",
                        qPrintable(dialogs.Errors().join('\n')));
        QTest::qWait(300);
        korvel::test::SaveScreenshot(form, output, QStringLiteral("ssh-status-bar-via-bastion"));

        admin::ProfilesDialog profiles(&form, store, credentials::SecretServiceAvailability(), form.Runner());
        profiles.show();
        if (!QTest::qWaitForWindowExposed(&profiles))
            std::printf("the Profiles dialog was not shown\n");
        dialogs.Logins.push_back({true, server.Options().AdminUser, server.Options().AdminPassword});
        Click(profiles, "TestConnectionButton");
        auto* result = profiles.findChild<QLabel*>(QStringLiteral("TestResultLabel"));
        if (!test::WaitFor([&] { return result->text() != QStringLiteral("Testing..."); }, 30000))
            std::printf("the test connection did not end\n");
        QTest::qWait(300);
        korvel::test::SaveScreenshot(profiles, output, QStringLiteral("ssh-profiles-section"));
        profiles.close();

        // A jump host in ~/.ssh/config before a second bastion: the jump host's key is asked by its name.
        test::SshServer jump(sshOptions);
        test::SshServer behind(sshOptions);
        const std::string me = getpwuid(getuid())->pw_name;
        std::ofstream(home / ".ssh/config")
            << "Host jump\n  HostName 127.0.0.1\n  Port " << jump.Port() << "\n  User " << me
            << "\n  IdentityFile " << key << "\nHost behind\n  HostName 127.0.0.1\n  Port " << behind.Port()
            << "\n  User " << me << "\n  IdentityFile " << key << "\n  ProxyJump jump\n";
        std::ofstream(home / ".ssh/known_hosts", std::ios::app) << behind.KnownHostsLine() << "\n";
        settings::Profile jumped = profile;
        jumped.Name = "Behind a jump host";
        jumped.Server.Ssh.Host = "behind";
        jumped.Server.Ssh.Port = 0;
        jumped.Server.Ssh.User.clear();
        jumped.Server.Ssh.IdentityFile.clear();
        store.Save(jumped);
        form.findChild<QAction*>(QStringLiteral("LoginItem"))->trigger(); // out, so Connect to is fresh
        WhenModalUp(output, QStringLiteral("ssh-jump-host-question"), "SshQuestionDialog", "CancelButton");
        dialogs.Logins.push_back({true, server.Options().AdminUser, server.Options().AdminPassword});
        ConnectTo(form, QString::fromStdString(jumped.Name));

        // The first bastion's key changed: refused in the window's own error box, naming both keys.
        bastion.ReplaceHostKey();
        admin::InstallDialogs(form, nullptr);
        WhenModalUp(output, QStringLiteral("ssh-changed-host-key-refused"), "", nullptr);
        ConnectTo(form, QString::fromStdString(profile.Name));

        // A bastion that takes the key only as a partial success and asks for a password next.
        test::LibsshServerOptions partialOptions;
        partialOptions.Methods = {"publickey", "password"};
        partialOptions.Password = "bastion password";
        partialOptions.AuthorizedKeys = {key + ".pub"};
        test::LibsshTestServer partial(partialOptions);
        std::ofstream(home / ".ssh/known_hosts", std::ios::app) << partial.KnownHostsLine() << "\n";
        settings::Profile twoSteps = profile;
        twoSteps.Name = "Key, then password";
        twoSteps.Server.Ssh.Port = static_cast<std::uint16_t>(partial.Port());
        store.Save(twoSteps);
        admin::InstallDialogs(form, &dialogs);
        WhenModalUp(output, QStringLiteral("ssh-partial-success-password"), "SshQuestionDialog",
                    "CancelButton");
        ConnectTo(form, QString::fromStdString(twoSteps.Name));
    }
    return 0;
}
