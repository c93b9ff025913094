// Every command of the window runs inside RunCommand (work on this thread) or SubmitCommand (work on the
// background runner): errors are caught and shown in the error box, except the silent ends (a cancelled
// prompt, "Operation aborted"; a command the person cancelled, which the wait indicator reports). Qt slots
// must not let exceptions escape into the event loop.
#pragma once

#include "admin/common/BackgroundRunner.h"

#include <QString>
#include <QWidget>

#include <exception>
#include <functional>
#include <memory>

namespace korvel::admin
{

// Returns true when the command finished without an error. The wait cursor shows while it runs.
bool RunCommand(QWidget* parent, const std::function<void()>& command);

// Called with the message of every failed command before its error box, and returns the message to show:
// the window uses it to return to its logged-out look when the server no longer knows its session. Must not
// raise. An empty handler (the default) shows the message as raised.
using CommandFailureHandler = std::function<QString(const QString& message)>;
void SetCommandFailureHandler(CommandFailureHandler handler);

// Told how each command that went to the server ended: null when it succeeded, else its error (before its
// box; never for a silent end). The window keeps its "Connection lost" section by it. Must not raise.
using CommandEndWatcher = std::function<void(std::exception_ptr error)>;
void SetCommandEndWatcher(CommandEndWatcher watcher);
void NoteCommandEnd(std::exception_ptr error);
// The server could not be reached, or the connection broke during the exchange.
bool IsConnectionLoss(std::exception_ptr error);

// Shows `error` in the error box, unless it is a silent end.
void ShowCommandError(QWidget* parent, std::exception_ptr error);

// A user command whose server work runs on the runner: `done` runs inside RunCommand on the user-interface
// thread; on failure `failed` (when given) puts the page back, then the error box shows the error. While
// logged out nothing runs and the error box says so (null is returned). `spec.Kind` is always User.
template <typename Result>
std::shared_ptr<Job> SubmitCommand(QWidget* page, BackgroundRunner& runner, JobSpec spec,
                                   std::function<Result(JobContext&)> work, std::function<void(Result)> done,
                                   BackgroundRunner::ErrorHandler failed = {});
std::shared_ptr<Job> SubmitCommand(QWidget* page, BackgroundRunner& runner, JobSpec spec,
                                   std::function<void(JobContext&)> work, std::function<void()> done,
                                   BackgroundRunner::ErrorHandler failed = {});

// The error handler of SubmitCommand.
BackgroundRunner::ErrorHandler CommandErrorHandler(QWidget* page, BackgroundRunner::ErrorHandler failed);
// A refused submission: the box says the window is not logged in.
std::shared_ptr<Job> RefuseInactive(QWidget* page, std::shared_ptr<Job> job);

template <typename Result>
std::shared_ptr<Job> SubmitCommand(QWidget* page, BackgroundRunner& runner, JobSpec spec,
                                   std::function<Result(JobContext&)> work, std::function<void(Result)> done,
                                   BackgroundRunner::ErrorHandler failed)
{
    spec.Kind = Priority::User;
    return RefuseInactive(page, runner.Submit<Result>(
                                    page, std::move(spec), std::move(work),
                                    [page, done = std::move(done)](Result result)
                                    {
                                        NoteCommandEnd(nullptr);
                                        RunCommand(page, [&] { done(std::move(result)); });
                                    },
                                    CommandErrorHandler(page, std::move(failed))));
}

} // namespace korvel::admin
