// Feeds arbitrary address lists and addresses to the checks the server and the window share: the input is
// lines, the first the address asked about, the others the configuration's entries (authorized, then blocked
// after an empty line). A pattern of `*` runs must not take exponential time; a pattern without `*` matches
// only itself (blanks and NUL aside).
#include "addresses/AddressChecks.h"
#include "addresses/AddressRules.h"
#include "engine/wire/Message.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace korvel;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t end = input.find('\n');
    const std::string_view address = input.substr(0, end);
    ServerConfig config;
    StringList* list = &config.AuthorizedAddresses;
    for (std::size_t at = end == std::string_view::npos ? input.size() : end + 1; at < input.size();)
    {
        std::size_t next = input.find('\n', at);
        if (next == std::string_view::npos)
            next = input.size();
        const std::string_view entry = input.substr(at, next - at);
        if (entry.empty())
            list = &config.BlockedAddresses;
        else
            list->emplace_back(entry);
        at = next + 1;
    }
    for (const StringList* entries : {&config.AuthorizedAddresses, &config.BlockedAddresses})
    {
        for (const std::string& entry : *entries)
        {
            const bool matches = addresses::AddressMatches(entry, address);
            const bool plain = entry.find_first_of(std::string_view("* \t\r\n\0", 6)) == std::string::npos &&
                               address.find('\0') == std::string_view::npos;
            if (plain && matches != (entry == address))
                std::abort();
            addresses::RecognisedPattern(entry);
        }
        for (const addresses::BadEntry& bad : addresses::BadEntries(*entries))
            addresses::BadEntryWarning(bad);
    }
    addresses::AddressBlocked(config, address);
    return 0;
}
