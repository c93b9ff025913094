// The engine error code table: every code with its KORVEL_* name, its message text and the context values
// that fill the text's placeholders, in order.
#pragma once

#include "engine/wire/EngineError.h"

#include <array>
#include <string_view>

namespace korvel
{

struct ErrorTableEntry
{
    ErrorCode Code;
    std::string_view Name;
    std::string_view Text;                 // empty for the codes without a text of their own
    std::array<ContextValue, 3> Arguments; // one per "%s" of Text, in order
};

// The entry of a code, or nullptr when the table does not know it.
const ErrorTableEntry* FindErrorEntry(ErrorCode code);

} // namespace korvel
