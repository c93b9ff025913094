// TMainForm: the administration window. It composes the menu, the status bar and the page control with its
// six pages, logs in and out through its one session component, guards unsaved edits, keeps the settings and
// trace files, and edits the connection settings through the Options dialog. The pages are known only through
// AdminPage.
#pragma once

#include "admin/ProgramFiles.h"
#include "admin/Settings.h"
#include "admin/TraceFile.h"
#include "admin/TraceLogDlg.h"
#include "admin/VersionInfo.h"
#include "admin/common/AdminPage.h"

#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QTabWidget;

namespace korvel::admin
{

class BackgroundRunner;
class ProfileLogin;
class StatusBarSections;
class TOptionsDlg;

using PageFactory = std::function<std::vector<AdminPage*>(const PageContext& context, QWidget* parent)>;

struct MainFormSetup
{
    ProgramFiles Files;
    VersionInfo Version;
    PageFactory CreatePages;
};

class TMainForm : public QMainWindow
{
public:
    // FormCreate: trace file, settings, title, help file, the session's connection settings.
    explicit TMainForm(MainFormSetup setup);
    // FormDestroy: settings written, session closed, trace file deleted (unless it is to be kept).
    ~TMainForm() override;

    // The dialogs created beside the window at program start (not owned).
    void SetDialogs(TOptionsDlg* options, TTraceLogDlg* traceLog);
    TTraceLogDlg* TraceLogDialog() const { return traceLogDlg_.data(); }

    // --- Commands (each runs inside RunCommand) ---------------------------------------------------------
    void LoginItemClick();
    void OptionsItemClick();
    void FileExit() { close(); }

    // Resolves unsaved edits on the editable pages in page order; false when the user chose Cancel. A failing
    // Save raises its error and leaves that page in edit mode.
    bool ConfirmPendingEdits();

    bool LoggedIn() const;
    TKORVELSession& RemoteSession() { return *remoteSession_; }
    RemoteSettings& Settings() { return remoteSettings_; }

    TraceSettings& TraceOptions() { return traceSettings_; }
    const QString& TraceFileName() const { return traceFile_->FileName(); }
    TraceFile& Trace() { return *traceFile_; }

protected:
    bool event(QEvent* event) override; // the hint hook: status bar text
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override; // FormCloseQuery

private:
    friend class ProfileLogin; // logs in and out through a profile

    void CreateMenu();
    void CreatePageControl(const PageFactory& createPages);
    void SetMinimumWindowSize();
    // The saved frame when it lies on a screen, else centred (first show only).
    void PlaceWindow();
    void ServerLost(const QString& message);
    void Login();
    void Logout();
    void EndSession();
    void ShowLoggedIn(bool loggedIn);
    QString AfterCommandFailed(const QString& message); // see MainFormLostSession.cpp
    void MainPageControlChanged(int index);             // MainPageControlChanging, see the .cpp
    void SetActivePage(int index);
    void WriteSettings();

    MainFormSetup setup_;
    std::unique_ptr<TKORVELSession> remoteSession_;
    std::unique_ptr<BackgroundRunner> runner_; // goes before the pages whose work it delivers
    std::unique_ptr<TraceFile> traceFile_;
    // Read again before each write, so keys another program added meanwhile are kept.
    std::string settingsFileName_;
    RemoteSettings remoteSettings_;
    WindowPlacement savedPlacement_;
    std::string lastUserName_; // offered by the next login prompt; no password is kept
    std::unique_ptr<StatusBarSections> statusSections_;
    TraceSettings traceSettings_;
    std::vector<AdminPage*> pages_;

    QAction* loginItem_ = nullptr;
    ProfileLogin* profileLogin_ = nullptr;
    QTabWidget* mainPageControl_ = nullptr;
    QLabel* loggedOutLabel_ = nullptr;
    int currentPage_ = 0;
    bool changingPage_ = false;
    bool shownOnce_ = false;
    TOptionsDlg* optionsDlg_ = nullptr;
    QPointer<TTraceLogDlg> traceLogDlg_; // trace records still arrive while the program closes
};

} // namespace korvel::admin
