// Protocol strings are bytes in the locale's encoding (UTF-8 here) of at most 255 bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace korvel
{

inline constexpr std::size_t MaxProtocolString = 255;

// The longest prefix of `text` of at most `maxBytes` bytes that does not end inside a UTF-8 character.
std::string_view CutUtf8(std::string_view text, std::size_t maxBytes = MaxProtocolString);

} // namespace korvel
