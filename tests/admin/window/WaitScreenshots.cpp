// Saves pictures of the window while it waits on a server that says nothing (held with SIGSTOP), for a person
// to look at: a login waiting with its Cancel, a Save waiting and then cancelled, and the Profiles dialog's
// test waiting. Not a test.
// Usage: wait_screenshots OUTPUT_DIR
#include "admin/common/BackgroundRunner.h"
#include "admin/connection/ProfilesDialog.h"
#include "admin/window/MainForm.h"
#include "credentials/Keyring.h"
#include "settings/Profiles.h"
#include "styling/FlatStyle.h"
#include "testing/PausedServer.h"
#include "testing/RefServer.h"
#include "testing/admin/Screenshot.h"
#include "testing/admin/ScreenshotWindow.h"
#include "testing/admin/ScriptedDialogs.h"
#include "testing/admin/WaitFor.h"

#include <QAction>
#include <QDir>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

using korvel::test::Click;

int main(int argc, char** argv)
{
    const korvel::test::ScreenshotRun run(argc, argv, korvel::styling::ApplyFlatStyle);
    const QDir& output = run.Output();
    {
        using namespace korvel;
        test::ScriptedDialogs dialogs;
        test::RefServer server;
        QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());

        test::ScreenshotWindow window(dialogs, server.AdminPort());
        admin::TMainForm& form = window.Form();
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
        if (!test::WaitFor([&] { return form.LoggedIn() && !form.Runner().Busy(); }, 10000))
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
        admin::ProfilesDialog profiles(&form, store, credentials::SecretServiceAvailability(), form.Runner());
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
    return 0;
}
