// TMainForm: the administration window. It composes the menu, the status bar and the page control with its
// pages around its one session component and the runner every session call goes through; the LoginController
// logs in and out. The window itself guards unsaved edits, keeps the settings and trace files, and edits the
// connection settings through the Options dialog. The pages are known only through AdminPage.
#pragma once

#include "admin/common/AdminPage.h"
#include "admin/trace/TraceFile.h"
#include "admin/trace/TraceLogDlg.h"
#include "admin/window/LoginController.h"
#include "admin/window/MenuActions.h"
#include "admin/window/PageControl.h"
#include "admin/window/ProgramFiles.h"
#include "admin/window/Settings.h"
#include "admin/window/VersionInfo.h"

#include <QCoreApplication>
#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QMenu;
class QTabWidget;

namespace korvel::admin
{

class BackgroundRunner;
class CommandFocus;
class Dialogs;
class OptionsItem;
class StatusBarSections;
class TOptionsDlg;
class WaitIndicator;
class WindowJournal;

using PageFactory = std::function<std::vector<AdminPage*>(const PageContext& context, QWidget* parent)>;

struct MainFormSetup
{
    ProgramFiles Files;
    VersionInfo Version;
    PageFactory CreatePages;
    // The profile this window was opened on (korvel-admin --profile NAME), or empty: where it is placed.
    std::string StartProfile = {};
    // Pages the first paint need not wait for (none is shown while logged out): made once the window has been
    // painted, or sooner by EnsurePages. They go before those of CreatePages in tab order.
    PageFactory CreatePagesAfterPaint = {};
    // The dialogs the window and the dialogs beside it ask with (not owned); null: the Qt ones. Tests script
    // them.
    Dialogs* InstalledDialogs = nullptr;
};

class TMainForm : public QMainWindow
{
    Q_DECLARE_TR_FUNCTIONS(TMainForm)

public:
    // FormCreate: trace file, settings, title, help file, the session's connection settings.
    explicit TMainForm(MainFormSetup setup);
    // FormDestroy: settings written, session closed, trace file deleted (unless it is to be kept).
    ~TMainForm() override;

    // The dialogs created beside the window at program start (not owned); they ask with the window's dialogs.
    void SetDialogs(TOptionsDlg* options, TTraceLogDlg* traceLog);

    // --- Commands (each runs inside RunCommand) ---------------------------------------------------------
    // The journal of changes in a dialog.
    void ChangeHistoryItemClick();
    // The version, libraries, license and files in a dialog.
    void HelpAboutItemClick();
    void FileExit() { close(); }
    // Another window, in its own process, on the Servers view's current profile or one the person picks.
    void NewWindowItemClick();
    // Logs in to the profile of exactly that name the usual way (it may ask); already there, shows Status.
    void LoginToProfile(const std::string& profileName);

    // Makes the pages of CreatePagesAfterPaint now, unless they are made already. Whatever needs every page
    // before the window has been painted (a login, a test) calls it.
    void EnsurePages();

    // See PageControl.
    void ConfirmPendingEdits(std::function<void()> proceed)
    {
        pages_->ConfirmPendingEdits(std::move(proceed));
    }

    LoginController& Login() { return *login_; }
    bool LoggedIn() const { return login_->LoggedIn(); }
    TKORVELSession& RemoteSession() { return *remoteSession_; }
    BackgroundRunner& Runner() { return *runner_; }
    AdminInfo& Settings() { return remoteSettings_; }

    TraceSettings& TraceOptions() { return traceSettings_; }
    const QString& TraceFileName() const { return traceFile_->FileName(); }
    const MenuActions& Actions() const { return actions_; }
    TraceFile& Trace() { return *traceFile_; }
    const std::string& JournalPath() const;

protected:
    bool event(QEvent* event) override; // the hint hook: status bar text
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override; // FormCloseQuery

private:
    void CreateMenu();
    void CreateChangeHistoryItem();
    void CreatePageControl(const PageFactory& createPages);
    PageContext PageContextOfWindow();
    QSize MinimumWindowSize() const;
    void SetMinimumWindowSize();
    // The saved geometry when it lies on a screen, else centred; maximised as it was (first show only).
    void ShowPages(bool loggedIn);
    void CreateNewWindowItem();
    void WriteSettings();

    MainFormSetup setup_;
    std::unique_ptr<TKORVELSession> remoteSession_;
    std::unique_ptr<BackgroundRunner> runner_; // goes before the pages whose work it delivers
    std::unique_ptr<WindowJournal> journal_;   // every change the pages send is recorded in it
    std::unique_ptr<TraceFile> traceFile_;
    // Read again before each write, so keys another program added meanwhile are kept.
    std::string settingsFileName_;
    AdminInfo remoteSettings_;
    WindowPlacement savedPlacement_;
    ViewSettings views_;          // as read at start, for the pages made later
    bool closeConfirmed_ = false; // the pending edits were resolved for closing
    bool closing_ = false;        // inside closeEvent
    std::unique_ptr<StatusBarSections> statusSections_;
    WaitIndicator* waitIndicator_ = nullptr;
    CommandFocus* commandFocus_ = nullptr;
    TraceSettings traceSettings_;
    PageControl* pages_ = nullptr;

    MenuActions actions_;
    QTabWidget* mainPageControl_ = nullptr;
    QLabel* loggedOutLabel_ = nullptr;
    std::unique_ptr<LoginController> login_; // after the pages it reads
    std::unique_ptr<OptionsItem> optionsItem_;
    bool shownOnce_ = false;
    TOptionsDlg* optionsDlg_ = nullptr;
    QPointer<TTraceLogDlg> traceLogDlg_; // trace records still arrive while the program closes
};

} // namespace korvel::admin
