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
// The same for what a command does with the server's answer: its end (success, or the error it raises, such
// as a failure the answer carries) is reported to `runner` (BackgroundRunner::commandEnded).
bool RunCommand(QWidget* parent, BackgroundRunner& runner, const std::function<void()>& command);

// The server could not be reached, or the connection broke during the exchange.
bool IsConnectionLoss(std::exception_ptr error);

// Shows `error` in the error box, unless it is a silent end.
void ShowCommandError(QWidget* parent, std::exception_ptr error);
// The same for a command that went to the server through `runner`: the runner tells of its end
// first (BackgroundRunner::commandEnded), and its FailureMessage words the box.
void ShowCommandError(QWidget* parent, BackgroundRunner& runner, std::exception_ptr error);

// A user command whose server work runs on the runner: `done` runs inside RunCommand on the user-interface
// thread; on failure `failed` (when given) puts the page back, then the error box shows the error. While
// logged out nothing runs and the error box says so (null is returned). `options.Kind` is always User.
template <typename Result>
std::shared_ptr<Job> SubmitCommand(QWidget* page, BackgroundRunner& runner, JobOptions options,
                                   std::function<Result(JobContext&)> work, std::function<void(Result)> done,
                                   BackgroundRunner::ErrorHandler failed = {});
std::shared_ptr<Job> SubmitCommand(QWidget* page, BackgroundRunner& runner, JobOptions options,
                                   std::function<void(JobContext&)> work, std::function<void()> done,
                                   BackgroundRunner::ErrorHandler failed = {});

// The error handler of SubmitCommand.
BackgroundRunner::ErrorHandler CommandErrorHandler(QWidget* page, BackgroundRunner& runner,
                                                   BackgroundRunner::ErrorHandler failed);
// A refused submission: the box says the window is not logged in.
std::shared_ptr<Job> RefuseInactive(QWidget* page, std::shared_ptr<Job> job);

template <typename Result>
std::shared_ptr<Job> SubmitCommand(QWidget* page, BackgroundRunner& runner, JobOptions options,
                                   std::function<Result(JobContext&)> work, std::function<void(Result)> done,
                                   BackgroundRunner::ErrorHandler failed)
{
    options.Kind = Priority::User;
    return RefuseInactive(page, runner.Submit<Result>(
                                    page, std::move(options), std::move(work),
                                    [page, &runner, done = std::move(done)](Result result)
                                    { RunCommand(page, runner, [&] { done(std::move(result)); }); },
                                    CommandErrorHandler(page, runner, std::move(failed))));
}

} // namespace korvel::admin
