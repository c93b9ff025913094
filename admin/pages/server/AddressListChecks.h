// The Server page's checks of its address lists: entries that are not address patterns are marked in the list
// as they are typed, and before a save the user is asked about each warning (a bad entry, connected sessions
// the new configuration would refuse at their next login).
#pragma once

#include "engine/wire/AdminTypes.h"

#include <QStringList>

#include <functional>
#include <optional>

class QPlainTextEdit;
class QWidget;

namespace korvel
{
class TKORVELSession;
}

namespace korvel::admin
{

class BackgroundRunner;
class JobContext;
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
// unless the Status page read them under a minute ago) through the runner. When the configuration is no
// longer as `shown` (another administrator changed it since), it lists what changed and asks before
// overwriting; then it asks "... Save anyway?" for each warning. The questions are asked from the worker;
// after answers it reads again, and asks again about what moved meanwhile (and about new warnings). When the
// person answered Yes to all, `send` runs on the worker with the configuration read after the last answer,
// and `sent` gets its result on the user-interface thread (not at all after a No, a failure or a cancel).
void ConfirmConfigSave(QWidget* parent, const ConfigSaveSources& sources,
                       const std::optional<ServerConfig>& shown, const ServerConfig& changed,
                       std::function<ServerConfig(JobContext& job, const ServerConfig& current)> send,
                       std::function<void(const ServerConfig& stored)> sent);

// What differs between two configurations, one entry per field: "Max # of Connections was "100", now "50"".
QStringList DescribeConfigChanges(const ServerConfig& before, const ServerConfig& now);

} // namespace korvel::admin
