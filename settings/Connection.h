// How to reach a server: LAN or Internet, a host name or IP address, and a port or a service name. The
// Options dialog, the Profiles dialog and the CLI check what a person gives with the same rule and the same
// words.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace korvel::settings
{

struct Connection
{
    bool Internet = false; // compressed messages; LAN sends them as they are
    std::string Host;      // wins over Address when both are given
    std::string Address;
    std::uint16_t Port = 12006; // 0: none, the service names it
    std::string Service;        // wins over Port when both are given

    // "H on port N" or "H on service S", H being the host name, else the address: where the server is.
    std::string Place() const;
    // "H:N" or "H:S", shorter.
    std::string Endpoint() const;

    bool operator==(const Connection&) const = default;
};

// What() is the text the window shows for the first problem found.
class ConnectionError : public std::invalid_argument
{
public:
    using std::invalid_argument::invalid_argument;
};

// `given` with the port as typed ("" or "0" for none) once it can reach a server. Raises ConnectionError with
// the first problem, checked in this order: "You must specify a host name or IP address for a remote
// connection"; "You must specify a port or service for a remote connection"; "'%s' is not a valid integer
// value"; "The port must be between 0 and 65535" (0 stands for no port, so it needs a service).
Connection CheckedConnection(Connection given, std::string_view port);

} // namespace korvel::settings
