// The window's page control: which page shows, and what guards leaving it. A page change, a logout or closing
// the window first resolves the unsaved edits of the editable pages, in page order, with each page's question
// (Yes saves, No drops them, Cancel stays). F5 refreshes the page shown and Ctrl+F goes to its search or
// filter box; while logged out they act on the page shown in place of the page control (the Servers view).
#pragma once

#include "admin/common/AdminPage.h"

#include <QObject>

#include <functional>
#include <vector>

class QBoxLayout;
class QTabWidget;
class QWidget;

namespace korvel::admin
{

class PageControl : public QObject
{
public:
    // `tabs` shows `pages`; `window` holds the keys and parents the questions; the keys act only while
    // `loggedIn` says so.
    PageControl(QWidget& window, QTabWidget* tabs, std::vector<AdminPage*> pages,
                std::function<bool()> loggedIn);

    const std::vector<AdminPage*>& Pages() const { return pages_; }
    // Pages made after the others, which go before them in tab order (the window's first paint waits for
    // none but the page shown while logged out).
    void InsertPagesFirst(const std::vector<AdminPage*>& pages);
    void SetActivePage(int index);

    // Resolves unsaved edits on the editable pages in page order, then runs `proceed`; not at all when the
    // person chose Cancel, or a Save failed (its error box shows, the page stays in edit mode).
    void ConfirmPendingEdits(std::function<void()> proceed);
    bool AnyPendingEdits() const;

    // The pages shown while logged out go to `outside` when logged out and back to their tabs when logged in.
    void PlaceLoggedOutPages(bool loggedIn, QBoxLayout& outside);

    void RefreshCurrentPage();
    void GoToSearchBox();

private:
    void ConfirmPendingEditsFrom(std::size_t first, std::function<void()> proceed);
    void PageChanged(int index); // MainPageControlChanging, see the .cpp
    AdminPage* CurrentPage() const;

    QWidget& window_;
    QTabWidget* tabs_;
    std::vector<AdminPage*> pages_;
    std::function<bool()> loggedIn_;
    int currentPage_ = 0;
    bool changingPage_ = false;
};

} // namespace korvel::admin
