// The Users page's guard before deleting a user or clearing its administrator flag: the last administrator is
// refused with a message naming the user, and the account the window is logged in with gets its own question
// before the page's usual one.
#pragma once

#include "operations/AccountGuards.h"

#include <QString>

#include <functional>

class QWidget;

namespace korvel
{
class TKORVELSession;
}

namespace korvel::admin
{

enum class AccountGuardResult
{
    Refused,      // nothing may be sent
    Allowed,      // go on as usual
    AllowedLogOut // go on, then log out: the logged-in account changes
};

class BackgroundRunner;

// Asks the server through `runner`, then the person where needed, and calls `then` with what may happen. When
// the check fails or is cancelled, `then` is not called (the error box shows a failure).
void GuardAccountChange(QWidget* parent, BackgroundRunner& runner, TKORVELSession& session,
                        const QString& user, operations::AccountChange change,
                        std::function<void(AccountGuardResult)> then);

} // namespace korvel::admin
