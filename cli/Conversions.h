// Text forms of the values the CLI reads and prints: rights lists, numbers, flags, address lists and dates.
// Every parser raises UsageError with a message naming the bad text.
#pragma once

#include "engine/wire/Message.h"
#include "operations/RightNames.h"
#include "session/UserRights.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace korvel::cli
{

// "read,update" and the like, or "all", or "none".
TUserRights ParseRights(std::string_view text);
using operations::RightNames;

// A decimal number from 0 to 65535; `what` names the value in the message.
std::uint16_t ParseUInt16(std::string_view text, std::string_view what);
// true/false, yes/no, on/off, 1/0 (any case).
bool ParseFlag(std::string_view text, std::string_view what);
// Comma-separated items, each without the spaces around it; the empty (or blank) text is the empty list.
StringList SplitList(std::string_view text);

// An OLE date as the server's wall clock, YYYY-MM-DDTHH:MM:SS, rounded to the nearest second.
std::string FormatOleDate(double oleDate);

} // namespace korvel::cli
