// Login, logout, the pending-edit guard and the page change it protects.
#include "admin/MainForm.h"

#include "admin/ProfileLogin.h"
#include "admin/StatusBarSections.h"
#include "admin/WindowTitle.h"
#include "admin/common/BackgroundRunner.h"
#include "admin/common/Command.h"
#include "admin/common/Dialogs.h"
#include "session/KORVELSession.h"

#include <QAction>
#include <QLabel>
#include <QTabWidget>

#include <stdexcept>

namespace korvel::admin
{

namespace
{

const QString LoginCaption = "&Login to Server";
const QString LogoutCaption = "&Logout from Server";

} // namespace

bool TMainForm::LoggedIn() const
{
    return loginItem_->text() == LogoutCaption;
}

void TMainForm::LoginItemClick()
{
    if (LoggedIn())
        Logout();
    else
        Login();
}

void TMainForm::Login()
{
    try
    {
        SetActivePage(0);
        // On this thread: the prompt for the user name and password is a dialog, and nothing else uses the
        // session before it is active. From here on every request goes through the runner.
        remoteSession_->SetActive(true);
        lastUserName_ = remoteSession_->DataSession()->UserName();
        for (AdminPage* page : pages_)
            page->FillAtLogin();
        ShowLoggedIn(true);
        for (AdminPage* page : pages_)
            if (EditablePage* editable = page->Editable())
                editable->ResetEditState();
        if (QWidget* focus = pages_.empty() ? nullptr : pages_.front()->LoginFocusWidget())
            focus->setFocus();
        if (!pages_.empty())
            pages_.front()->RefreshAfterLogin();
        std::string serverName;
        runner_->Await([&] { remoteSession_->GetServerName(serverName); });
        setWindowTitle(ConnectedTitle(setup_.Version.ProductName, *remoteSession_, serverName));
        statusSections_->ShowConnection(*remoteSession_);
    }
    catch (const std::exception& error)
    {
        // Whatever step failed, the window returns to its logged-out look with the session inactive, so what
        // it shows always matches the session. A cancelled prompt ("Operation aborted") is reported too.
        try
        {
            EndSession();
        }
        catch (...)
        {
            // The session is inactive after a failed logout as well.
        }
        ShowLoggedIn(false);
        throw std::runtime_error(std::string("Error retrieving server information - ") + error.what());
    }
}

void TMainForm::Logout()
{
    if (!ConfirmPendingEdits())
        return;
    try
    {
        EndSession();
    }
    catch (...)
    {
        // The session is inactive even when its logout failed: the window must say so too.
        ShowLoggedIn(false);
        throw;
    }
    ShowLoggedIn(false);
}

void TMainForm::EndSession()
{
    // Background work stops at its next request; the logout waits for it on the runner, with the window
    // painting, instead of waiting for the session lock here.
    runner_->Cancel();
    if (remoteSession_->Active())
        runner_->Await([this] { remoteSession_->SetActive(false); });
}

void TMainForm::ShowLoggedIn(bool loggedIn)
{
    loginItem_->setText(loggedIn ? LogoutCaption : LoginCaption);
    mainPageControl_->setVisible(loggedIn);
    loggedOutLabel_->setVisible(!loggedIn);
    profileLogin_->LoggedInChanged(loggedIn);
    if (loggedIn)
        return;
    setWindowTitle(setup_.Version.ProductName);
    statusSections_->Clear();
    // Logging in again offers the last user name; the password is asked for again.
    if (!remoteSession_->Active() && !lastUserName_.empty())
        remoteSession_->SetRemoteUser(lastUserName_);
    for (AdminPage* page : pages_)
        page->StopRepeatedWork();
}

bool TMainForm::ConfirmPendingEdits()
{
    for (std::size_t index = 0; index < pages_.size(); ++index)
    {
        EditablePage* page = pages_[index]->Editable();
        if (!page || page->EditState() == esViewing)
            continue;
        SetActivePage(static_cast<int>(index));
        switch (CurrentDialogs().AskWarningYesNoCancel(this, page->PendingEditsQuestion()))
        {
        case Answer::Cancel:
            return false;
        case Answer::Yes:
            page->SaveEdits();
            // A Save that kept its edit mode without raising must not let the edits be left behind.
            if (page->EditState() != esViewing)
                return false;
            break;
        case Answer::No:
            page->CancelEdits();
            break;
        }
    }
    return true;
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
    int previous = currentPage_;
    SetActivePage(previous);
    bool allowed = false;
    RunCommand(this, [&] { allowed = ConfirmPendingEdits(); });
    if (allowed)
        SetActivePage(index);
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
