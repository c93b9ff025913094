// Login, logout, the pending-edit guard and the page change it protects. The session is reached only through
// the runner: the login's job activates it (the prompt is shown here when the session asks for it) and reads
// what every page shows; the window shows it all at once when the job is back.
#include "admin/MainForm.h"

#include "admin/ProfileLogin.h"
#include "admin/StatusBarSections.h"
#include "admin/WindowTitle.h"
#include "admin/common/BackgroundRunner.h"
#include "admin/common/Command.h"
#include "admin/common/CommandFocus.h"
#include "admin/common/Dialogs.h"
#include "session/KORVELSession.h"
#include "session/ScopeExit.h"

#include <QAction>
#include <QLabel>
#include <QTabWidget>

#include <future>
#include <stdexcept>

namespace korvel::admin
{

namespace
{

const QString LoginCaption = "&Login to Server";
const QString LogoutCaption = "&Logout from Server";

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

struct TMainForm::LoginResult
{
    std::string UserName;
    std::string ServerName;
    PagesAtLogin Pages;
};

bool TMainForm::LoggedIn() const
{
    return loginItem_->text() == LogoutCaption;
}

void TMainForm::LoginItemClick()
{
    if (LoggedIn())
        Logout();
    else
        Login({remoteSettings_, lastUserName_, {}});
}

void TMainForm::Login(LoginRequest request, std::function<void()> succeeded)
{
    SetActivePage(0);
    typedUser_.clear();
    typedPassword_.reset();
    loginPlace_ = ServerPlace(request.Connection);
    const QString waiting = QStringLiteral("Logging in to ") + ServerEndpoint(request.Connection) + "...";
    runner_->Submit<std::shared_ptr<LoginResult>>(
        this, {.NeedsLogin = false, .Waiting = waiting.toStdString()},
        [this, request](JobContext& job) { return ReadLogin(job, request); },
        [this, request, succeeded = std::move(succeeded)](std::shared_ptr<LoginResult> result)
        {
            ShowLogin(*result, request.Connection);
            if (request.Typed && typedPassword_)
                request.Typed(*typedPassword_);
            if (succeeded)
                succeeded();
        },
        [this](std::exception_ptr error) { LoginFailed(error); });
}

std::shared_ptr<TMainForm::LoginResult> TMainForm::ReadLogin(JobContext& job, const LoginRequest& request)
{
    TKORVELSession& session = *remoteSession_;
    ApplyRemoteSettings(session, true, request.Connection);
    session.SetRemoteUser(request.UserName);
    session.SetRemotePassword(request.Password);
    auto result = std::make_shared<LoginResult>();
    loginJob_ = &job;
    ScopeExit asked([this] { loginJob_ = nullptr; });
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

bool TMainForm::AskForCredentials(std::string& userName, std::string& password)
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
                CurrentDialogs().RemoteLogin(this, loginPlace_, prompt->UserName, prompt->Password);
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

void TMainForm::ShowLogin(LoginResult& result, const RemoteSettings& connection)
{
    lastUserName_ = result.UserName;
    connected_ = connection;
    ShowLoggedIn(true);
    result.Pages.Show(pages_);
    if (QWidget* focus = pages_.empty() ? nullptr : pages_.front()->LoginFocusWidget())
        commandFocus_->FocusAfterCommand(focus);
    setWindowTitle(ConnectedTitle(setup_.Version.ProductName, connection, result.ServerName));
    statusSections_->ShowConnection(connection);
}

void TMainForm::LoginFailed(std::exception_ptr error)
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
        CurrentDialogs().ShowError(this, QStringLiteral("Error retrieving server information - ") +
                                             QString::fromUtf8(failure.what()));
    }
}

void TMainForm::Logout(std::function<void()> then)
{
    ConfirmPendingEdits(
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

void TMainForm::EndSession(std::function<void()> ended)
{
    // Every job still under way ends at once and delivers nothing; the logout then runs on the runner.
    runner_->CancelAll();
    TKORVELSession& session = *remoteSession_;
    auto done = [this, ended]
    {
        ShowLoggedIn(false);
        if (ended)
            ended();
    };
    runner_->Submit(
        this, {.NeedsLogin = false, .Waiting = "Logging out"},
        [&session](JobContext&) { EndWithin(session, LogoutLimit); }, done,
        [this, done](std::exception_ptr error)
        {
            // The session is inactive even when its logout failed: the window says so too.
            done();
            ShowCommandError(this, error);
        });
}

void TMainForm::LogoutAtExit()
{
    // Whatever waits on the server ends now; the logout gets a little time of its own, and then the window
    // goes whatever the server does.
    runner_->CancelAll();
    if (!remoteSession_->Active())
        return;
    auto ended = std::make_shared<std::promise<void>>();
    std::future<void> logout = ended->get_future();
    TKORVELSession& session = *remoteSession_;
    const bool queued = runner_->Submit(this, {.NeedsLogin = false},
                                        [&session, ended](JobContext&)
                                        {
                                            ScopeExit signal([&ended] { ended->set_value(); });
                                            EndWithin(session, LogoutLimit);
                                        },
                                        {}, {}) != nullptr;
    if (queued)
        logout.wait_for(LogoutLimit + std::chrono::seconds(1));
}

void TMainForm::ShowLoggedIn(bool loggedIn)
{
    ShowConnectionLost(false); // a new login starts afresh; logged out, nothing is lost
    loginItem_->setText(loggedIn ? LogoutCaption : LoginCaption);
    mainPageControl_->setVisible(loggedIn);
    loggedOutLabel_->setVisible(!loggedIn);
    profileLogin_->LoggedInChanged(loggedIn);
    if (loggedIn)
        return;
    setWindowTitle(setup_.Version.ProductName);
    statusSections_->Clear();
    for (AdminPage* page : pages_)
        page->StopRepeatedWork();
}

bool TMainForm::AnyPendingEdits() const
{
    return std::any_of(pages_.begin(), pages_.end(),
                       [](AdminPage* page)
                       {
                           EditablePage* editable = page->Editable();
                           return editable && editable->EditState() != esViewing;
                       });
}

void TMainForm::ConfirmPendingEdits(std::function<void()> proceed)
{
    ConfirmPendingEditsFrom(0, std::move(proceed));
}

void TMainForm::ConfirmPendingEditsFrom(std::size_t first, std::function<void()> proceed)
{
    for (std::size_t index = first; index < pages_.size(); ++index)
    {
        EditablePage* page = pages_[index]->Editable();
        if (!page || page->EditState() == esViewing)
            continue;
        SetActivePage(static_cast<int>(index));
        switch (CurrentDialogs().AskWarningYesNoCancel(this, page->PendingEditsQuestion()))
        {
        case Answer::Cancel:
            return;
        case Answer::Yes:
            // The walk goes on once the save is done; a failed, refused or cancelled save ends it here.
            page->SaveEdits([this, index, proceed = std::move(proceed)]
                            { ConfirmPendingEditsFrom(index + 1, proceed); });
            return;
        case Answer::No:
            page->CancelEdits();
            break;
        }
    }
    proceed();
}

// MainPageControlChanging: Qt has no vetoable tab change, so the change is taken back before anything is
// painted, the pending edits are resolved, and the change is made again when they allow it.
void TMainForm::MainPageControlChanged(int index)
{
    if (changingPage_)
    {
        currentPage_ = index;
        return;
    }
    if (!AnyPendingEdits())
    {
        currentPage_ = index;
        return;
    }
    SetActivePage(currentPage_);
    RunCommand(this, [&] { ConfirmPendingEdits([this, index] { SetActivePage(index); }); });
}

void TMainForm::SetActivePage(int index)
{
    bool wasChanging = changingPage_;
    changingPage_ = true;
    mainPageControl_->setCurrentIndex(index);
    currentPage_ = mainPageControl_->currentIndex();
    changingPage_ = wasChanging;
}

} // namespace korvel::admin
