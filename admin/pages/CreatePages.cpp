#include "admin/pages/CreatePages.h"
#include "admin/pages/lists/DatabaseUsersPage.h"
#include "admin/pages/lists/DatabasesPage.h"
#include "admin/pages/lists/UsersPage.h"
#include "admin/pages/log/LogPage.h"
#include "admin/pages/rights/RightsPage.h"
#include "admin/pages/server/ServerPage.h"
#include "admin/pages/servers/ServersPage.h"
#include "admin/pages/status/StatusPage.h"

namespace korvel::admin
{

std::vector<AdminPage*> CreateTabPages(const PageContext& context, QWidget* parent)
{
    // The Database Users page is made first: the Users and Databases pages fill its choosers.
    auto* databaseUsers = new DatabaseUsersPage(context, parent);
    auto* rights = new RightsPage(context, *databaseUsers, parent);
    databaseUsers->SetRightsChangedHandler([rights] { rights->MarkStale(); });
    return {new StatusPage(context, parent),
            new ServerPage(context, parent),
            new UsersPage(context, *databaseUsers, parent),
            new DatabasesPage(context, *databaseUsers, parent),
            databaseUsers,
            rights,
            new LogPage(context, parent)};
}

std::vector<AdminPage*> CreateLoggedOutPages(const PageContext& context, QWidget* parent)
{
    return {new ServersPage(context, parent)};
}

std::vector<AdminPage*> CreatePages(const PageContext& context, QWidget* parent)
{
    std::vector<AdminPage*> pages = CreateTabPages(context, parent);
    for (AdminPage* page : CreateLoggedOutPages(context, parent))
        pages.push_back(page);
    return pages;
}

} // namespace korvel::admin
