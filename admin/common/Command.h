// Every command of the window runs inside RunCommand: a wait cursor while it waits on the server, and every
// error caught and shown in the error box, except the silent cancellation ("Operation aborted").
// Qt slots must not let exceptions escape into the event loop.
#pragma once

#include <functional>

class QWidget;

namespace korvel::admin
{

// Returns true when the command finished without an error.
bool RunCommand(QWidget* parent, const std::function<void()>& command);

} // namespace korvel::admin
