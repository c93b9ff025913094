#include "settings/Connection.h"

#include <charconv>

namespace korvel::settings
{

namespace
{

constexpr long long MaxPort = 65535;

} // namespace

Connection CheckedConnection(Connection given, std::string_view port)
{
    if (given.Host.empty() && given.Address.empty())
        throw ConnectionError("You must specify a host name or IP address for a remote connection");
    const ConnectionError noPort("You must specify a port or service for a remote connection");
    if (port.empty() && given.Service.empty())
        throw noPort;
    long long number = 0;
    if (!port.empty())
    {
        const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), number);
        if (error != std::errc() || end != port.data() + port.size())
            throw ConnectionError("'" + std::string(port) + "' is not a valid integer value");
    }
    if (number == 0 && given.Service.empty())
        throw noPort;
    if (number < 0 || number > MaxPort)
        throw ConnectionError("The port must be between 0 and " + std::to_string(MaxPort));
    given.Port = static_cast<std::uint16_t>(number);
    return given;
}

} // namespace korvel::settings
