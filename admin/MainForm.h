// TMainForm: the administration window. It composes the menu, the status bar and the page control with its
// pages, logs in and out through its one session component, guards unsaved edits, keeps the settings and
// trace files, and edits the connection settings through the Options dialog. The pages are known only through
// AdminPage. Every session call, login and logout included, runs on the background runner.
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
#include <optional>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QTabWidget;

namespace korvel::admin
{

class BackgroundRunner;
class CommandFocus;
class JobContext;
class ProfileLogin;
class StatusBarSections;
class TOptionsDlg;
class WaitIndicator;

// What one login uses: the connection, and the credentials the prompt starts from.
struct LoginRequest
{
    RemoteSettings Connection;
    std::string UserName;
    std::string Password; // empty: the login prompt asks
    // Called with the password the person typed into the prompt, once the login succeeded.
    std::function<void(const std::string& password)> Typed = {};
};

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

    // Resolves unsaved edits on the editable pages in page order, then runs `proceed`; not at all when the
    // person chose Cancel, or a Save failed (its error box shows, the page stays in edit mode).
    void ConfirmPendingEdits(std::function<void()> proceed);
    bool AnyPendingEdits() const;

    // Logs in on the runner with the prompt where needed; `succeeded` runs once the window shows itself
    // logged in. A failure shows "Error retrieving server information - ..." (nothing when the person
    // cancelled).
    void Login(LoginRequest request, std::function<void()> succeeded = {});
    // Resolves pending edits, then logs out; `then` runs once the window shows itself logged out.
    void Logout(std::function<void()> then = {});

    bool LoggedIn() const;
    TKORVELSession& RemoteSession() { return *remoteSession_; }
    BackgroundRunner& Runner() { return *runner_; }
    RemoteSettings& Settings() { return remoteSettings_; }

    TraceSettings& TraceOptions() { return traceSettings_; }
    const QString& TraceFileName() const { return traceFile_->FileName(); }
    TraceFile& Trace() { return *traceFile_; }

protected:
    bool event(QEvent* event) override; // the hint hook: status bar text
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override; // FormCloseQuery

private:
    void CreateMenu();
    void CreatePageControl(const PageFactory& createPages);
    void SetMinimumWindowSize();
    // The saved geometry when it lies on a screen, else centred; maximised as it was (first show only).
    void PlaceWindow();
    void ServerLost(const QString& message);
    // From a failure to reach the server until the next success: a status-bar section says so and the pages
    // may grey what is out of date.
    void ShowConnectionLost(bool lost);
    void CommandEnded(std::exception_ptr error);
    // F5 and Ctrl+F act on the page shown: its own refresh, and its search or filter box.
    void CreatePageKeys();
    void RefreshCurrentPage();
    void GoToSearchBox();
    struct LoginResult;
    // On the worker: activates the session and reads what every page shows; the session ends inactive on
    // failure.
    std::shared_ptr<LoginResult> ReadLogin(JobContext& job, const LoginRequest& request);
    void ShowLogin(LoginResult& result, const RemoteSettings& connection);
    void LoginFailed(std::exception_ptr error);
    // The login prompt, asked by the session on the worker and shown on this thread.
    bool AskForCredentials(std::string& userName, std::string& password);
    // Ends the session on the runner (its logout bounded); `ended` runs once it is inactive.
    void EndSession(std::function<void()> ended = {});
    // Cancels whatever waits on the server and logs out within a bounded time, without the event loop.
    void LogoutAtExit();
    void ConfirmPendingEditsFrom(std::size_t first, std::function<void()> proceed);
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
    RemoteSettings connected_; // what the window is logged in through
    // The login under way: its job (on the worker, while the session activates) and what was typed into its
    // prompt (on this thread).
    JobContext* loginJob_ = nullptr;
    std::string typedUser_;
    std::optional<std::string> typedPassword_;
    QString loginPlace_;          // the server the login prompt names
    bool closeConfirmed_ = false; // the pending edits were resolved for closing
    bool closing_ = false;        // inside closeEvent
    std::unique_ptr<StatusBarSections> statusSections_;
    WaitIndicator* waitIndicator_ = nullptr;
    CommandFocus* commandFocus_ = nullptr;
    TraceSettings traceSettings_;
    std::vector<AdminPage*> pages_;

    QAction* loginItem_ = nullptr;
    ProfileLogin* profileLogin_ = nullptr;
    QTabWidget* mainPageControl_ = nullptr;
    QLabel* loggedOutLabel_ = nullptr;
    int currentPage_ = 0;
    bool connectionLost_ = false;
    bool changingPage_ = false;
    bool shownOnce_ = false;
    TOptionsDlg* optionsDlg_ = nullptr;
    QPointer<TTraceLogDlg> traceLogDlg_; // trace records still arrive while the program closes
};

} // namespace korvel::admin
