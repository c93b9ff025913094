// The pages of the main window. The window knows them only through this interface: it fills them at login in
// page order, refreshes them once shown, and walks the editable ones in ConfirmPendingEdits.
#pragma once

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

enum TEditState
{
    esViewing,
    esAdding,
    esEditing
};

// What every page is given.
struct PageContext
{
    TKORVELSession& Session;
    QString ProgramDir; // ends in a separator unless empty
    // The window's logout, for a page whose change ends the login (the logged-in account deleted or demoted).
    std::function<void()> LogOut = {};
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
    // Login step 3: fill from the server (view mode). Raises on failure.
    virtual void FillAtLogin() {}
    // Login step 6, once the page control is shown: the Status page refreshes. Raises on failure.
    virtual void RefreshAfterLogin() {}
    // Login step 4: the control that takes the focus (the Status page's Refresh button), or null.
    virtual QWidget* LoginFocusWidget() { return nullptr; }
    // Null for pages without an edit mode.
    virtual EditablePage* Editable() { return nullptr; }
};

// The seven pages in tab order, wired to each other (user chooser, database selector, rights refresh).
std::vector<AdminPage*> CreatePages(const PageContext& context, QWidget* parent);

} // namespace korvel::admin
