// Questions before a risky change. On a terminal the user answers; without one the command needs --force and
// otherwise stops with a usage error (exit status 2) before anything is changed. Warnings go to stderr, so a
// command's output stays clean.
#pragma once

#include "operations/AccountGuards.h"

#include <string>

namespace korvel
{
class TKORVELSession;
}

namespace korvel::cli
{

// Prints `warning` on stderr and asks `question` ([y/N]) on the terminal. Returns when the change may go
// ahead; raises UsageError when declined or when there is no terminal and `force` is false.
void Confirm(const std::string& warning, const std::string& question, bool force);

// Before a deletion: asks `question` on the terminal and raises UsageError when declined. Without a terminal,
// or with `force`, it goes ahead without asking, so scripts delete as they always did.
void ConfirmOnTerminal(const std::string& question, bool force);

// Asks `question` on the terminal; true for yes, or at once when `force`; false without a terminal.
bool AskYesNo(const std::string& question, bool force);

// Before deleting `user` or clearing its administrator flag: refuses (a runtime error, exit status 1) for the
// last administrator, and asks by Confirm for the account the command is logged in with. True when the
// person was asked (and said yes): what is sent must then be read again.
bool GuardAccountChange(TKORVELSession& session, const std::string& user, operations::AccountChange change,
                        bool force);

} // namespace korvel::cli
