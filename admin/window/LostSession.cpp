// A server that came back without the window's session (restarted) refuses to re-connect it: nothing works
// until the person logs in again, so the window returns to its logged-out look at once, as after a failed
// login, and says where and what was lost. A server that cannot be reached leaves the window logged in: the
// next command tries again. No password is kept to log in again on the person's behalf.
#include "admin/window/LoginController.h"

#include "admin/common/AdminPage.h"
#include "admin/common/Command.h"
#include "admin/window/StatusBarSections.h"

#include "admin/common/BackgroundRunner.h"
#include "admin/window/WindowTitle.h"
#include "session/KORVELSession.h"

#include <QCoreApplication>
#include <QMainWindow>
#include <QStatusBar>
#include <QStringList>

namespace korvel::admin
{

QString LoginController::AfterCommandFailed(const QString& message)
{
    if (!LoggedIn() || !session_.RemoteSessionLost())
        return message;
    QStringList editedPages;
    for (AdminPage* page : pages_)
    {
        EditablePage* editable = page->Editable();
        if (editable && editable->EditState() != esViewing)
        {
            editedPages << page->Caption();
            editable->ResetEditState();
        }
    }
    // The server does not know the session any more: the window looks logged out at once, and the session
    // ends on the runner.
    ShowLoggedIn(false);
    EndSession();
    QString text = message + "\n\n" +
                   QCoreApplication::translate(
                       "LoginController", "The server at %1 no longer knows this session (it was restarted, "
                                          "for example). Choose File, Login to Server to log in again.")
                       .arg(ServerPlace(connected_.Server));
    if (!editedPages.isEmpty())
        text += QLatin1Char(' ') +
                (editedPages.size() > 1
                     ? QCoreApplication::translate("LoginController",
                                                   "The unsaved changes on the %1 pages were lost.")
                     : QCoreApplication::translate("LoginController",
                                                   "The unsaved changes on the %1 page were lost."))
                    .arg(editedPages.join(", "));
    return text;
}

void LoginController::ServerLost(const QString& message)
{
    ShowConnectionLost(true);
    // A server that refused to take the session back: the window returns to its logged-out look, as after a
    // command met it, but says so without a box.
    window_.Window.statusBar()->showMessage(QLatin1Char(' ') +
                                            AfterCommandFailed(message).replace("\n\n", " "));
}

void LoginController::ShowConnectionLost(bool lost)
{
    lost = lost && LoggedIn();
    if (lost == connectionLost_)
        return;
    connectionLost_ = lost;
    window_.Sections.ShowConnectionLost(lost);
    for (AdminPage* page : pages_)
        page->ShowConnectionLost(lost);
}

void LoginController::CommandEnded(std::exception_ptr error)
{
    if (!error)
        ShowConnectionLost(false);
    else if (IsConnectionLoss(error))
        ShowConnectionLost(true);
}

} // namespace korvel::admin
