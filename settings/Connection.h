// How the settings file and the profiles say where a server is: the one connection description, with the
// port the settings file falls back on. The Options dialog, the Profiles dialog and the CLI check what a
// person gives with the same rule and the same words.
#pragma once

#include "engine/ConnectionDescription.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace korvel::settings
{

using Connection = ConnectionDescription;

// The port of a server whose settings or profile name none.
constexpr std::int32_t DefaultPort = 12006;

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
