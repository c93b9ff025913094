#include "admin/pages/lists/AccountGuard.h"

#include "admin/common/Command.h"
#include "admin/common/Dialogs.h"
#include "admin/pages/PageFields.h"
#include "admin/pages/lists/ListDetail.h"
#include "session/KORVELSession.h"

namespace korvel::admin
{

void GuardAccountChange(QWidget* parent, BackgroundRunner& runner, TKORVELSession& session,
                        const QString& user, operations::AccountChange change,
                        std::function<void(AccountGuardResult)> then)
{
    const std::string name = ToStd(user);
    SubmitCommand<operations::AccountRisk>(
        parent, runner, {},
        [&session, name, change](JobContext& job)
        {
            job.Check();
            try
            {
                return operations::CheckAccountChange(session, name, change);
            }
            catch (...)
            {
                // A user deleted meanwhile risks nothing: the save that follows says it is gone.
                if (IsNotFound(std::current_exception()))
                    return operations::AccountRisk::None;
                throw;
            }
        },
        [parent, name, change, then = std::move(then)](operations::AccountRisk risk)
        {
            switch (risk)
            {
            case operations::AccountRisk::LastAdministrator:
                DialogsFor(parent).ShowError(parent,
                                             FromStd(operations::LastAdministratorMessage(name, change)));
                return then(AccountGuardResult::Refused);
            case operations::AccountRisk::OwnAccount:
                if (DialogsFor(parent).AskWarningYesNo(parent,
                                                       FromStd(operations::OwnAccountQuestion(name, change)),
                                                       Answer::No) != Answer::Yes)
                    return then(AccountGuardResult::Refused);
                return then(AccountGuardResult::AllowedLogOut);
            case operations::AccountRisk::None:
                break;
            }
            then(AccountGuardResult::Allowed);
        });
}

} // namespace korvel::admin
