// A change whose outcome is unknown: its request was sent (or may have been) and the reply never came,
// because our own deadline or cancel cut the call short. It is neither failed nor done: the journal says
// "unknown", and the person is told to check before retrying.
#pragma once

#include <stdexcept>

namespace korvel::operations
{

// What is said of a change whose outcome is unknown.
inline constexpr const char* MayHaveBeenMade = "the change may have been made; check before retrying";

// A change sent whose reply never came: it may have reached the server and been made, so it is neither
// failed nor done. Its text says so; the failure that cut it short is nested in it (std::rethrow_if_nested).
class OutcomeUnknown : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

} // namespace korvel::operations
