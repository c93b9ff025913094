// The Users page's guard before deleting a user or clearing its administrator flag: the last administrator is
// refused with a message naming the user, and the account the window is logged in with gets its own question
// before the page's usual one.
#pragma once

#include "operations/AccountGuards.h"

#include <QString>

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

// Asks the server through `runner`.
AccountGuardResult GuardAccountChange(QWidget* parent, BackgroundRunner& runner, TKORVELSession& session,
                                      const QString& user, operations::AccountChange change);

} // namespace korvel::admin
