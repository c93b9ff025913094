// `--profile NAME`: a saved connection profile supplies the connection options and the user name; any of
// them given on the command line wins. With "keep password" and a D-Bus session bus, the password comes from
// the keyring.
#pragma once

#include "cli/Connection.h"

#include <CLI/CLI.hpp>

namespace korvel::cli
{

void AddProfileOption(CLI::App& app, GlobalOptions& options);

// Fills the options not given on `app`'s command line from the named profile (nothing without --profile).
// Raises UsageError when there is no such profile.
void ApplyProfile(const CLI::App& app, GlobalOptions& options);

} // namespace korvel::cli
