#include "admin/window/PageControl.h"

#include "admin/common/Command.h"
#include "admin/common/Dialogs.h"

#include <QAction>
#include <QBoxLayout>
#include <QTabWidget>

#include <algorithm>

namespace korvel::admin
{

PageControl::PageControl(QWidget& window, QTabWidget* tabs, std::vector<AdminPage*> pages,
                         std::function<bool()> loggedIn)
    : QObject(&window), window_(window), tabs_(tabs), pages_(std::move(pages)), loggedIn_(std::move(loggedIn))
{
    changingPage_ = true; // adding pages is no page change the person asked for
    for (AdminPage* page : pages_)
        tabs_->addTab(page, page->Caption());
    changingPage_ = false;
    connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) { PageChanged(index); });

    // Not in a menu: the menu bar holds File and Help only.
    auto addKey = [this](const char* name, const QKeySequence& key, void (PageControl::*act)())
    {
        auto* action = new QAction(&window_);
        action->setObjectName(QLatin1String(name));
        action->setShortcut(key);
        connect(action, &QAction::triggered, this,
                [this, act] { RunCommand(&window_, [this, act] { (this->*act)(); }); });
        window_.addAction(action);
    };
    addKey("RefreshPageKey", QKeySequence(Qt::Key_F5), &PageControl::RefreshCurrentPage);
    addKey("SearchBoxKey", QKeySequence(Qt::CTRL | Qt::Key_F), &PageControl::GoToSearchBox);
}

void PageControl::InsertPagesFirst(const std::vector<AdminPage*>& pages)
{
    const bool wasChanging = changingPage_;
    changingPage_ = true; // adding pages is no page change the person asked for
    for (std::size_t index = 0; index < pages.size(); ++index)
        tabs_->insertTab(static_cast<int>(index), pages[index], pages[index]->Caption());
    // In place: the login controller keeps a reference to this list.
    pages_.insert(pages_.begin(), pages.begin(), pages.end());
    currentPage_ = tabs_->currentIndex();
    changingPage_ = wasChanging;
}

AdminPage* PageControl::CurrentPage() const
{
    if (!loggedIn_())
    {
        auto shown = std::find_if(pages_.begin(), pages_.end(),
                                  [](AdminPage* page) { return page->ShownLoggedOut(); });
        return shown == pages_.end() ? nullptr : *shown;
    }
    if (currentPage_ < 0 || currentPage_ >= static_cast<int>(pages_.size()))
        return nullptr;
    return pages_[static_cast<std::size_t>(currentPage_)];
}

void PageControl::RefreshCurrentPage()
{
    AdminPage* page = CurrentPage();
    // A key never throws an edit away: the page's Save or Cancel comes first.
    if (!page || (page->Editable() && page->Editable()->EditState() != esViewing))
        return;
    page->RefreshPage();
}

void PageControl::GoToSearchBox()
{
    AdminPage* page = CurrentPage();
    // A line edit selects its text when the focus comes from a shortcut, so typing replaces it.
    if (QWidget* box = page ? page->SearchBox() : nullptr; box && box->isEnabled())
        box->setFocus(Qt::ShortcutFocusReason);
}

void PageControl::PlaceLoggedOutPages(bool loggedIn, QBoxLayout& outside)
{
    const bool wasChanging = changingPage_;
    changingPage_ = true; // no page change the person asked for
    for (std::size_t index = 0; index < pages_.size(); ++index)
    {
        AdminPage* page = pages_[index];
        if (!page->ShownLoggedOut() || (tabs_->indexOf(page) >= 0) == loggedIn)
            continue;
        if (loggedIn)
        {
            outside.removeWidget(page);
            tabs_->insertTab(static_cast<int>(index), page, page->Caption());
        }
        else
        {
            tabs_->removeTab(tabs_->indexOf(page));
            outside.addWidget(page, 1);
            page->show();
        }
    }
    currentPage_ = tabs_->currentIndex();
    changingPage_ = wasChanging;
}

bool PageControl::AnyPendingEdits() const
{
    return std::any_of(pages_.begin(), pages_.end(),
                       [](AdminPage* page)
                       {
                           EditablePage* editable = page->Editable();
                           return editable && editable->EditState() != esViewing;
                       });
}

void PageControl::ConfirmPendingEdits(std::function<void()> proceed)
{
    ConfirmPendingEditsFrom(0, std::move(proceed));
}

void PageControl::ConfirmPendingEditsFrom(std::size_t first, std::function<void()> proceed)
{
    for (std::size_t index = first; index < pages_.size(); ++index)
    {
        EditablePage* page = pages_[index]->Editable();
        if (!page || page->EditState() == esViewing)
            continue;
        SetActivePage(static_cast<int>(index));
        switch (DialogsFor(&window_).AskWarningYesNoCancel(&window_, page->PendingEditsQuestion()))
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
void PageControl::PageChanged(int index)
{
    if (changingPage_ || !AnyPendingEdits())
    {
        currentPage_ = index;
        return;
    }
    SetActivePage(currentPage_);
    RunCommand(&window_, [&] { ConfirmPendingEdits([this, index] { SetActivePage(index); }); });
}

void PageControl::SetActivePage(int index)
{
    const bool wasChanging = changingPage_;
    changingPage_ = true;
    tabs_->setCurrentIndex(index);
    currentPage_ = tabs_->currentIndex();
    changingPage_ = wasChanging;
}

} // namespace korvel::admin
