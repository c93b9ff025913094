// The Server page's checks of its address lists: entries that are not address patterns are marked in the list
// as they are typed, and before a save the user is asked about each warning (a bad entry, connected sessions
// the new configuration would refuse at their next login).
#pragma once

#include "engine/wire/AdminTypes.h"

#include <functional>

class QPlainTextEdit;
class QWidget;

namespace korvel
{
class TKORVELSession;
}

namespace korvel::admin
{

class BackgroundRunner;
class RecentSessionWalk;

// Where the checks before a save read what the server holds.
struct ConfigSaveSources
{
    TKORVELSession& Session;
    BackgroundRunner& Runner;             // every request goes through it
    const RecentSessionWalk& SessionWalk; // used instead of asking for every session when fresh
};

// Underlines, from now on, every line of `memo` that is not a recognised address pattern.
void MarkBadAddressLines(QPlainTextEdit* memo);

// Reads the server's configuration (and, when a list changed or logins become denied, the sessions' addresses
// unless the Status page read them under a minute ago) through the runner, asks "... Save anyway?" for each
// warning, and calls `confirmed` when the person answered Yes to all (not at all after a No, a failure or a
// cancel).
void ConfirmConfigSave(QWidget* parent, const ConfigSaveSources& sources, const ServerConfig& changed,
                       std::function<void()> confirmed);

} // namespace korvel::admin
