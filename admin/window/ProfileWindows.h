// More than one server at once: each window is a process of its own, opened on one profile. File > New Window
// starts another korvel-admin with --profile NAME; that window logs in to the profile at start and keeps its
// place on screen in a settings section of its own.
#pragma once

#include <QString>

#include <optional>
#include <string>

class QWidget;

namespace korvel::admin
{

// The profile `korvel-admin --profile NAME` (or --profile=NAME) names; nothing when the option is absent.
// Raises std::invalid_argument, saying what is wrong, when the name is missing or no such profile exists.
std::optional<std::string> StartProfileOf(int argc, const char* const* argv);

// The profile for a new window: `chosen` when it is one, else the person picks one (nothing when cancelled or
// there are no profiles).
std::optional<std::string> ProfileForNewWindow(QWidget* parent, const std::string& chosen);
// Starts another copy of this program on `profile`; raises std::runtime_error when it cannot be started.
void StartWindowOn(const std::string& profile);

} // namespace korvel::admin
