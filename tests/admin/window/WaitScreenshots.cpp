// Saves pictures of the window while it waits on a server that says nothing (held with SIGSTOP), for a person
// to look at: a login waiting with its Cancel, a Save waiting and then cancelled, and the Profiles dialog's
// test waiting. Not a test.
// Usage: wait_screenshots OUTPUT_DIR
#include "admin/common/BackgroundRunner.h"
#include "admin/dialogs/ProfilesDlg.h"
#include "admin/window/MainForm.h"
#include "credentials/Keyring.h"
#include "session/SessionList.h"
#include "settings/Profiles.h"
#include "styling/FlatStyle.h"
#include "testing/PausedServer.h"
#include "testing/RefServer.h"
#include "testing/admin/Screenshot.h"
#include "testing/admin/ScriptedDialogs.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace
{

void Click(QWidget& in, const char* name)
{
    auto* button = in.findChild<QPushButton*>(QLatin1String(name));
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
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
        test::ScriptedDialogs dialogs;
        test::RefServer server;
        QTemporaryDir programDir;
        QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        QFile settings(programDir.filePath(QStringLiteral("korvel-admin.ini")));
        settings.open(QIODevice::WriteOnly);
        settings.write("[Admin Info]\nRemote Port=" + QByteArray::number(server.AdminPort()) + "\n");
        settings.close();

        admin::TMainForm form({{programDir.path() + QLatin1Char('/'), "korvel-admin", {}},
                               {"KORVEL Admin", "korvel-admin", "1.0.0"},
                               admin::CreatePages});
        form.show();
        {
            test::PausedServer paused(server.Pid());
            form.findChild<QAction*>(QStringLiteral("LoginItem"))->trigger();
            QTest::qWait(2300);
            korvel::test::SaveScreenshot(form, output, QStringLiteral("login-waiting"));
            Click(form, "CancelWaitButton");
            QTest::qWait(300);
            korvel::test::SaveScreenshot(form, output, QStringLiteral("login-cancelled"));
        }
        dialogs.Logins.push_back({true, server.Options().AdminUser, server.Options().AdminPassword});
        form.findChild<QAction*>(QStringLiteral("LoginItem"))->trigger();
        if (!QTest::qWaitFor([&] { return form.LoggedIn() && !form.Runner().Busy(); }, 10000))
            std::printf("the login did not end\n");
        form.findChild<QTabWidget*>(QStringLiteral("MainPageControl"))->setCurrentIndex(2);
        Click(form, "EditUserButton");
        form.findChild<QPlainTextEdit*>(QStringLiteral("UserDescriptionMemo"))
            ->setPlainText(QStringLiteral("Typed while the server was quiet"));
        {
            test::PausedServer paused(server.Pid());
            Click(form, "SaveUserButton");
            QTest::qWait(3300);
            korvel::test::SaveScreenshot(form, output, QStringLiteral("save-waiting"));
            Click(form, "CancelWaitButton");
            QTest::qWait(300);
            korvel::test::SaveScreenshot(form, output, QStringLiteral("save-cancelled"));
        }

        settings::Profile quiet;
        quiet.Name = "Quiet server";
        quiet.Server.Address = "127.0.0.1";
        quiet.Server.Port = static_cast<std::uint16_t>(server.AdminPort());
        quiet.User = "admin";
        settings::ProfileStore store;
        store.Save(quiet);
        admin::TProfilesDlg profiles(&form, store, credentials::SecretServiceAvailability(), form.Runner());
        profiles.show();
        if (!QTest::qWaitForWindowExposed(&profiles))
            std::printf("the Profiles dialog was not shown\n");
        {
            test::PausedServer paused(server.Pid());
            Click(profiles, "TestConnectionButton");
            QTest::qWait(1800);
            korvel::test::SaveScreenshot(profiles, output, QStringLiteral("profiles-test-waiting"));
            Click(profiles, "CancelWaitButton");
            QTest::qWait(300);
        }
        profiles.close();
    }
    korvel::DestroySessions();
    return 0;
}
