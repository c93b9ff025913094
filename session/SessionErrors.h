// The fixed texts of the session component's own refusals, raised as plain EDatabaseError. "%s" stands for
// the session name concerned.
#pragma once

#include <string>
#include <string_view>

namespace korvel::SessionError
{

inline constexpr std::string_view NameMissing = "Session name is missing.";
inline constexpr std::string_view NameNotValid = "Session name %s is not valid.";
inline constexpr std::string_view NameExists = "Session name %s already exists.";
inline constexpr std::string_view ActiveSession = "Cannot perform this operation on an active session.";
inline constexpr std::string_view InactiveSession = "Cannot perform this operation on an inactive session.";
inline constexpr std::string_view ActiveAutoSession =
    "Cannot perform this operation on the active auto-session.";
inline constexpr std::string_view OnlyActiveAutoSession =
    "The active auto-session can be the only active session.";
inline constexpr std::string_view AutoSessionExists = "This auto-session already exists.";
inline constexpr std::string_view NoAutoSessionNumber = "No auto-session number is free.";

// The text with its "%s" replaced by `name`.
inline std::string WithName(std::string_view text, std::string_view name)
{
    std::string message(text);
    if (auto at = message.find("%s"); at != std::string::npos)
        message.replace(at, 2, name);
    return message;
}

} // namespace korvel::SessionError
