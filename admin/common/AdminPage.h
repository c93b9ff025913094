// The pages of the main window. The window knows them only through this interface: the login reads what they
// show in page order, the Status page refreshes after them, and the editable ones are walked for pending
// edits.
#pragma once

#include "admin/common/RecentSessionWalk.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace korvel
{
class TKORVELSession;
}

namespace korvel::admin
{

class BackgroundRunner;
class JobContext;
class WindowJournal;

enum TEditState
{
    esViewing,
    esAdding,
    esEditing
};

// What every page is given. While logged in, session calls go through Runner, never from the page itself.
struct PageContext
{
    TKORVELSession& Session;
    QString DialogStartDir; // where save-file and folder dialogs start; ends in a separator unless empty
    BackgroundRunner& Runner;
    // Every change a page sends goes through it (WindowJournal.h); read-only requests do not.
    WindowJournal& Journal;
    // "host:port" of the server logged in to, for what a page says about it; empty: the session's own.
    std::function<QString()> ServerEndpoint = {};
    // The window's logout, for a page whose change ends the login (the logged-in account deleted or demoted).
    std::function<void()> LogOut = {};
    // Written by the Status page's refreshes, read by the Server page's lock-out preview.
    std::shared_ptr<RecentSessionWalk> SessionWalk = std::make_shared<RecentSessionWalk>();
    // The profile the window is logged in through (empty: none), and a login to a profile as File > Connect
    // to makes it (it may ask): for the Servers view.
    std::function<QString()> ConnectedProfile = {};
    std::function<void(const std::string& profile)> LoginToProfile = {};
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

// What one page read at login for another.
struct LoginReads
{
    std::string SelectedDatabase; // the Databases page's selected row; empty when there is none
};

// A page with an edit mode (Server, Users, Databases, Database Users).
class EditablePage
{
public:
    virtual ~EditablePage() = default;
    virtual TEditState EditState() const = 0;
    // Asked in a warning box with Yes, No and Cancel while the page is not viewing.
    virtual QString PendingEditsQuestion() const = 0;
    // The page's Save command; `saved` runs once the edits are saved, not when the save failed (its error box
    // shows, the page stays in edit mode), was refused or cancelled.
    virtual void SaveEdits(std::function<void()> saved) = 0;
    // The page's Cancel command.
    virtual void CancelEdits() = 0;
    // Back to view mode without asking the server (login sets every page to view mode).
    virtual void ResetEditState() = 0;
};

class AdminPage : public QWidget
{
public:
    using QWidget::QWidget;
    // The tab caption: "Status", "Server", "Users", "Databases", "Database Users", "Rights", "Log",
    // "Servers".
    virtual QString Caption() const = 0;
    // What the login reads for the page. On the worker, inside the login's job: reads what the page shows
    // once logged in and returns how to show it, which runs on the user-interface thread once every page was
    // read. Must not touch the page's controls. Raises on failure. `reads` carries what one page read for
    // another (the Database Users page shows the users of the database the Databases page selects).
    virtual std::function<void()> ReadAtLogin(JobContext&, LoginReads&) { return {}; }
    // The same for the Status page's refresh, read after every page and shown once the pages are.
    virtual std::function<void()> RefreshAtLogin(JobContext&) { return {}; }
    // The control that takes the focus once logged in (the Status page's Refresh button), or null.
    virtual QWidget* LoginFocusWidget() { return nullptr; }
    // Null for pages without an edit mode.
    virtual EditablePage* Editable() { return nullptr; }
    // The view settings read at start and written at exit; pages take and give what is theirs.
    virtual void ApplyViewSettings(const ViewSettings&) {}
    virtual void StoreViewSettings(ViewSettings&) const {}
    // Logout or a lost server: repeated work stops until the next login.
    virtual void StopRepeatedWork() {}
    // F5: reads again what the page shows, as its own refresh does; nothing on a page without one.
    virtual void RefreshPage() {}
    // Ctrl+F: the page's search or filter box, or null.
    virtual QWidget* SearchBox() { return nullptr; }
    // The server went away (true) or answered again (false): what the page shows may be out of date
    // meanwhile.
    virtual void ShowConnectionLost(bool) {}
    // Shown in place of the page control while logged out (the Servers view).
    virtual bool ShownLoggedOut() const { return false; }
    // The window has just shown itself logged in or out.
    virtual void LoggedInChanged(bool) {}
    // The profile of the page's current row (the Servers view), for File > New Window; empty for none.
    virtual std::string ChosenProfile() const { return {}; }
};

// What the login reads for the pages, in page order, then the Status page's refresh: read on the runner's
// worker, shown together on the user-interface thread.
struct PagesAtLogin
{
    std::vector<std::function<void()>> Shows;
    std::vector<std::function<void()>> Refreshes;

    static PagesAtLogin Read(const std::vector<AdminPage*>& pages, JobContext& job);
    // The reads, each page back in view mode, then the refreshes.
    void Show(const std::vector<AdminPage*>& pages) const;
};

// The pages in tab order, wired to each other (user chooser, database selector, rights refresh).
std::vector<AdminPage*> CreatePages(const PageContext& context, QWidget* parent);

} // namespace korvel::admin
