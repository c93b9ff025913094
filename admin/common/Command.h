// Every command of the window runs inside RunCommand: a wait cursor while it waits on the server, and every
// error caught and shown in the error box, except the silent cancellation ("Operation aborted").
// Qt slots must not let exceptions escape into the event loop.
#pragma once

#include <QString>

#include "admin/common/BackgroundRunner.h"

#include <exception>
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

// Shows `error` in the error box, unless it is the silent cancellation.
void ShowCommandError(QWidget* parent, std::exception_ptr error);

// A command whose server work runs on the background runner: the wait cursor stays until the result is back,
// `done` runs inside RunCommand on the user-interface thread, and an error goes to the error box. While the
// session is inactive nothing runs and the error box says so. Returns whether the work was taken.
template <typename Result>
bool SubmitCommand(QWidget* parent, BackgroundRunner& runner, std::function<Result(CancelToken&)> work,
                   std::function<void(Result)> done);
bool SubmitCommand(QWidget* parent, BackgroundRunner& runner, std::function<void(CancelToken&)> work,
                   std::function<void()> done);

// The wait cursor of a command submitted to the runner, from submission to delivery.
void BeginWaitCursor();
void EndWaitCursor();
bool RefuseInactive(QWidget* parent);

template <typename Result>
bool SubmitCommand(QWidget* parent, BackgroundRunner& runner, std::function<Result(CancelToken&)> work,
                   std::function<void(Result)> done)
{
    BeginWaitCursor();
    const bool taken = runner.Submit<Result>(
        Priority::User, std::move(work),
        [parent, done = std::move(done)](Result result)
        {
            EndWaitCursor();
            RunCommand(parent, [&] { done(std::move(result)); });
        },
        [parent](std::exception_ptr error)
        {
            EndWaitCursor();
            ShowCommandError(parent, error);
        });
    return taken || RefuseInactive(parent);
}

} // namespace korvel::admin
