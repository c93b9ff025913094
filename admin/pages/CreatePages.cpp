#include "admin/common/AdminPage.h"
#include "admin/pages/DatabaseUsersPage.h"
#include "admin/pages/DatabasesPage.h"
#include "admin/pages/LogPage.h"
#include "admin/pages/RightsPage.h"
#include "admin/pages/ServerPage.h"
#include "admin/pages/StatusPage.h"
#include "admin/pages/UsersPage.h"

namespace korvel::admin
{

std::vector<AdminPage*> CreatePages(const PageContext& context, QWidget* parent)
{
    // The Database Users page is made first: the Users and Databases pages fill its choosers.
    auto* databaseUsers = new TDatabaseUsersPage(context, parent);
    auto* rights = new TRightsPage(context, *databaseUsers, parent);
    databaseUsers->SetRightsChangedHandler([rights] { rights->MarkStale(); });
    return {new TStatusPage(context, parent),
            new TServerPage(context, parent),
            new TUsersPage(context, *databaseUsers, parent),
            new TDatabasesPage(context, *databaseUsers, parent),
            databaseUsers,
            rights,
            new TLogPage(context, parent)};
}

} // namespace korvel::admin
