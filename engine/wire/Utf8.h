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

// The length of the well-formed UTF-8 character `text` starts with; 0 when it starts with none.
std::size_t Utf8CharLength(std::string_view text);

// Whether `text` is well-formed UTF-8 (no overlong forms, surrogates or code points past U+10FFFF).
bool IsUtf8(std::string_view text);

// A name as a person may see it without being misled: a byte that is not UTF-8 as \xFE, a control
// character as \x00 (C1 ones as \u0085), a bidirectional or invisible formatting character as \u202E, and a
// backslash as \\, so that two different names never show alike and nothing moves the cursor.
std::string ShownName(std::string_view bytes);

} // namespace korvel
