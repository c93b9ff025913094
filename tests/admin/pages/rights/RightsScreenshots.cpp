// Saves pictures of the Rights page (sorted, with its cell editor and cell menu) and of the guards' boxes
// (the last-administrator message, the logged-in account question, the lock-out question), logged in to a
// reference server with demo data and the real message boxes. Usage: rights_screenshots OUTPUT_DIR. Not a
// test: for looking.
#include "admin/common/AdminPage.h"
#include "admin/common/BackgroundRunner.h"
#include "admin/common/WindowJournal.h"
#include "admin/pages/rights/RightsPage.h"
#include "session/KORVELSession.h"
#include "session/SessionList.h"
#include "testing/AdminLogin.h"
#include "testing/LoadClients.h"
#include "testing/RefServer.h"
#include "testing/TempDir.h"
#include "testing/admin/PagesLogin.h"
#include "testing/admin/WaitFor.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <cstdio>

namespace
{

using namespace korvel;

void AddDemoData(TKORVELSession& session)
{
    for (const char* user : {"alice", "bob", "carol", "dave", "erin", "frank"})
        session.AddServerUser(user, "pw", "", false);
    for (const char* database : {"Accounts", "Archive", "HR", "Inventory", "Sales"})
        session.AddServerDatabase(database, "", std::string("/srv/korvel/") + database);
    const TUserRights all{urRead, urInsert, urUpdate, urDelete, urCreate, urAlter, urDrop};
    session.AddServerDatabaseUser("Accounts", "alice", {urRead, urInsert, urUpdate, urDelete});
    session.AddServerDatabaseUser("Accounts", "bob", {urRead});
    session.AddServerDatabaseUser("Sales", "alice", all);
    session.AddServerDatabaseUser("Sales", "bob", {urRead, urInsert, urUpdate});
    session.AddServerDatabaseUser("Inventory", "carol", {urRead, urInsert, urUpdate, urDelete});
    session.AddServerDatabaseUser("Inventory", "bob", {});
    session.AddServerDatabaseUser("HR", "dave", {urRead, urUpdate});
    session.AddServerDatabaseUser("HR", "erin", {});
}

void Save(QWidget& widget, const QDir& output, const char* name)
{
    QApplication::processEvents();
    const QString path = output.filePath(QLatin1String(name) + ".png");
    widget.grab().save(path);
    std::printf("%s\n", qPrintable(path));
}

// Clicks `button`; the box it opens is pictured and answered No (Escape).
void PictureBox(QWidget& window, const char* button, const QDir& output, const char* name)
{
    QTimer::singleShot(300,
                       [&output, name]
                       {
                           if (QWidget* box = QApplication::activeModalWidget())
                           {
                               Save(*box, output, name);
                               QTest::keyClick(box, Qt::Key_Escape);
                           }
                       });
    window.findChild<QAbstractButton*>(QLatin1String(button))->click();
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    const QDir output(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath());
    CreateSessions();
    {
        test::RefServer server;
        TKORVELSession session;
        LogInAsAdministrator(session, server, "Screenshots");
        AddDemoData(session);
        test::LoadClients load(server, 3);

        // Whatever the pages change is recorded beside the pictures' server, never in the account's journal.
        test::TempDir state("korvel-screenshots-journal");
        admin::WindowJournal journal(state / "journal.jsonl", {});
        admin::BackgroundRunner runner(session);
        QTabWidget window;
        window.resize(820, 480);
        const auto pages = admin::CreatePages({session, QString(), runner, journal}, &window);
        for (admin::AdminPage* page : pages)
        {
            window.addTab(page, page->Caption());
        }
        if (!korvel::test::ShowLoggedIn(runner, pages))
            std::printf("the pages could not be filled\n");
        window.show();
        window.setCurrentIndex(5);
        auto* rights = static_cast<admin::RightsPage*>(pages[5]);
        if (!korvel::test::WaitFor([rights] { return !rights->Busy(); }, 10000))
            std::printf("the rights were not all read in time\n");
        auto* grid = window.findChild<QTableView*>("RightsGrid");
        grid->selectionModel()->select(grid->model()->index(2, 2), QItemSelectionModel::Select);
        Save(window, output, "rights-page");
        window.findChild<QCheckBox*>("TransposeRightsCheckBox")->setChecked(true);
        Save(window, output, "rights-page-transposed");
        window.findChild<QCheckBox*>("TransposeRightsCheckBox")->setChecked(false);
        grid->sortByColumn(4, Qt::DescendingOrder); // Sales
        grid->setCurrentIndex(grid->model()->index(1, 4));
        grid->edit(grid->currentIndex());
        Save(window, output, "rights-cell-editor");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        emit grid->customContextMenuRequested(grid->visualRect(grid->currentIndex()).center());
        if (auto* menu = window.findChild<QMenu*>("RightsCellMenu"))
        {
            Save(*menu, output, "rights-cell-menu");
            menu->close();
        }

        window.setCurrentIndex(2);
        PictureBox(window, "DeleteUserButton", output, "last-administrator-message"); // "admin" is selected
        session.AddServerUser("root", "pw", "", true);
        PictureBox(window, "DeleteUserButton", output, "own-account-question");

        window.setCurrentIndex(1);
        window.findChild<QAbstractButton*>("EditServerButton")->click();
        window.findChild<QPlainTextEdit*>("AuthorizedAddressesMemo")->setPlainText("10.0.0.*\nhello world");
        Save(window, output, "address-list-marked");
        window.findChild<QPlainTextEdit*>("AuthorizedAddressesMemo")->setPlainText("10.0.0.*");
        PictureBox(window, "SaveServerButton", output, "lockout-question");
    }
    DestroySessions();
    return 0;
}
