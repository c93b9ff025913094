// LoginController: logs the window in and out through its one session, on the background runner. File > Login
// and a profile's Connect to (ProfileLogin) ask it to log in; the login's job activates the session (the
// login prompt and the SSH questions show on the user-interface thread when the session asks for them) and
// reads what every page shows, which the window then shows all at once. It owns the logged-in look (the menu
// caption, the pages, the title, the status bar's connection) and the policy for a lost server: one that
// cannot be reached leaves the window logged in with "Connection lost" until the next success; one that no
// longer knows the session (restarted) returns the window to its logged-out look and says where and what was
// lost.
#pragma once

#include "admin/window/Settings.h"
#include "engine/SshSettings.h"

#include <QObject>
#include <QString>

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QMainWindow;
class QMenu;

namespace korvel
{
class TKORVELSession;
namespace credentials
{
class PendingRequest;
}
} // namespace korvel

namespace korvel::admin
{

class AdminPage;
class BackgroundRunner;
class CommandFocus;
class JobContext;
class ProfileLogin;
class StatusBarSections;

// What one login uses: the connection, and the credentials the prompt starts from.
struct LoginRequest
{
    AdminInfo Connection; // with the SSH server the connection goes through, if any
    std::string UserName;
    std::string Password; // empty: the login prompt asks
    // Called with the password the person typed into the prompt, once the login succeeded.
    std::function<void(const std::string& password)> Typed = {};
    // The login keeps its secrets in the keyring (a profile that keeps its password): SSH secrets kept there
    // are used first, and the SSH prompts offer to keep what is typed.
    bool KeepsSshSecrets = false;
};

// The parts of the window that show whether it is logged in, and what the login asks of the window.
struct LoginWindow
{
    QMainWindow& Window; // the title, and the parent of boxes and prompts
    QString ProductName; // the title while logged out
    QAction* LoginItem;  // "&Login to Server" or "&Logout from Server"
    QMenu* FileMenu;     // Connect to and Profiles... go in before `ProfilesBefore`
    QAction* ProfilesBefore;
    StatusBarSections& Sections;
    CommandFocus& Focus;
    std::function<void(int index)> SetActivePage;
    // Resolves unsaved edits, then runs `proceed` (not at all when the person chose Cancel).
    std::function<void(std::function<void()> proceed)> ConfirmPendingEdits;
};

class LoginController : public QObject
{
    Q_OBJECT

public:
    // `options` are the connection settings of File > Login, kept by the window.
    LoginController(LoginWindow window, TKORVELSession& session, BackgroundRunner& runner,
                    const std::vector<AdminPage*>& pages, const AdminInfo& options);
    ~LoginController() override;

    // File > Login to Server while logged out, Logout from Server while logged in.
    void LoginItemClick();
    bool LoggedIn() const;
    // Logs in on the runner with the prompt where needed; `succeeded` runs once the window shows itself
    // logged in. A failure shows "Error retrieving server information - ..." (nothing when the person
    // cancelled).
    void Login(LoginRequest request, std::function<void()> succeeded = {});
    // Resolves pending edits, then logs out; `then` runs once the window shows itself logged out.
    void Logout(std::function<void()> then = {});
    // Cancels whatever waits on the server and logs out within a bounded time, without the event loop.
    void LogoutAtExit();
    // Where the window is logged in, or goes with File > Login.
    const settings::Connection& Place() const { return LoggedIn() ? connected_.Server : options_.Server; }
    // The logged-out look, without asking the server (at start).
    void ShowLoggedIn(bool loggedIn);

    // The profile the window is logged in through; empty for none.
    QString ConnectedProfile() const;
    // Logs in to the profile of exactly that name, as File > Connect to does; raises when there is none.
    void LoginToProfile(const std::string& profileName);
    const AdminInfo& Options() const { return options_; }
    QMainWindow& Window() const { return window_.Window; }
    BackgroundRunner& Runner() const { return runner_; }
    // File > Connect to, which the window greys while a command runs.
    QAction* ConnectToItem() const;

Q_SIGNALS:
    // The window shows itself logged in or out: the page control, or the logged-out text, follow.
    void loggedInChanged(bool loggedIn);

private:
    // The lost-server policy, told by the runner of every user command's end and of background refreshes.
    QString AfterCommandFailed(const QString& message);
    void CommandEnded(std::exception_ptr error);
    void ServerLost(const QString& message);
    struct LoginResult;
    // On the worker: activates the session and reads what every page shows; the session ends inactive on
    // failure.
    std::shared_ptr<LoginResult> ReadLogin(JobContext& job, const LoginRequest& request);
    void ShowLogin(LoginResult& result, const LoginRequest& request);
    void KeepSshSecrets(LoginResult& result);
    void LoginFailed(std::exception_ptr error);
    // The login prompt, asked by the session on the worker and shown on the user-interface thread.
    bool AskForCredentials(std::string& userName, std::string& password);
    // The SSH prompt (a host key to trust, a passphrase or password), asked the same way during a login.
    bool AskForSsh(const SshQuestion& question, std::string& answer);
    // Ends the session on the runner (its logout bounded); `ended` runs once it is inactive.
    void EndSession(std::function<void()> ended = {});
    // From a failure to reach the server until the next success: a status-bar section says so and the pages
    // may grey what is out of date.
    void ShowConnectionLost(bool lost);

    LoginWindow window_;
    TKORVELSession& session_;
    BackgroundRunner& runner_;
    const std::vector<AdminPage*>& pages_;
    const AdminInfo& options_;
    std::unique_ptr<ProfileLogin> profileLogin_;
    std::string lastUserName_; // offered by the next login prompt; no password is kept
    AdminInfo connected_;      // what the window is logged in through
    // The login under way: its job (on the worker, while the session activates), the server its prompt names,
    // and what was typed into the prompt (on the user-interface thread).
    JobContext* loginJob_ = nullptr;
    LoginResult* loginResult_ = nullptr;
    bool keepsSshSecrets_ = false; // on the worker: as the last login asked, for its re-connections too
    std::vector<std::unique_ptr<credentials::PendingRequest>> sshSecretStores_;
    QString loginPlace_;
    std::string typedUser_;
    std::optional<std::string> typedPassword_;
    bool connectionLost_ = false;
};

} // namespace korvel::admin
