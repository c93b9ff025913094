// The journal of the CLI's changes (journal/Journal.h). Every command that changes the server sends through
// Changes(session), so each request is recorded with this run's origin: the server, the profile, the login
// user and the program ("korvel-admin-cli", or "korvel-admin-cli (CALLER)" when the KORVEL_ADMIN_CALLER
// variable names who called it, as the Ansible modules do). The journal is opened by the first change only:
// read-only commands never touch it.
#pragma once

#include "operations/ServerChanges.h"

#include <optional>
#include <string>

namespace korvel::cli
{

// The profile this run logs in with (empty for none); set once the command line is read.
void SetJournalProfile(const std::string& profile);

// `run`: the changes belong to one apply of a state file.
operations::ServerChanges Changes(TKORVELSession& session, std::optional<journal::Run> run = std::nullopt);

} // namespace korvel::cli
