// The window as the program builds it (main form, Options and Trace Log dialogs) in a temporary program
// directory, with scripted dialogs, stand-in pages and, when a test asks, a real korvel-refserver.
#pragma once

#include "admin/common/BackgroundRunner.h"
#include "admin/dialogs/OptionsDlg.h"
#include "admin/trace/TraceLogDlg.h"
#include "admin/window/MainForm.h"
#include "session/KORVELSession.h"
#include "testing/RefServer.h"
#include "testing/admin/ScriptedDialogs.h"
#include "testing/admin/WaitFor.h"
#include "tests/admin/window/StandInPages.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace korvel::test
{

class WindowTest : public ::testing::Test
{
protected:
    void TearDown() override { CloseWindow(); }

    QString ProgramDir() const { return programDir.path() + "/"; }
    QString SettingsPath() const { return ProgramDir() + "korvel-admin.ini"; }

    void WriteSettingsFile(const QByteArray& content)
    {
        QFile file(SettingsPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    QByteArray SettingsFile() const
    {
        QFile file(SettingsPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // A server named "Demo" and a settings file pointing at it; `extra` adds lines to "Admin Info".
    void StartServer(const QByteArray& extra = {})
    {
        RefServerOptions options;
        options.ExtraArgs = {"--name", "Demo"};
        server = std::make_unique<RefServer>(options);
        WriteSettingsFile("[Admin Info]\nRemote Port=" + QByteArray::number(server->AdminPort()) + "\n" +
                          extra);
    }

    // The stand-in pages unless `createPages` is given; `createPagesAfterPaint` as the program passes them.
    void OpenWindow(admin::PageFactory createPages = {}, admin::PageFactory createPagesAfterPaint = {})
    {
        admin::MainFormSetup setup{{ProgramDir(), "korvel-admin", {}},
                                   {"KORVEL Admin", "korvel-admin", "1.0.0"},
                                   createPages ? createPages : StandInFactory(pages, journal),
                                   "",
                                   std::move(createPagesAfterPaint),
                                   &dialogs};
        form = std::make_unique<admin::TMainForm>(setup);
        traceLog = std::make_unique<admin::TTraceLogDlg>();
        options = std::make_unique<admin::TOptionsDlg>(*traceLog, form->Trace());
        form->SetDialogs(options.get(), traceLog.get());
        form->show();
    }
    void CloseWindow()
    {
        options.reset();
        traceLog.reset();
        form.reset();
    }

    // Menu items run as when the user picks them (errors in the error box); what they send to the server is
    // back when this returns.
    void Pick(const char* item)
    {
        form->findChild<QAction*>(item)->trigger();
        Settle();
    }
    // Turns the event loop until the window's runner has delivered everything.
    void Settle()
    {
        ASSERT_TRUE(WaitFor([this] { return !form->Runner().Busy(); }, 30000));
    }
    void LoginAs(const std::string& user, const std::string& password)
    {
        dialogs.Logins.push_back({true, user, password});
        Pick("LoginItem");
    }
    void LoginAsAdmin() { LoginAs("admin", "secret"); }

    QTabWidget* PageControl() const { return form->findChild<QTabWidget*>("MainPageControl"); }
    QString LoginCaption() const { return form->findChild<QAction*>("LoginItem")->text(); }

    // Runs `interact` once the next modal dialog is up (modal dialogs run their own event loop).
    static void WhenModal(std::function<void(QWidget& dialog)> interact)
    {
        QTimer::singleShot(0,
                           [interact]
                           {
                               QWidget* dialog = QApplication::activeModalWidget();
                               ASSERT_NE(dialog, nullptr) << "no modal dialog is open";
                               interact(*dialog);
                           });
    }

    ScriptedDialogs dialogs;
    QTemporaryDir programDir;
    std::unique_ptr<RefServer> server;
    std::vector<StandInPage*> pages;
    std::vector<std::string> journal;
    std::unique_ptr<admin::TMainForm> form;
    std::unique_ptr<admin::TOptionsDlg> options;
    std::unique_ptr<admin::TTraceLogDlg> traceLog;
};

} // namespace korvel::test
