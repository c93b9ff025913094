#include "admin/common/AdminPage.h"

namespace korvel::admin
{

PagesAtLogin PagesAtLogin::Read(const std::vector<AdminPage*>& pages, JobContext& job)
{
    PagesAtLogin read;
    LoginReads reads;
    for (AdminPage* page : pages)
        read.Shows.push_back(page->ReadAtLogin(job, reads));
    for (AdminPage* page : pages)
        read.Refreshes.push_back(page->RefreshAtLogin(job));
    return read;
}

void PagesAtLogin::Show(const std::vector<AdminPage*>& pages) const
{
    for (const auto& show : Shows)
        if (show)
            show();
    for (AdminPage* page : pages)
        if (EditablePage* editable = page->Editable())
            editable->ResetEditState();
    for (const auto& refresh : Refreshes)
        if (refresh)
            refresh();
}

} // namespace korvel::admin
