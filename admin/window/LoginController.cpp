// Login and logout. The session is reached only through the runner: the login's job activates it (the prompt
// is shown here when the session asks for it) and reads what every page shows; the window shows it all at
// once when the job is back.
#include "admin/window/LoginController.h"

#include "admin/common/AdminPage.h"
#include "admin/common/BackgroundRunner.h"
#include "admin/common/Command.h"
#include "admin/common/CommandFocus.h"
#include "admin/common/Dialogs.h"
#include "admin/connection/SshQuestionDialog.h"
#include "admin/window/ProfileLogin.h"
#include "admin/window/StatusBarSections.h"
#include "admin/window/WindowTitle.h"
#include "credentials/SshSecret.h"
#include "session/KORVELSession.h"
#include "session/ScopeExit.h"

#include <QAction>
#include <QCoreApplication>
#include <QMainWindow>

#include <future>
#include <stdexcept>
#include <string.h>

namespace korvel::admin
{

namespace
{

QString LoginCaption()
{
    return QCoreApplication::translate("LoginController", "&Login to Server");
}

QString LogoutCaption()
{
    return QCoreApplication::translate("LoginController", "&Logout from Server");
}

// A logout after a failed or cancelled login, or at exit, waits this long at most for a silent server.
constexpr std::chrono::seconds LogoutLimit{2};

// Ends `session` with a logout that gives up at `limit`: the session is inactive afterwards either way.
void EndWithin(TKORVELSession& session, std::chrono::milliseconds limit)
{
    session.SetCallLimits({.Interrupt = std::make_shared<CallInterrupt>(),
                           .Deadline = std::chrono::steady_clock::now() + limit});
    session.SetActive(false);
}

} // namespace

struct LoginController::LoginResult
{
    std::string UserName;
    std::string ServerName;
    PagesAtLogin Pages;
    // Typed at the login's SSH prompts with "Keep in the keyring" ticked: kept once the login succeeded.
    std::vector<std::pair<credentials::CredentialKey, std::string>> SshSecretsToKeep;
};

LoginController::LoginController(LoginWindow window, TKORVELSession& session, BackgroundRunner& runner,
                                 const std::vector<AdminPage*>& pages, const AdminInfo& options)
    : QObject(&window.Window), window_(std::move(window)), session_(session), runner_(runner), pages_(pages),
      options_(options)
{
    // No OnRemoteLogin handler: credentials come from the login prompt, through the dialogs seam. The session
    // asks on the worker; the prompt shows on the user-interface thread.
    SetRemoteLoginDialog([this](std::string& userName, std::string& password)
                         { return AskForCredentials(userName, password); });
    session_.SetSshPrompt([this](const SshQuestion& question, std::string& answer)
                          { return AskForSsh(question, answer); });
    runner_.SetFailureMessage([this](const QString& message) { return AfterCommandFailed(message); });
    connect(&runner_, &BackgroundRunner::commandEnded, this, &LoginController::CommandEnded);
    connect(&runner_, &BackgroundRunner::refreshed, this, [this] { ShowConnectionLost(false); });
    connect(&runner_, &BackgroundRunner::serverLost, this, &LoginController::ServerLost);
    profileLogin_ = std::make_unique<ProfileLogin>(*this, window_.FileMenu, window_.ProfilesBefore);
}

QAction* LoginController::ConnectToItem() const
{
    return profileLogin_->ConnectToItem();
}

LoginController::~LoginController()
{
    SetRemoteLoginDialog({});
    session_.SetSshPrompt({});
    runner_.SetFailureMessage({});
}

QString LoginController::ConnectedProfile() const
{
    return profileLogin_->ConnectedProfile();
}

void LoginController::LoginToProfile(const std::string& profileName)
{
    profileLogin_->ConnectTo(profileName);
}

bool LoginController::LoggedIn() const
{
    return window_.LoginItem->text() == LogoutCaption();
}

void LoginController::LoginItemClick()
{
    if (LoggedIn())
        Logout();
    else
        Login({options_, lastUserName_, {}});
}

void LoginController::Login(LoginRequest request, std::function<void()> succeeded)
{
    window_.SetActivePage(0);
    typedUser_.clear();
    typedPassword_.reset();
    loginPlace_ = ServerPlace(request.Connection.Server);
    const QString waiting = QCoreApplication::translate("LoginController", "Logging in to %1...")
                                .arg(ServerEndpoint(request.Connection.Server));
    runner_.Submit<std::shared_ptr<LoginResult>>(
        this, {.NeedsLogin = false, .Waiting = waiting.toStdString()},
        [this, request](JobContext& job) { return ReadLogin(job, request); },
        [this, request, succeeded = std::move(succeeded)](std::shared_ptr<LoginResult> result)
        {
            ShowLogin(*result, request);
            if (request.Typed && typedPassword_)
                request.Typed(*typedPassword_);
            if (succeeded)
                succeeded();
        },
        [this](std::exception_ptr error) { LoginFailed(error); });
}

std::shared_ptr<LoginController::LoginResult> LoginController::ReadLogin(JobContext& job,
                                                                         const LoginRequest& request)
{
    TKORVELSession& session = session_;
    ApplyRemoteSettings(session, true, request.Connection);
    session.SetRemoteUser(request.UserName);
    session.SetRemotePassword(request.Password);
    auto result = std::make_shared<LoginResult>();
    loginJob_ = &job;
    loginResult_ = result.get();
    keepsSshSecrets_ = request.KeepsSshSecrets;
    ScopeExit asked(
        [this]
        {
            loginJob_ = nullptr;
            loginResult_ = nullptr;
        });
    try
    {
        session.SetActive(true);
        result->UserName = session.DataSession()->UserName();
        result->Pages = PagesAtLogin::Read(pages_, job);
        job.Check();
        session.GetServerName(result->ServerName);
    }
    catch (...)
    {
        // Whatever failed, the session ends inactive, so what the window shows always matches it.
        try
        {
            EndWithin(session, LogoutLimit);
        }
        catch (...)
        {
        }
        throw;
    }
    return result;
}

bool LoginController::AskForCredentials(std::string& userName, std::string& password)
{
    JobContext* job = loginJob_;
    if (!job)
        return false; // not asked by a login: nobody to answer
    struct Prompt
    {
        std::string UserName;
        std::string Password;
    };
    auto prompt = std::make_shared<Prompt>(Prompt{userName, password});
    const bool given = job->AskOwner(
        [this, prompt]
        {
            const bool ok =
                DialogsFor(&window_.Window)
                    .RemoteLogin(&window_.Window, loginPlace_, prompt->UserName, prompt->Password);
            if (ok)
            {
                typedUser_ = prompt->UserName;
                typedPassword_ = prompt->Password;
            }
            return ok;
        });
    if (given)
    {
        userName = prompt->UserName;
        password = prompt->Password;
    }
    return given;
}

bool LoginController::AskForSsh(const SshQuestion& question, std::string& answer)
{
    const std::optional<credentials::SshSecret> secret = credentials::SshSecretOf(question);
    if (secret && keepsSshSecrets_ && question.Attempt == 1)
    {
        try
        {
            if (std::optional<std::string> kept = credentials::LookupPassword(secret->Key))
            {
                answer = std::move(*kept);
                return true;
            }
        }
        catch (const credentials::KeyringError&)
        {
            // Asked for instead, as when nothing is kept.
        }
    }
    // Only a login keeps what was typed, once it succeeded; a re-connection under another command asks
    // through that command, and background work, which never asks, is refused.
    LoginResult* login = loginResult_;
    const bool offerToKeep = login && secret && keepsSshSecrets_;
    struct Typed
    {
        std::string Answer;
        bool Keep = false;
    };
    auto typed = std::make_shared<Typed>();
    auto ask = [this, question, typed, offerToKeep] {
        return AskSshQuestion(&window_.Window, question, typed->Answer, offerToKeep ? &typed->Keep : nullptr);
    };
    if (!(loginJob_ ? loginJob_->AskOwner(ask) : runner_.AskThroughRunningCommand(ask)))
        return false;
    answer = typed->Answer;
    if (offerToKeep && typed->Keep)
        login->SshSecretsToKeep.emplace_back(secret->Key, std::move(typed->Answer));
    return true;
}

void LoginController::KeepSshSecrets(LoginResult& result)
{
    sshSecretStores_.clear(); // earlier stores still finish
    for (auto& [key, secret] : result.SshSecretsToKeep)
    {
        sshSecretStores_.push_back(credentials::StorePasswordAsync(
            key, secret,
            [this](const std::string& error)
            {
                if (!error.empty())
                    DialogsFor(&window_.Window)
                        .ShowError(&window_.Window, QCoreApplication::translate(
                                                        "LoginController",
                                                        "The SSH secret could not be kept in the keyring: %1")
                                                        .arg(QString::fromStdString(error)));
            }));
        explicit_bzero(secret.data(), secret.size());
    }
    result.SshSecretsToKeep.clear();
}

void LoginController::ShowLogin(LoginResult& result, const LoginRequest& request)
{
    const AdminInfo& connection = request.Connection;
    lastUserName_ = result.UserName;
    connected_ = connection;
    KeepSshSecrets(result);
    ShowLoggedIn(true);
    result.Pages.Show(pages_);
    if (QWidget* focus = pages_.empty() ? nullptr : pages_.front()->LoginFocusWidget())
        window_.Focus.FocusAfterCommand(focus);
    window_.Window.setWindowTitle(ConnectedTitle(window_.ProductName, connection.Server, result.ServerName));
    window_.Sections.ShowConnection(connection.Server);
}

void LoginController::LoginFailed(std::exception_ptr error)
{
    if (!typedUser_.empty())
        lastUserName_ = typedUser_; // offered again; the password is not kept
    ShowLoggedIn(false);
    // The person's Cancel needs no box: the status bar says it.
    if (IsCancelledByPerson(error))
        return;
    try
    {
        std::rethrow_exception(error);
    }
    catch (const std::exception& failure)
    {
        // A cancelled prompt ("Operation aborted") is reported too.
        DialogsFor(&window_.Window)
            .ShowError(&window_.Window, QCoreApplication::translate(
                                            "LoginController", "Error retrieving server information - %1")
                                            .arg(QString::fromUtf8(failure.what())));
    }
}

void LoginController::Logout(std::function<void()> then)
{
    window_.ConfirmPendingEdits(
        [this, then = std::move(then)]
        {
            EndSession(
                [then]
                {
                    if (then)
                        then();
                });
        });
}

void LoginController::EndSession(std::function<void()> ended)
{
    // Every job still under way ends at once and delivers nothing; the logout then runs on the runner.
    runner_.CancelAll();
    TKORVELSession& session = session_;
    auto done = [this, ended]
    {
        ShowLoggedIn(false);
        if (ended)
            ended();
    };
    runner_.Submit(
        this,
        {.NeedsLogin = false,
         .Waiting = QCoreApplication::translate("LoginController", "Logging out").toStdString()},
        [&session](JobContext&) { EndWithin(session, LogoutLimit); }, done,
        [this, done](std::exception_ptr error)
        {
            // The session is inactive even when its logout failed: the window says so too.
            done();
            ShowCommandError(&window_.Window, error);
        });
}

void LoginController::LogoutAtExit()
{
    // Whatever waits on the server ends now; the logout gets a little time of its own, and then the window
    // goes whatever the server does.
    runner_.CancelAll();
    if (!session_.Active())
        return;
    auto ended = std::make_shared<std::promise<void>>();
    std::future<void> logout = ended->get_future();
    TKORVELSession& session = session_;
    const bool queued = runner_.Submit(this, {.NeedsLogin = false},
                                       [&session, ended](JobContext&)
                                       {
                                           ScopeExit signal([&ended] { ended->set_value(); });
                                           EndWithin(session, LogoutLimit);
                                       },
                                       {}, {}) != nullptr;
    if (queued)
        logout.wait_for(LogoutLimit + std::chrono::seconds(1));
}

void LoginController::ShowLoggedIn(bool loggedIn)
{
    ShowConnectionLost(false); // a new login starts afresh; logged out, nothing is lost
    window_.LoginItem->setText(loggedIn ? LogoutCaption() : LoginCaption());
    profileLogin_->LoggedInChanged(loggedIn); // before the pages, which show the profile
    Q_EMIT loggedInChanged(loggedIn);
    if (loggedIn)
        return;
    window_.Window.setWindowTitle(window_.ProductName);
    window_.Sections.Clear();
    for (AdminPage* page : pages_)
        page->StopRepeatedWork();
}

} // namespace korvel::admin
