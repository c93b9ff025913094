// Saves a picture of every page, logged in to a reference server with demo data, in a tab control of the
// main window's page area (761 x 392 pixels). Usage: page_screenshots OUTPUT_DIR. Not a test: for looking.
#include "admin/common/AdminPage.h"
#include "admin/common/BackgroundRunner.h"
#include "admin/common/WindowJournal.h"
#include "admin/pages/log/LogPage.h"
#include "session/KORVELSession.h"
#include "session/SessionList.h"
#include "testing/AdminLogin.h"
#include "testing/LoadClients.h"
#include "testing/RefServer.h"
#include "testing/TempDir.h"
#include "testing/admin/PagesLogin.h"
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSpinBox>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QTabWidget>

#include <cstdio>

namespace
{

void AddDemoData(korvel::TKORVELSession& session)
{
    using namespace korvel;
    session.AddServerUser("alice", "wonderland", "Accounting lead", false);
    session.AddServerUser("bob", "builder", "Nightly import jobs", false);
    session.AddServerUser("carol", "c4r0l", "Second administrator", true);
    session.AddServerDatabase("Accounts", "General ledger and invoices", "/srv/korvel/accounts");
    session.AddServerDatabase("Inventory", "Stock and warehouses", "/srv/korvel/inventory");
    session.AddServerDatabaseUser("Accounts", "alice", {urRead, urInsert, urUpdate, urDelete});
    session.AddServerDatabaseUser("Accounts", "bob", {urRead});
    ServerConfig config;
    session.GetServerConfig(config);
    config.MaxConnections = 250;
    config.TempDirectory = "/var/tmp/korvel";
    config.AuthorizedAddresses = {"127.0.0.1", "192.168.10.*"};
    config.BlockedAddresses = {"10.0.0.13"};
    session.ModifyServerConfig(config);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    const QDir output(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath());
    korvel::CreateSessions();
    {
        korvel::test::RefServer server;
        korvel::TKORVELSession session;
        korvel::test::LogInAsAdministrator(session, server, "Screenshots");
        AddDemoData(session);
        korvel::test::LoadClients load(server, 3);

        // Whatever the pages change is recorded beside the pictures' server, never in the account's journal.
        korvel::test::TempDir state("korvel-screenshots-journal");
        korvel::admin::WindowJournal journal(state / "journal.jsonl", {});
        korvel::admin::BackgroundRunner runner(session);
        QTabWidget window;
        window.setFixedSize(761, 392);
        const auto pages = korvel::admin::CreatePages({session, QString(), runner, journal}, &window);
        for (korvel::admin::AdminPage* page : pages)
        {
            window.addTab(page, page->Caption());
        }
        if (!korvel::test::ShowLoggedIn(runner, pages))
            std::printf("the pages could not be filled\n");
        window.show();
        window.findChild<QAbstractButton*>(QStringLiteral("LoadLogButton"))->click();
        for (int index = 0; index < window.count(); ++index)
        {
            window.setCurrentIndex(index);
            QApplication::processEvents();
            const QString name = output.filePath(QStringLiteral("page-%1.png").arg(index));
            window.grab().save(name);
            std::printf("%s\n", qPrintable(name));
        }
        // The Log page searching, filtered and following.
        auto* logPage = static_cast<korvel::admin::LogPage*>(pages[6]);
        window.setCurrentIndex(6);
        auto waitWhile = [](auto busy)
        {
            while (busy())
                QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        };
        waitWhile([&] { return logPage->Loading(); });
        auto* search = window.findChild<QLineEdit*>(QStringLiteral("SearchEdit"));
        search->setText(QStringLiteral("login"));
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(search, &enter);
        waitWhile([&] { return logPage->Searching(); });
        auto shoot = [&](const char* file)
        {
            QApplication::processEvents();
            const QString name = output.filePath(QString::fromLatin1(file));
            window.grab().save(name);
            std::printf("%s\n", qPrintable(name));
        };
        shoot("log-search.png");
        auto* only = window.findChild<QAbstractButton*>(QStringLiteral("OnlyMatchingCheckBox"));
        only->click();
        shoot("log-filtered.png");
        only->click();
        window.findChild<QSpinBox*>(QStringLiteral("FollowIntervalSpinBox"))->setValue(1);
        window.findChild<QAbstractButton*>(QStringLiteral("FollowCheckBox"))->click();
        QElapsedTimer following;
        following.start();
        waitWhile([&] { return following.elapsed() < 2500; });
        shoot("log-following.png");
        window.findChild<QAbstractButton*>(QStringLiteral("FollowCheckBox"))->click();
        window.setCurrentIndex(0);

        // The edit modes, where the captions move onto the check boxes.
        for (const char* button :
             {"EditServerButton", "EditUserButton", "EditDatabaseButton", "AddDatabaseUserButton"})
            window.findChild<QAbstractButton*>(QLatin1String(button))->click();
        for (int index : {1, 2, 3, 4})
        {
            window.setCurrentIndex(index);
            QApplication::processEvents();
            const QString name = output.filePath(QStringLiteral("page-%1-edit.png").arg(index));
            window.grab().save(name);
            std::printf("%s\n", qPrintable(name));
        }
    }
    korvel::DestroySessions();
    return 0;
}
