#include "addresses/AddressChecks.h"

#include "addresses/AddressRules.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <set>

namespace korvel::addresses
{

namespace
{

std::string_view Trimmed(std::string_view text)
{
    auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return {};
    auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

std::vector<std::string_view> Split(std::string_view text, char separator)
{
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i)
        if (i == text.size() || text[i] == separator)
        {
            parts.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    return parts;
}

bool Contains(std::string_view text, char c)
{
    return text.find(c) != std::string_view::npos;
}

// Dotted decimal where each `*` may also stand for dots: fewer than four parts only when one holds a `*`.
bool IPv4Pattern(std::string_view text)
{
    auto parts = Split(text, '.');
    if (parts.size() > 4 || (parts.size() < 4 && !Contains(text, '*')))
        return false;
    for (std::string_view part : parts)
    {
        std::size_t digits = 0;
        for (char c : part)
        {
            if (std::isdigit(static_cast<unsigned char>(c)))
                ++digits;
            else if (c != '*')
                return false;
        }
        if (part.empty() || digits > 3)
            return false;
        if (!Contains(part, '*') && std::stoi(std::string(part)) > 255)
            return false;
    }
    return true;
}

// Hexadecimal groups and colons (a dotted tail allowed), with at least one colon.
bool IPv6Pattern(std::string_view text)
{
    if (!Contains(text, ':'))
        return false;
    for (std::string_view group : Split(text, ':'))
    {
        std::size_t hex = 0;
        for (char c : group)
        {
            if (std::isxdigit(static_cast<unsigned char>(c)))
                ++hex;
            else if (c != '*' && c != '.')
                return false;
        }
        if (hex > 4 && !Contains(group, '.'))
            return false;
    }
    return true;
}

} // namespace

bool RecognisedPattern(std::string_view entry)
{
    std::string text(Trimmed(entry));
    if (text.empty() || Contains(text, ' ') || Contains(text, '\t'))
        return false;
    if (!Contains(text, '*'))
    {
        unsigned char address[16];
        return inet_pton(AF_INET, text.c_str(), address) == 1 ||
               inet_pton(AF_INET6, text.c_str(), address) == 1;
    }
    return text == "*" || IPv4Pattern(text) || IPv6Pattern(text);
}

std::vector<BadEntry> BadEntries(const StringList& list)
{
    std::vector<BadEntry> bad;
    for (std::size_t i = 0; i < list.size(); ++i)
        if (!BlankEntry(list[i]) && !RecognisedPattern(list[i]))
            bad.push_back({static_cast<int>(i + 1), list[i]});
    return bad;
}

std::string BadEntryWarning(const BadEntry& entry)
{
    return "Line " + std::to_string(entry.Line) + " \"" + entry.Text +
           "\" is not a recognised address pattern.";
}

StringList RefusedSessionAddresses(const ServerConfig& config, const StringList& sessionAddresses)
{
    StringList refused;
    for (const std::string& address : sessionAddresses)
        if (config.DenyLogins || AddressBlocked(config, address))
            refused.push_back(address);
    return refused;
}

std::string LockoutWarning(const StringList& refusedAddresses)
{
    if (refusedAddresses.empty())
        return {};
    StringList distinct;
    std::set<std::string> seen;
    for (const std::string& address : refusedAddresses)
        if (seen.insert(address).second)
            distinct.push_back(address);
    constexpr std::size_t Shown = 10;
    std::string list;
    for (std::size_t i = 0; i < std::min(Shown, distinct.size()); ++i)
        list += (i ? ", " : "") + distinct[i];
    if (distinct.size() > Shown)
        list += " and " + std::to_string(distinct.size() - Shown) + " more";
    std::size_t count = refusedAddresses.size();
    return std::to_string(count) + (count == 1 ? " connected session from " : " connected sessions from ") +
           list + " would be refused at their next login.";
}

bool MayLockOut(const ServerConfig& current, const ServerConfig& changed)
{
    return changed.AuthorizedAddresses != current.AuthorizedAddresses ||
           changed.BlockedAddresses != current.BlockedAddresses ||
           (changed.DenyLogins && !current.DenyLogins);
}

} // namespace korvel::addresses
