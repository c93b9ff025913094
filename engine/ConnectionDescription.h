// Where a KORVEL server is and how to reach it: its host name or address and its port or service, LAN or
// Internet, the SSH server to go through and how long to wait for the connect. The session, the settings
// file, the profiles, the CLI and the exporter all hold this one description; the defaults of where belong to
// each holder (the session's port, the settings file's port), so they are not given here.
#pragma once

#include "engine/SshSettings.h"

#include <cstdint>
#include <string>

namespace korvel
{

// A host that drops the handshake would otherwise hold the caller for the system's minutes of retries.
constexpr std::int32_t DefaultConnectTimeoutMs = 10'000;

struct ConnectionDescription
{
    bool Internet = false;    // compressed messages; LAN sends them as they are
    std::string Host = {};    // wins over Address when both are given
    std::string Address = {}; // numeric dotted IPv4
    std::int32_t Port = 0;    // 0: none, the service names it
    std::string Service = {}; // wins over Port when both are given
    // Not Enabled(): a direct TCP connection. Enabled: Host, Address and Port are as the SSH server sees
    // them, and its ~/.ssh/config may name further hops (ProxyJump) on the way.
    SshSettings Ssh = {};
    std::int32_t ConnectTimeoutMs = DefaultConnectTimeoutMs;

    // "H on port N" or "H on service S", H being the host name, else the address: where the server is.
    std::string Place() const;
    // "H:N" or "H:S", shorter.
    std::string Endpoint() const;
    // The host name, else the address.
    const std::string& HostOrAddress() const { return Host.empty() ? Address : Host; }

    bool operator==(const ConnectionDescription&) const = default;
};

} // namespace korvel
