// The warnings given before a configuration is saved: address-list entries that are not address patterns, and
// the connected main-port sessions the new lists (or Deny New Connections) would refuse at their next login.
#pragma once

#include "engine/wire/AdminTypes.h"
#include "operations/RightsMatrix.h"

#include <string>

namespace korvel::operations
{

// The address of every connected session the server lists now (GETSESSIONS, then GETSESSIONINFO for each).
StringList ReadSessionAddresses(TKORVELSession& session, const BeforeRequest& beforeRequest = {});

// One text per warning, each ending in a full stop; empty when saving `changed` over `current` is harmless.
// `sessionAddresses` matter only when addresses::MayLockOut(current, changed).
StringList ConfigWarnings(const ServerConfig& current, const ServerConfig& changed,
                          const StringList& sessionAddresses);

} // namespace korvel::operations
