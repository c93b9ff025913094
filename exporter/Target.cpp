#include "exporter/Target.h"

#include <arpa/inet.h>
#include <charconv>

namespace korvel::exporter
{
namespace
{

// A dotted IPv4 address, or a host name of letters, digits, `-` and `_` in non-empty labels. A name the
// resolver would read as an address in another spelling (127.1, 0x7f.0.0.1, 010.0.0.1) is neither: it would
// reach an address that no numeric pattern was asked about.
bool ValidHost(std::string_view host)
{
    // The address parsers stop at a NUL: "10.0.0.5\0x" would pass as 10.0.0.5.
    if (host.find('\0') != std::string_view::npos)
        return false;
    const std::string text(host);
    in_addr address{};
    if (inet_pton(AF_INET, text.c_str(), &address) == 1)
        return true;
    if (inet_aton(text.c_str(), &address) != 0 || host.empty() || host.front() == '.' || host.back() == '.' ||
        host.find("..") != std::string_view::npos)
        return false;
    return host.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_.") ==
           std::string_view::npos;
}

} // namespace

std::optional<Target> ParseTarget(std::string_view text)
{
    const auto colon = text.rfind(':');
    if (colon == std::string_view::npos || colon == 0)
        return std::nullopt;
    const std::string_view host = text.substr(0, colon);
    const std::string_view port = text.substr(colon + 1);
    if (host.size() > 255 || !ValidHost(host))
        return std::nullopt;
    Target target{std::string(host), 0};
    const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), target.Port);
    if (error != std::errc() || end != port.data() + port.size() || target.Port < 1 || target.Port > 65535)
        return std::nullopt;
    return target;
}

} // namespace korvel::exporter
