// Saves pictures of the window on a small screen, for a person to look at: the whole screen with the window
// logged in and with Change History, and the window whose auto-refresh waits on a server that says nothing.
// Not a test.
// Usage: layout_screenshots OUTPUT_DIR WIDTHxHEIGHTxSCALE (an offscreen screen of that size, at that scale)
#include "admin/common/BackgroundRunner.h"
#include "admin/history/ChangeHistoryDialog.h"
#include "admin/window/MainForm.h"
#include "styling/FlatStyle.h"
#include "testing/PausedServer.h"
#include "testing/RefServer.h"
#include "testing/admin/Screenshot.h"
#include "testing/admin/ScreenshotWindow.h"
#include "testing/admin/ScriptedDialogs.h"
#include "testing/admin/ShortSeconds.h"
#include "testing/admin/WaitFor.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace
{

// The screen as a person would see it, the window where the program put it.
void SaveScreen(const QDir& output, const QString& name)
{
    QApplication::processEvents();
    const QString path = output.filePath(name + QStringLiteral(".png"));
    QGuiApplication::primaryScreen()->grabWindow(0).save(path);
    std::printf("%s\n", qPrintable(path));
}

} // namespace

int main(int argc, char** argv)
{
    const QString screen = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("800x600x1");
    const QStringList size = screen.split(QLatin1Char('x'));
    if (size.size() != 3)
        return 2;
    QTemporaryDir screens;
    QFile config(screens.filePath(QStringLiteral("screen.json")));
    config.open(QIODevice::WriteOnly);
    config.write(
        QStringLiteral("{\"screens\":[{\"name\":\"screen\",\"x\":0,\"y\":0,\"width\":%1,\"height\":%2,"
                       "\"logicalDpi\":96,\"logicalBaseDpi\":96,\"dpr\":1}]}")
            .arg(size[0], size[1])
            .toUtf8());
    config.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config.fileName().toLocal8Bit());
    qputenv("QT_SCALE_FACTOR", size[2].toLocal8Bit());
    const korvel::test::ScreenshotRun run(argc, argv, korvel::styling::ApplyFlatStyle);
    const QDir& output = run.Output();
    {
        using namespace korvel;
        test::ScriptedDialogs dialogs;
        test::RefServer server;

        test::ScreenshotWindow window(dialogs, server.AdminPort());
        admin::TMainForm& form = window.Form();
        form.show();
        dialogs.Logins.push_back({true, server.Options().AdminUser, server.Options().AdminPassword});
        form.findChild<QAction*>(QStringLiteral("LoginItem"))->trigger();
        if (!test::WaitFor([&] { return form.LoggedIn() && !form.Runner().Busy(); }, 10000))
            std::printf("the login did not end\n");
        SaveScreen(output, QStringLiteral("main-window-") + screen);

        admin::ChangeHistoryDialog history(form.JournalPath(), &form);
        history.show();
        QTest::qWait(300);
        SaveScreen(output, QStringLiteral("change-history-") + screen);
        history.close();

        const test::ShortSeconds seconds(std::chrono::milliseconds{100}); // ten seconds last one
        auto* choice = form.findChild<QComboBox*>(QStringLiteral("AutoRefreshComboBox"));
        choice->setCurrentIndex(choice->findData(2));
        QTest::qWait(500);
        {
            test::PausedServer paused(server.Pid());
            auto* state = form.findChild<QLabel*>(QStringLiteral("AutoRefreshStateLabel"));
            if (!test::WaitFor([&] { return state->isVisible(); }, 10000))
                std::printf("the auto-refresh did not say it had no answer\n");
            test::SaveScreenshot(form, output, QStringLiteral("auto-refresh-no-answer-") + screen);
        }
        choice->setCurrentIndex(0);
    }
    return 0;
}
