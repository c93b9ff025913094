#include "addresses/AddressRules.h"

#include <algorithm>
#include <fnmatch.h>
#include <string>

namespace korvel::addresses
{

bool AddressMatches(std::string_view pattern, std::string_view address)
{
    // Only `*` is a wildcard: other fnmatch specials in an address list are taken literally.
    std::string escaped;
    for (char c : pattern)
    {
        if (c == '?' || c == '[' || c == ']' || c == '\\')
            escaped.push_back('\\');
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
            escaped.push_back(c);
    }
    return fnmatch(escaped.c_str(), std::string(address).c_str(), 0) == 0;
}

bool BlankEntry(std::string_view entry)
{
    return entry.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

namespace
{

bool Listed(const StringList& list, std::string_view address)
{
    return std::any_of(list.begin(), list.end(),
                       [address](const std::string& entry)
                       { return !BlankEntry(entry) && AddressMatches(entry, address); });
}

bool HasEntries(const StringList& list)
{
    return std::any_of(list.begin(), list.end(), [](const std::string& entry) { return !BlankEntry(entry); });
}

} // namespace

bool AddressBlocked(const ServerConfig& config, std::string_view address)
{
    if (Listed(config.BlockedAddresses, address))
        return true;
    return HasEntries(config.AuthorizedAddresses) && !Listed(config.AuthorizedAddresses, address);
}

} // namespace korvel::addresses
