// korvel-admin: the administration window.
#include "admin/common/Command.h"
#include "admin/common/Dialogs.h"
#include "admin/common/FirstPaint.h"
#include "admin/dialogs/OptionsDlg.h"
#include "admin/pages/CreatePages.h"
#include "admin/trace/TraceLogDlg.h"
#include "admin/window/Automation.h"
#include "admin/window/MainForm.h"
#include "admin/window/ProfileWindows.h"
#include "admin/window/Translations.h"
#include "session/SessionList.h"
#include "styling/FlatStyle.h"

#include <QApplication>

#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

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
            korvel::admin::DialogsFor(activeWindow())
                .ShowError(activeWindow(), QString::fromStdString(error.what()));
        }
        catch (...)
        {
            korvel::admin::DialogsFor(activeWindow())
                .ShowError(activeWindow(), translate("AdminApplication", "An unexpected error occurred"));
        }
        return false;
    }
};

} // namespace

int main(int argc, char** argv)
{
    using namespace korvel::admin;
    // Answered before the application object exists, so that it needs no display.
    for (int i = 1; i < argc; ++i)
        if (std::string_view(argv[i]) == "--version")
        {
            const VersionInfo version = VersionInfo::OfThisProgram();
            std::printf("%s %s\n", qPrintable(version.SettingsBaseName()), qPrintable(version.FileVersion));
            return 0;
        }
    // An unknown profile ends the start before any window shows, with the reason on stderr.
    std::optional<std::string> startProfile;
    try
    {
        startProfile = StartProfileOf(argc, argv);
    }
    catch (const std::invalid_argument& error)
    {
        std::fprintf(stderr, "korvel-admin: %s\n", error.what());
        return 2;
    }
    AdminApplication application(argc, argv);
    InstallTranslations(QLocale::system());
    korvel::styling::ApplyFlatStyle(application);
    // The desktop shows the window with the desktop entry's name and icon.
    QGuiApplication::setDesktopFileName("org.korvel.Admin");
    korvel::CreateSessions();
    int result = 0;
    {
        // The window shows logged out: the first paint waits for no page hidden until the login.
        auto mainForm = std::make_unique<TMainForm>(
            MainFormSetup{ProgramFiles::OfThisProgram(), VersionInfo::OfThisProgram(), CreateLoggedOutPages,
                          startProfile.value_or(""), CreateTabPages});
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
                               if (startProfile)
                                   RunCommand(mainForm.get(),
                                              [&] { mainForm->LoginToProfile(*startProfile); });
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
