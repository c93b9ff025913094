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

ConnectionDescription TargetAt(std::string host, std::int32_t port, std::string service)
{
    in_addr address{};
    const bool numeric = inet_pton(AF_INET, host.c_str(), &address) == 1;
    ConnectionDescription where{.Port = port, .Service = std::move(service)};
    (numeric ? where.Address : where.Host) = std::move(host);
    return where;
}

std::optional<ConnectionDescription> ParseTarget(std::string_view text)
{
    const auto colon = text.rfind(':');
    if (colon == std::string_view::npos || colon == 0)
        return std::nullopt;
    const std::string_view host = text.substr(0, colon);
    const std::string_view port = text.substr(colon + 1);
    if (host.size() > 255 || !ValidHost(host))
        return std::nullopt;
    std::int32_t number = 0;
    const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), number);
    if (error != std::errc() || end != port.data() + port.size() || number < 1 || number > 65535)
        return std::nullopt;
    return TargetAt(std::string(host), number);
}

} // namespace korvel::exporter
