#include "engine/wire/Utf8.h"

#include <algorithm>
#include <cstdio>

namespace korvel
{

namespace
{

// The length of the well-formed UTF-8 character at the start of `text` and its code point; 0 when the
// first byte does not begin one.
std::size_t Decode(std::string_view text, char32_t& point)
{
    const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
    const unsigned char first = byte(0);
    std::size_t length = first < 0x80                    ? 1
                         : first >= 0xC2 && first < 0xE0 ? 2
                         : first >= 0xE0 && first < 0xF0 ? 3
                         : first >= 0xF0 && first < 0xF5 ? 4
                                                         : 0;
    if (length == 0 || length > text.size())
        return 0;
    point = length == 1 ? first : first & (0x7F >> length);
    for (std::size_t at = 1; at < length; ++at)
    {
        if ((byte(at) & 0xC0) != 0x80)
            return 0;
        point = (point << 6) | (byte(at) & 0x3F);
    }
    const bool overlong = (length == 3 && point < 0x800) || (length == 4 && point < 0x10000);
    if (overlong || (point >= 0xD800 && point <= 0xDFFF) || point > 0x10FFFF)
        return 0;
    return length;
}

// Characters that change how the text around them shows, or show as nothing.
bool Invisible(char32_t point)
{
    return point == 0x00AD || point == 0x061C || (point >= 0x200B && point <= 0x200F) ||
           (point >= 0x2028 && point <= 0x202E) || (point >= 0x2060 && point <= 0x206F) || point == 0xFEFF;
}

std::string Escape(const char* format, unsigned value)
{
    char text[16];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

} // namespace

std::string_view CutUtf8(std::string_view text, std::size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return text;
    // Step back over at most three continuation bytes (the most a UTF-8 character has); bytes that are not
    // UTF-8 at all are then cut where the limit falls instead of losing the whole string.
    std::size_t cut = maxBytes;
    for (int step = 0; step < 3 && cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80; ++step)
        --cut;
    if ((static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        cut = maxBytes;
    return text.substr(0, cut);
}

std::size_t Utf8CharLength(std::string_view text)
{
    char32_t point = 0;
    return text.empty() ? 0 : Decode(text, point);
}

bool IsUtf8(std::string_view text)
{
    char32_t point = 0;
    for (std::size_t at = 0, length = 0; at < text.size(); at += length)
        if ((length = Decode(text.substr(at), point)) == 0)
            return false;
    return true;
}

std::string ShownName(std::string_view bytes)
{
    // Printable ASCII but the backslash shows as it is, and most names hold nothing else: lists of thousands
    // are shown without a look at each character.
    if (std::all_of(bytes.begin(), bytes.end(),
                    [](char byte) { return byte >= 0x20 && byte < 0x7F && byte != '\\'; }))
        return std::string(bytes);
    std::string shown;
    shown.reserve(bytes.size());
    for (std::size_t at = 0; at < bytes.size();)
    {
        char32_t point = 0;
        const std::size_t length = Decode(bytes.substr(at), point);
        if (length == 0)
            shown += Escape("\\x%02X", static_cast<unsigned char>(bytes[at]));
        else if (point == '\\')
            shown += "\\\\";
        else if (point < 0x20 || point == 0x7F)
            shown += Escape("\\x%02X", static_cast<unsigned>(point));
        else if ((point >= 0x80 && point < 0xA0) || Invisible(point))
            shown += Escape("\\u%04X", static_cast<unsigned>(point));
        else
            shown.append(bytes.substr(at, length));
        at += length == 0 ? 1 : length;
    }
    return shown;
}

} // namespace korvel
