// Checks made before deleting a user or taking away the administrator right, so nobody locks every
// administrator out by a few clicks: the last administrator is refused, and changing the account one is
// logged in with asks its own question first. The window and the CLI ask through their own means; the texts
// are here so both say the same.
#pragma once

#include <string>

namespace korvel
{
class TKORVELSession;
}

namespace korvel::operations
{

enum class AccountChange
{
    Delete,
    Demote // the administrator flag cleared
};

enum class AccountRisk
{
    None,
    LastAdministrator, // refuse
    OwnAccount         // ask, and log out afterwards
};

// What is known of the user a change is about.
struct AccountFacts
{
    bool Administrator = false;
    bool AnotherAdministrator = false; // asked only of an administrator
    bool Own = false;                  // the account logged in with
};

// The risk of `change` to the user of `facts`. Demoting a user who is not an administrator is no risk.
AccountRisk AccountRiskOf(const AccountFacts& facts, AccountChange change);

// Reads what it needs from the server (the user, and the other users while no other administrator is found).
AccountRisk CheckAccountChange(TKORVELSession& session, const std::string& user, AccountChange change);

// "'admin' is the last administrator of this server. ..."
std::string LastAdministratorMessage(const std::string& user, AccountChange change);
// "You are logged in as 'admin'. Delete this account? You will be logged out."
std::string OwnAccountQuestion(const std::string& user, AccountChange change);

} // namespace korvel::operations
