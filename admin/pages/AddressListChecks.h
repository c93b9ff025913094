// The Server page's checks of its address lists: entries that are not address patterns are marked in the list
// as they are typed, and before a save the user is asked about each warning (a bad entry, connected sessions
// the new configuration would refuse at their next login).
#pragma once

#include "engine/wire/AdminTypes.h"

class QPlainTextEdit;
class QWidget;

namespace korvel
{
class TKORVELSession;
}

namespace korvel::admin
{

// Underlines, from now on, every line of `memo` that is not a recognised address pattern.
void MarkBadAddressLines(QPlainTextEdit* memo);

// Reads the server's configuration (and its sessions when a list changed or logins become denied) and asks
// "... Save anyway?" for each warning. False when the user answered No to one.
bool ConfirmConfigSave(QWidget* parent, TKORVELSession& session, const ServerConfig& changed);

} // namespace korvel::admin
