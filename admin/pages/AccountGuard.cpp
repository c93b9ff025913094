#include "admin/pages/AccountGuard.h"

#include "admin/common/BackgroundRunner.h"
#include "admin/common/Dialogs.h"
#include "admin/pages/PageFields.h"
#include "session/KORVELSession.h"

namespace korvel::admin
{

AccountGuardResult GuardAccountChange(QWidget* parent, BackgroundRunner& runner, TKORVELSession& session,
                                      const QString& user, operations::AccountChange change)
{
    const std::string name = ToStd(user);
    switch (runner.Await([&] { return operations::CheckAccountChange(session, name, change); }))
    {
    case operations::AccountRisk::LastAdministrator:
        CurrentDialogs().ShowError(parent, FromStd(operations::LastAdministratorMessage(name, change)));
        return AccountGuardResult::Refused;
    case operations::AccountRisk::OwnAccount:
        if (CurrentDialogs().AskWarningYesNo(parent, FromStd(operations::OwnAccountQuestion(name, change))) !=
            Answer::Yes)
            return AccountGuardResult::Refused;
        return AccountGuardResult::AllowedLogOut;
    case operations::AccountRisk::None:
        break;
    }
    return AccountGuardResult::Allowed;
}

} // namespace korvel::admin
