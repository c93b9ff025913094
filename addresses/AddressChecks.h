// The warnings the window and the CLI give before they send an address list or a configuration: entries that
// are not address patterns, and the connected sessions a new configuration would refuse at their next login.
// The list's syntax belongs to the server, so these warn and never refuse.
#pragma once

#include "engine/wire/AdminTypes.h"

#include <string>
#include <string_view>
#include <vector>

namespace korvel::addresses
{

// An IPv4 or IPv6 address, where `*` may stand for any run of characters (192.168.*, fe80::*, *). Blanks
// around the entry are ignored.
bool RecognisedPattern(std::string_view entry);

// One entry that is not a recognised pattern; Line counts from 1 and blank lines count.
struct BadEntry
{
    int Line;
    std::string Text;
};
std::vector<BadEntry> BadEntries(const StringList& list);
// 'Line N "x" is not a recognised address pattern.'
std::string BadEntryWarning(const BadEntry& entry);

// The addresses of `sessionAddresses` (one per session, repeats allowed) that `config` refuses at login: all
// of them when DenyLogins is on, else those AddressBlocked names.
StringList RefusedSessionAddresses(const ServerConfig& config, const StringList& sessionAddresses);
// "N connected sessions from A, B, ... would be refused at their next login." with each address once, at most
// ten of them and then "and K more". Empty when nothing is refused.
std::string LockoutWarning(const StringList& refusedAddresses);

// Whether saving `changed` over `current` can lock sessions out: a list changed or DenyLogins switched on.
bool MayLockOut(const ServerConfig& current, const ServerConfig& changed);

} // namespace korvel::addresses
