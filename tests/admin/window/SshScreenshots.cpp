// Saves pictures of the window reaching a server through an SSH server (a private OpenSSH bastion), for a
// person to look at: the Profiles dialog's "Connect through SSH" section after a successful test, the
// question about the bastion's unknown host key, and the status bar saying "via bastion". Not a test.
// Usage: ssh_screenshots OUTPUT_DIR
#include "admin/common/BackgroundRunner.h"
#include "admin/dialogs/ProfilesDlg.h"
#include "admin/window/MainForm.h"
#include "credentials/Keyring.h"
#include "session/SessionList.h"
#include "settings/Profiles.h"
#include "styling/FlatStyle.h"
#include "testing/RefServer.h"
#include "testing/SshServer.h"
#include "testing/TempDir.h"
#include "testing/admin/Screenshot.h"
#include "testing/admin/ScriptedDialogs.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <filesystem>
#include <pwd.h>
#include <unistd.h>

namespace
{

void Click(QWidget& in, const char* name)
{
    auto* button = in.findChild<QPushButton*>(QLatin1String(name));
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
}

// Pictures the SSH question once it is up, then trusts the key.
void WhenHostKeyAsked(const QDir& output)
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout,
                     [poll, output]
                     {
                         QWidget* dialog = QApplication::activeModalWidget();
                         if (!dialog || dialog->objectName() != QLatin1String("SshQuestionDlg"))
                             return;
                         poll->stop();
                         poll->deleteLater();
                         QTest::qWait(200); // painted
                         korvel::test::SaveScreenshot(*dialog, output,
                                                      QStringLiteral("ssh-host-key-question"));
                         Click(*dialog, "TrustButton");
                     });
    poll->start(20);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    korvel::styling::ApplyFlatStyle(application);
    const QDir output(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath());
    QDir().mkpath(output.path());
    korvel::CreateSessions();
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
        QTemporaryDir programDir;
        QFile settings(programDir.filePath(QStringLiteral("korvel-admin.ini")));
        settings.open(QIODevice::WriteOnly);
        settings.write("[Admin Info]\nRemote Port=" + QByteArray::number(server.AdminPort()) + "\n");
        settings.close();

        settings::Profile profile;
        profile.Name = "Production via bastion";
        profile.Server.Address = "127.0.0.1";
        profile.Server.Port = static_cast<std::uint16_t>(server.AdminPort());
        profile.User = "admin";
        profile.SshHost = "127.0.0.1";
        profile.SshPort = static_cast<std::uint16_t>(bastion.Port());
        profile.SshUser = getpwuid(getuid())->pw_name; // whom the bastion lets in
        profile.SshIdentityFile = key;
        settings::ProfileStore store;
        store.Save(profile);

        admin::TMainForm form({{programDir.path() + QLatin1Char('/'), "korvel-admin", {}},
                               {"KORVEL Admin", "korvel-admin", "1.0.0"},
                               admin::CreatePages});
        form.resize(1000, 640);
        form.show();
        if (!QTest::qWaitForWindowExposed(&form))
            std::printf("the window was not shown\n");

        // Connect to the profile: the bastion's key is not known yet, so the window asks first.
        WhenHostKeyAsked(output);
        dialogs.Logins.push_back({true, server.Options().AdminUser, server.Options().AdminPassword});
        QMenu* connectTo = form.findChild<QMenu*>(QStringLiteral("ConnectToMenu"));
        connectTo->actions().front()->trigger();
        if (!QTest::qWaitFor([&] { return form.LoggedIn() && !form.Runner().Busy(); }, 30000))
            std::printf("the login through the bastion did not end: %s\n",
                        qPrintable(dialogs.Errors().join('\n')));
        QTest::qWait(300);
        korvel::test::SaveScreenshot(form, output, QStringLiteral("ssh-status-bar-via-bastion"));

        admin::TProfilesDlg profiles(&form, store, credentials::SecretServiceAvailability(), form.Runner());
        profiles.show();
        if (!QTest::qWaitForWindowExposed(&profiles))
            std::printf("the Profiles dialog was not shown\n");
        dialogs.Logins.push_back({true, server.Options().AdminUser, server.Options().AdminPassword});
        Click(profiles, "TestConnectionButton");
        auto* result = profiles.findChild<QLabel*>(QStringLiteral("TestResultLabel"));
        if (!QTest::qWaitFor([&] { return result->text() != QStringLiteral("Testing..."); }, 30000))
            std::printf("the test connection did not end\n");
        QTest::qWait(300);
        korvel::test::SaveScreenshot(profiles, output, QStringLiteral("ssh-profiles-section"));
        profiles.close();
    }
    korvel::DestroySessions();
    return 0;
}
