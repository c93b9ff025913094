#include "admin/window/Automation.h"

#include "admin/common/BackgroundRunner.h"

#include "admin/common/FirstPaint.h"
#include "admin/dialogs/OptionsDlg.h"
#include "admin/history/ChangeHistoryDialog.h"
#include "admin/trace/TraceLogDlg.h"
#include "admin/window/MainForm.h"
#include "admin/window/Settings.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

namespace korvel::admin
{

namespace
{

void Save(QWidget& widget, const QString& directory, const QString& name)
{
    QApplication::processEvents();
    widget.grab().save(QDir(directory).filePath(name + ".png"));
}

// Fills in and accepts the login prompt whenever it is up (it is modal, so it is looked for while its own
// event loop runs; a refused password brings it back).
void AnswerLoginPrompt(const QString& user, const QString& password, const QString& snapshots)
{
    auto* prompt = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!prompt || prompt->objectName() != "LoginDialog")
        return;
    prompt->findChild<QLineEdit*>("UserName")->setText(user);
    prompt->findChild<QLineEdit*>("Password")->setText(password);
    if (!snapshots.isEmpty())
        Save(*prompt, snapshots, "login-prompt");
    prompt->accept();
}

void SaveSnapshots(TMainForm& mainForm, TOptionsDlg& options, TTraceLogDlg& traceLog,
                   const QString& directory)
{
    QDir().mkpath(directory);
    Save(mainForm, directory, "window");
    if (auto* pages = mainForm.findChild<QTabWidget*>("MainPageControl"); pages && pages->isVisible())
        for (int index = 0; index < pages->count(); ++index)
        {
            pages->setCurrentIndex(index);
            // The log is loaded on request only; a picture of it should show it.
            if (auto* load = pages->widget(index)->findChild<QPushButton*>("LoadLogButton"))
                load->click();
            // The rights grid reads in the background; the picture waits for it (a few seconds at most).
            if (auto* progress = pages->widget(index)->findChild<QProgressBar*>("RightsProgressBar"))
                for (int turn = 0; turn < 500 && progress->isVisible(); ++turn)
                    QApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
            Save(mainForm, directory, "page-" + pages->tabText(index).toLower().replace(' ', '-'));
        }
    if (auto* fileMenu = mainForm.findChild<QMenu*>("FileMenu"))
    {
        fileMenu->popup(mainForm.mapToGlobal(QPoint(0, 0)));
        Save(*fileMenu, directory, "file-menu");
        fileMenu->hide();
    }
    options.Load(OptionsOf(mainForm.Settings(), mainForm.TraceOptions()));
    options.show();
    Save(options, directory, "options-dialog");
    options.hide();
    traceLog.Attach(mainForm.Trace());
    traceLog.show();
    Save(traceLog, directory, "trace-log-dialog");
    traceLog.hide();
    ChangeHistoryDialog history(mainForm.JournalPath(), &mainForm);
    history.show();
    for (int turn = 0; turn < 500 && history.Reading(); ++turn)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    Save(history, directory, "change-history-dialog");
}

// Turns the event loop until the window's runner has nothing left to do (at most a minute).
void WaitUntilIdle(TMainForm& mainForm)
{
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop,
                     [&]
                     {
                         if (!mainForm.Runner().Busy())
                             loop.quit();
                     });
    poll.start(50);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    loop.exec();
}

void RunAutomation(TMainForm& mainForm, TOptionsDlg& options, TTraceLogDlg& traceLog, const QString& login,
                   const QString& snapshots)
{
    if (!login.isEmpty())
    {
        qsizetype colon = login.indexOf(':');
        QString user = login.left(colon);
        QString password = colon < 0 ? QString() : login.mid(colon + 1);
        QTimer answerer;
        QObject::connect(&answerer, &QTimer::timeout, [=] { AnswerLoginPrompt(user, password, snapshots); });
        answerer.start(100);
        mainForm.Actions().Login->trigger();
        // The login runs on the window's runner; the prompt is answered and the pages filled meanwhile.
        WaitUntilIdle(mainForm);
    }
    if (!snapshots.isEmpty())
    {
        SaveSnapshots(mainForm, options, traceLog, snapshots);
        mainForm.close();
    }
}

} // namespace

void WatchFirstPaint(TMainForm& mainForm)
{
    if (qEnvironmentVariableIsSet("KORVEL_ADMIN_EXIT_AFTER_PAINT"))
        CloseAfterFirstPaint(&mainForm);
}

void StartAutomation(TMainForm& mainForm, TOptionsDlg& options, TTraceLogDlg& traceLog)
{
    QString login = qEnvironmentVariable("KORVEL_ADMIN_AUTOLOGIN");
    QString snapshots = qEnvironmentVariable("KORVEL_ADMIN_SNAPSHOT");
    if (login.isEmpty() && snapshots.isEmpty())
        return;
    QTimer::singleShot(300, &mainForm,
                       [&mainForm, &options, &traceLog, login, snapshots]
                       { RunAutomation(mainForm, options, traceLog, login, snapshots); });
}

} // namespace korvel::admin
