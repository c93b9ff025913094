// Saves pictures of the window watching a busy server, for a person to look at: about 200 korvel-load
// sessions coming and going under auto-refresh for a while (the history chart), then the Status page
// filtered, sorted by a column and with several rows selected, at 1200 x 800 and maximised. Not a test.
// Usage: live_screenshots OUTPUT_DIR [SECONDS_OF_AUTO_REFRESH]
#include "admin/pages/status/SessionTableModel.h"
#include "admin/window/MainForm.h"
#include "session/KORVELSession.h"
#include "styling/FlatStyle.h"
#include "testing/LoadClients.h"
#include "testing/RefServer.h"
#include "testing/admin/Screenshot.h"
#include "testing/admin/ScreenshotWindow.h"
#include "testing/admin/ScriptedDialogs.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLineEdit>
#include <QScreen>
#include <QTabWidget>
#include <QTest>
#include <QTreeView>

#include <cstdio>
#include <memory>

int main(int argc, char** argv)
{
    const korvel::test::ScreenshotRun run(argc, argv, korvel::styling::ApplyFlatStyle);
    const QDir& output = run.Output();
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 120;
    {
        using namespace korvel;
        test::ScriptedDialogs dialogs;
        test::RefServer server;
        test::ScreenshotWindow window(
            dialogs, server.AdminPort(),
            "[Views]\nStatus Auto Refresh=2\nStatus State Column=1\nStatus Session ID Column=1\n");
        admin::TMainForm& form = window.Form();
        form.show();
        dialogs.Logins.push_back({true, server.Options().AdminUser, server.Options().AdminPassword});
        form.findChild<QAction*>(QStringLiteral("LoginItem"))->trigger();

        // Sessions come and go while the page refreshes by itself.
        auto steady = std::make_unique<test::LoadClients>(server, 150);
        std::unique_ptr<test::LoadClients> wave;
        QElapsedTimer elapsed;
        elapsed.start();
        for (int step = 0; elapsed.elapsed() < seconds * 1000; ++step)
        {
            wave =
                step % 2 == 0 ? std::make_unique<test::LoadClients>(server, 20 + 10 * (step % 5)) : nullptr;
            QTest::qWait(static_cast<int>(std::min<qint64>(15000, seconds * 1000 - elapsed.elapsed())));
        }
        wave = std::make_unique<test::LoadClients>(server, 50);
        QTest::qWait(5000);

        auto* sessions = form.findChild<QTreeView*>(QStringLiteral("SessionsListView"));
        auto* model = sessions->model();
        // A few dead sessions, then filtered, sorted by creation (newest first) and several selected.
        for (int row = 0; row < 4; ++row)
            form.RemoteSession().DisconnectServerSession(
                model->index(row * 7, 0).data(admin::SessionTableModel::SessionIdRole).toInt());
        form.findChild<QLineEdit*>(QStringLiteral("SessionFilterEdit"))->setText(QStringLiteral("127.0"));
        sessions->sortByColumn(admin::SessionTableModel::Number(admin::SessionTableModel::Column::SessionId),
                               Qt::DescendingOrder);
        form.resize(1200, 800);
        QTest::qWait(2500);
        for (int row : {1, 2, 4, 7})
            sessions->selectionModel()->select(model->index(row, 0),
                                               QItemSelectionModel::Select | QItemSelectionModel::Rows);
        korvel::test::SaveScreenshot(form, output, QStringLiteral("status-filtered-sorted-selected"));
        form.findChild<QLineEdit*>(QStringLiteral("SessionFilterEdit"))->clear();
        sessions->sortByColumn(admin::SessionTableModel::Number(admin::SessionTableModel::Column::State),
                               Qt::DescendingOrder);
        form.resize(form.minimumSize());
        QTest::qWait(2500);
        korvel::test::SaveScreenshot(form, output, QStringLiteral("status-minimum-size"));
        form.showMaximized();
        QTest::qWait(500);
        const QRect screen = form.screen()->availableGeometry();
        if (form.width() < screen.width() - 50) // no window manager under a bare X server
        {
            form.setWindowState(Qt::WindowNoState);
            form.setGeometry(screen);
        }
        QTest::qWait(2500);
        korvel::test::SaveScreenshot(form, output, QStringLiteral("status-maximised"));
        form.findChild<QTabWidget*>(QStringLiteral("MainPageControl"))->setCurrentIndex(2);
        korvel::test::SaveScreenshot(form, output, QStringLiteral("users-maximised"));
    }
    return 0;
}
