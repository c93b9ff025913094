// Which client addresses may log in on the main port, by the configuration's two address lists. The reference
// server decides with these functions, and the window and the CLI use the same ones to warn before a save, so
// a warning never disagrees with what the server then does.
#pragma once

#include "engine/wire/AdminTypes.h"

#include <string_view>

namespace korvel::addresses
{

// A pattern matches an address exactly, or with `*` standing for any run of characters (192.168.*). Blanks
// inside a pattern are ignored.
bool AddressMatches(std::string_view pattern, std::string_view address);

// Blocked when listed in BlockedAddresses, or when AuthorizedAddresses has an entry and the address is not
// listed there. Empty entries (a blank line in the window) are ignored.
bool AddressBlocked(const ServerConfig& config, std::string_view address);

// A blank entry (ignored by the server).
bool BlankEntry(std::string_view entry);

} // namespace korvel::addresses
