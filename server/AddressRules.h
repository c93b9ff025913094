// Which client addresses may log in on the main port, by the configuration's two address lists.
#pragma once

#include "engine/wire/AdminTypes.h"

#include <string_view>

namespace korvel::server
{

// A pattern matches an address exactly, or with `*` standing for any run of characters (192.168.*).
bool AddressMatches(std::string_view pattern, std::string_view address);

// Blocked when listed in BlockedAddresses, or when AuthorizedAddresses has an entry and the address is not
// listed there. Empty entries (a blank line in the window) are ignored.
bool AddressBlocked(const ServerConfig& config, std::string_view address);

} // namespace korvel::server
