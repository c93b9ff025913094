#include "operations/ConfigChecks.h"

#include "addresses/AddressChecks.h"
#include "session/KORVELSession.h"

#include <algorithm>
#include <iterator>

namespace korvel::operations
{

StringList ReadSessionAddresses(TKORVELSession& session, const BeforeRequest& beforeRequest)
{
    StringList addresses;
    if (beforeRequest)
        beforeRequest();
    std::int32_t count = session.GetServerSessionCount();
    for (std::int32_t number = 1; number <= count; ++number)
    {
        if (beforeRequest)
            beforeRequest();
        std::int32_t id = 0;
        double createdOn = 0, lastConnected = 0;
        std::string user, address, detail;
        bool internet = false;
        // A session that ended since the count was taken is skipped, and so is one without a connection (a
        // dead session has no address): neither has a login to refuse.
        if (session.GetServerSessionInfo(number, id, createdOn, lastConnected, user, address, internet,
                                         detail) &&
            !address.empty())
            addresses.push_back(address);
    }
    return addresses;
}

StringList ConfigWarnings(const ServerConfig& current, const ServerConfig& changed,
                          const StringList& sessionAddresses)
{
    StringList warnings;
    // Entries the server already holds were accepted before: only a changed list is checked.
    for (auto list : {&ServerConfig::AuthorizedAddresses, &ServerConfig::BlockedAddresses})
        if (changed.*list != current.*list)
            for (const auto& bad : addresses::BadEntries(changed.*list))
                warnings.push_back(addresses::BadEntryWarning(bad));
    if (addresses::MayLockOut(current, changed))
    {
        // A session without an address has no connection (a dead session): it has no login to refuse.
        StringList connected;
        std::copy_if(sessionAddresses.begin(), sessionAddresses.end(), std::back_inserter(connected),
                     [](const std::string& address) { return !address.empty(); });
        std::string lockout =
            addresses::LockoutWarning(addresses::RefusedSessionAddresses(changed, connected));
        if (!lockout.empty())
            warnings.push_back(lockout);
    }
    return warnings;
}

} // namespace korvel::operations
