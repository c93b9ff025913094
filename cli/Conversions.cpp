#include "cli/Conversions.h"

#include "cli/UsageError.h"
#include "engine/wire/OleDate.h"
#include "operations/RightNames.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace korvel::cli
{

namespace
{

std::string Lower(std::string_view text)
{
    std::string lower(text);
    std::ranges::transform(lower, lower.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

std::string_view Trim(std::string_view text)
{
    const std::string_view spaces = " \t";
    std::size_t first = text.find_first_not_of(spaces);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(spaces) - first + 1);
}

} // namespace

TUserRights ParseRights(std::string_view text)
{
    std::string lower = Lower(Trim(text));
    if (lower == "none")
        return {};
    TUserRights rights;
    if (lower == "all")
        return TUserRights::FromByte(0x7F);
    for (const std::string& name : SplitList(lower))
    {
        auto right = operations::FindRight(name);
        if (!right)
            throw UsageError("bad right '" + name +
                             "': use read, insert, update, delete, create, alter, drop, all or none");
        rights.Include(*right);
    }
    if (rights.Empty())
        throw UsageError("no rights given: use none for no rights");
    return rights;
}

std::uint16_t ParseUInt16(std::string_view text, std::string_view what)
{
    unsigned value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value > 65535)
        throw UsageError("bad number '" + std::string(text) + "' for " + std::string(what) +
                         ": use 0 to 65535");
    return static_cast<std::uint16_t>(value);
}

bool ParseFlag(std::string_view text, std::string_view what)
{
    std::string lower = Lower(text);
    if (lower == "true" || lower == "yes" || lower == "on" || lower == "1")
        return true;
    if (lower == "false" || lower == "no" || lower == "off" || lower == "0")
        return false;
    throw UsageError("bad value '" + std::string(text) + "' for " + std::string(what) +
                     ": use true or false");
}

StringList SplitList(std::string_view text)
{
    StringList items;
    if (Trim(text).empty())
        return items;
    for (std::size_t start = 0;;)
    {
        std::size_t comma = text.find(',', start);
        items.emplace_back(Trim(text.substr(start, comma == std::string_view::npos ? comma : comma - start)));
        if (comma == std::string_view::npos)
            return items;
        start = comma + 1;
    }
}

std::string FormatOleDate(double oleDate)
{
    // Rounded to whole seconds before decoding, so that 23:59:59.6 becomes the next day's 00:00:00 with every
    // field carried. Before 1899-12-30 the time of day is the magnitude of the fraction, so that is rounded.
    double days = std::trunc(oleDate);
    double seconds = std::round(std::fabs(oleDate - days) * 86400.0);
    double rounded = seconds >= 86400.0 ? days + 1.0 : days + std::copysign(seconds / 86400.0, oleDate);
    DateTimeParts parts = DecodeOleDate(rounded);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", parts.Year, parts.Month, parts.Day,
                  parts.Hour, parts.Minute, parts.Second);
    return text;
}

} // namespace korvel::cli
