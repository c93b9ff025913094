// A server to probe, as Prometheus names it: "host:port" (a host name or a dotted IPv4 address).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korvel::exporter
{

struct Target
{
    std::string Host;
    std::int32_t Port = 0;
    std::string Service = {}; // a profile's service name, which wins over Port (ParseTarget sets none)

    std::string Text() const { return Host + ":" + (Service.empty() ? std::to_string(Port) : Service); }
};

// Nothing when the text is not "host:port" with a port from 1 to 65535 and a host that is a dotted IPv4
// address or a host name (letters, digits, `-` and `_` in labels; no other spelling of an address).
std::optional<Target> ParseTarget(std::string_view text);

} // namespace korvel::exporter
