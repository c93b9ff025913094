// A server to probe, as Prometheus names it: "host:port" (a host name or a dotted IPv4 address), read into
// where the one ConnectionDescription says a server is. How to reach it (mode, SSH hop, connect time-out) is
// the module's.
#pragma once

#include "engine/ConnectionDescription.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korvel::exporter
{

// Where a server is, and nothing of how: a dotted IPv4 `host` is its address, connected to as it is; any
// other is a host name to look up. On `service` when one is given, else on `port`.
ConnectionDescription TargetAt(std::string host, std::int32_t port, std::string service = {});

// Nothing when the text is not "host:port" with a port from 1 to 65535 and a host that is a dotted IPv4
// address or a host name (letters, digits, `-` and `_` in labels; no other spelling of an address).
std::optional<ConnectionDescription> ParseTarget(std::string_view text);

} // namespace korvel::exporter
