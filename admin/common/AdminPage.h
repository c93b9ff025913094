// The pages of the main window. The window knows them only through this interface: it fills them at login in
// page order, refreshes them once shown, and walks the editable ones in ConfirmPendingEdits.
#pragma once

#include "admin/common/RecentSessionWalk.h"

#include <QDateTime>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

namespace korvel
{
class TKORVELSession;
}

namespace korvel::admin
{

class BackgroundRunner;

enum TEditState
{
    esViewing,
    esAdding,
    esEditing
};

// What a page tells the window about the connection (the status bar's sections). Either may be empty.
struct ConnectionNotices
{
    // A refresh succeeded at `when`; its last request took `exchangeMs`.
    std::function<void(const QDateTime& when, double exchangeMs)> Refreshed;
    // A repeated refresh found the server gone: one status-bar message, no error box.
    std::function<void(const QString& message)> ServerLost;
};

// What every page is given. While logged in, session calls go through Runner, never from the page itself.
struct PageContext
{
    TKORVELSession& Session;
    QString ProgramDir; // ends in a separator unless empty
    BackgroundRunner& Runner;
    ConnectionNotices Notices = {};
    // The window's logout, for a page whose change ends the login (the logged-in account deleted or demoted).
    std::function<void()> LogOut = {};
    // Written by the Status page's refreshes, read by the Server page's lock-out preview.
    std::shared_ptr<RecentSessionWalk> SessionWalk = std::make_shared<RecentSessionWalk>();
};

// How the user left the pages' views, kept in the settings file.
struct ViewSettings
{
    int AutoRefreshSeconds = 0; // 0: off
    // The optional columns of the sessions list that are shown.
    bool ShowSessionId = false;
    bool ShowMode = false;
    bool ShowState = false;
};

// A page with an edit mode (Server, Users, Databases, Database Users).
class EditablePage
{
public:
    virtual ~EditablePage() = default;
    virtual TEditState EditState() const = 0;
    // Asked in a warning box with Yes, No and Cancel while the page is not viewing.
    virtual QString PendingEditsQuestion() const = 0;
    // The page's Save and Cancel commands; Save raises its error (the page stays in edit mode).
    virtual void SaveEdits() = 0;
    virtual void CancelEdits() = 0;
    // Back to view mode without asking the server (login sets every page to view mode).
    virtual void ResetEditState() = 0;
};

class AdminPage : public QWidget
{
public:
    using QWidget::QWidget;
    // The tab caption: "Status", "Server", "Users", "Databases", "Database Users", "Rights", "Log".
    virtual QString Caption() const = 0;
    // Login step 3: fill from the server (view mode), through the runner. Raises on failure.
    virtual void FillAtLogin() {}
    // Login step 6, once the page control is shown: the Status page refreshes. Raises on failure.
    virtual void RefreshAfterLogin() {}
    // Login step 4: the control that takes the focus (the Status page's Refresh button), or null.
    virtual QWidget* LoginFocusWidget() { return nullptr; }
    // Null for pages without an edit mode.
    virtual EditablePage* Editable() { return nullptr; }
    // The view settings read at start and written at exit; pages take and give what is theirs.
    virtual void ApplyViewSettings(const ViewSettings&) {}
    virtual void StoreViewSettings(ViewSettings&) const {}
    // Logout or a lost server: repeated work stops until the next login.
    virtual void StopRepeatedWork() {}
};

// The seven pages in tab order, wired to each other (user chooser, database selector, rights refresh).
std::vector<AdminPage*> CreatePages(const PageContext& context, QWidget* parent);

} // namespace korvel::admin
