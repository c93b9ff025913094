// Every command of the window runs inside RunCommand: a wait cursor while it waits on the server, and every
// error caught and shown in the error box, except the silent cancellation ("Operation aborted").
// Qt slots must not let exceptions escape into the event loop.
#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace korvel::admin
{

// Returns true when the command finished without an error.
bool RunCommand(QWidget* parent, const std::function<void()>& command);

// Called with the message of every failed command before its error box, and returns the message to show:
// the window uses it to return to its logged-out look when the server no longer knows its session. Must not
// raise. An empty handler (the default) shows the message as raised.
using CommandFailureHandler = std::function<QString(const QString& message)>;
void SetCommandFailureHandler(CommandFailureHandler handler);

} // namespace korvel::admin
