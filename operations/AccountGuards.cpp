#include "operations/AccountGuards.h"

#include "engine/DataSession.h"
#include "engine/wire/Utf8.h"
#include "session/KORVELSession.h"

namespace korvel::operations
{

namespace
{

bool IsAdministrator(TKORVELSession& session, const std::string& user)
{
    std::string password, description;
    bool administrator = false;
    session.GetServerUser(user, password, description, administrator);
    return administrator;
}

bool AnotherAdministrator(TKORVELSession& session, const std::string& user)
{
    StringList names;
    session.GetServerUserNames(names);
    for (const std::string& name : names)
        if (name != user && IsAdministrator(session, name))
            return true;
    return false;
}

// The name the session logged in with: typed at the login prompt, so not always the RemoteUser setting.
std::string LoggedInUser(TKORVELSession& session)
{
    const TDataSession* dataSession = session.DataSession();
    return dataSession ? dataSession->UserName() : session.RemoteUser();
}

} // namespace

AccountRisk AccountRiskOf(const AccountFacts& facts, AccountChange change)
{
    if (!facts.Administrator)
        return change == AccountChange::Delete && facts.Own ? AccountRisk::OwnAccount : AccountRisk::None;
    if (!facts.AnotherAdministrator)
        return AccountRisk::LastAdministrator;
    return facts.Own ? AccountRisk::OwnAccount : AccountRisk::None;
}

AccountRisk CheckAccountChange(TKORVELSession& session, const std::string& user, AccountChange change)
{
    AccountFacts facts;
    facts.Administrator = IsAdministrator(session, user);
    facts.AnotherAdministrator = facts.Administrator && AnotherAdministrator(session, user);
    facts.Own = user == LoggedInUser(session);
    return AccountRiskOf(facts, change);
}

std::string LastAdministratorMessage(const std::string& user, AccountChange change)
{
    return "'" + ShownName(user) + "' is the last administrator of this server. " +
           (change == AccountChange::Delete ? "Deleting this user" : "Removing its administrator right") +
           " would leave nobody able to administer the server, so it is not done.";
}

std::string OwnAccountQuestion(const std::string& user, AccountChange change)
{
    return "You are logged in as '" + ShownName(user) + "'. " +
           (change == AccountChange::Delete ? "Delete this account?"
                                            : "Remove this account's administrator right?") +
           " You will be logged out.";
}

} // namespace korvel::operations
