// The Qt implementation of the dialogs seam.
#include "admin/common/Dialogs.h"

#include "admin/common/QtDialogs.h"

namespace korvel::admin
{

namespace
{
Dialogs* installedDialogs = nullptr;
} // namespace

Dialogs& CurrentDialogs()
{
    if (installedDialogs)
        return *installedDialogs;
    static QtDialogs qtDialogs;
    return qtDialogs;
}

void SetDialogs(Dialogs* dialogs)
{
    installedDialogs = dialogs;
}

} // namespace korvel::admin
