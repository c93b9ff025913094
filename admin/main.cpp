// korvel-admin: the administration window.
#include "admin/common/Dialogs.h"
#include "admin/common/FirstPaint.h"
#include "admin/dialogs/OptionsDlg.h"
#include "admin/dialogs/TraceLogDlg.h"
#include "admin/window/Automation.h"
#include "admin/window/MainForm.h"
#include "session/SessionList.h"
#include "styling/FlatStyle.h"

#include <QApplication>

#include <exception>
#include <memory>

namespace
{

// The application-wide error box for anything that escapes a command: an exception must never unwind through
// Qt's event loop.
class AdminApplication : public QApplication
{
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override
    {
        try
        {
            return QApplication::notify(receiver, event);
        }
        catch (const std::exception& error)
        {
            korvel::admin::CurrentDialogs().ShowError(activeWindow(), QString::fromStdString(error.what()));
        }
        catch (...)
        {
            korvel::admin::CurrentDialogs().ShowError(activeWindow(), "An unexpected error occurred");
        }
        return false;
    }
};

} // namespace

int main(int argc, char** argv)
{
    using namespace korvel::admin;
    AdminApplication application(argc, argv);
    korvel::styling::ApplyFlatStyle(application);
    korvel::CreateSessions();
    int result = 0;
    {
        auto mainForm = std::make_unique<TMainForm>(
            MainFormSetup{ProgramFiles::OfThisProgram(), VersionInfo::OfThisProgram(), CreatePages});
        std::unique_ptr<TTraceLogDlg> traceLog;
        std::unique_ptr<TOptionsDlg> options;
        // The dialogs beside the window are made once it has been painted: nothing can open them sooner, and
        // the window shows without waiting for them.
        RunAfterFirstPaint(mainForm.get(),
                           [&]
                           {
                               traceLog = std::make_unique<TTraceLogDlg>();
                               options = std::make_unique<TOptionsDlg>(*traceLog, mainForm->Trace());
                               mainForm->SetDialogs(options.get(), traceLog.get());
                               StartAutomation(*mainForm, *options, *traceLog);
                           });
        WatchFirstPaint(*mainForm);
        mainForm->show();
        result = application.exec();
        options.reset();
        traceLog.reset();
        mainForm.reset();
    }
    korvel::DestroySessions();
    return result;
}
