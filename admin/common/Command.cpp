#include "admin/common/Command.h"

#include "admin/common/Dialogs.h"
#include "admin/common/OverrideCursor.h"
#include "admin/common/WorkQueue.h"
#include "engine/wire/EngineError.h"
#include "engine/wire/ErrorCodes.h"

#include <QCoreApplication>

#include <exception>
#include <optional>

namespace korvel::admin
{

bool IsConnectionLoss(std::exception_ptr error)
{
    try
    {
        std::rethrow_exception(error);
    }
    catch (const EKORVELEngineError& failure)
    {
        return failure.ErrorCode == KORVEL_REMOTECONNECT || failure.ErrorCode == KORVEL_REMOTECOMMLOST;
    }
    catch (...)
    {
        return false;
    }
}

namespace
{

// Runs `command` under the wait cursor; its error, if any.
std::exception_ptr Run(const std::function<void()>& command)
{
    OverrideCursor cursor(Qt::WaitCursor);
    try
    {
        command();
        return nullptr;
    }
    catch (...)
    {
        return std::current_exception();
    }
}

} // namespace

bool RunCommand(QWidget* parent, const std::function<void()>& command)
{
    // The box is shown once the wait cursor is gone.
    const std::exception_ptr error = Run(command);
    if (error)
        ShowCommandError(parent, error);
    return !error;
}

bool RunCommand(QWidget* parent, BackgroundRunner& runner, const std::function<void()>& command)
{
    const std::exception_ptr error = Run(command);
    if (error)
        ShowCommandError(parent, runner, error);
    else
        runner.ReportCommandEnd(nullptr);
    return !error;
}

namespace
{

// The message of a failure, or nothing for a silent end.
std::optional<QString> MessageOf(std::exception_ptr error)
{
    try
    {
        std::rethrow_exception(error);
    }
    catch (const EAbort&)
    {
        return std::nullopt;
    }
    catch (const SessionInactiveError&)
    {
        // The runner's core has no Qt: its message is translated here.
        return QCoreApplication::translate("Command", "Not logged in to a server");
    }
    catch (const std::exception& failure)
    {
        return QString::fromStdString(failure.what());
    }
    catch (...)
    {
        return QCoreApplication::translate("Command", "An unexpected error occurred");
    }
}

} // namespace

void ShowCommandError(QWidget* parent, std::exception_ptr error)
{
    if (const std::optional<QString> message = MessageOf(error))
        DialogsFor(parent).ShowError(parent, *message);
}

void ShowCommandError(QWidget* parent, BackgroundRunner& runner, std::exception_ptr error)
{
    std::optional<QString> message = MessageOf(error);
    if (!message)
        return;
    runner.ReportCommandEnd(error);
    DialogsFor(parent).ShowError(parent, runner.FailureMessage(*message));
}

std::shared_ptr<Job> SubmitCommand(QWidget* page, BackgroundRunner& runner, JobOptions options,
                                   std::function<void(JobContext&)> work, std::function<void()> done,
                                   BackgroundRunner::ErrorHandler failed)
{
    options.Kind = Priority::User;
    return RefuseInactive(page,
                          runner.Submit(
                              page, std::move(options), std::move(work),
                              [page, &runner, done = std::move(done)] { RunCommand(page, runner, done); },
                              CommandErrorHandler(page, runner, std::move(failed))));
}

BackgroundRunner::ErrorHandler CommandErrorHandler(QWidget* page, BackgroundRunner& runner,
                                                   BackgroundRunner::ErrorHandler failed)
{
    return [page, &runner, failed = std::move(failed)](std::exception_ptr error)
    {
        if (failed)
            RunCommand(page, [&] { failed(error); });
        ShowCommandError(page, runner, error);
    };
}

std::shared_ptr<Job> RefuseInactive(QWidget* page, std::shared_ptr<Job> job)
{
    if (!job)
        DialogsFor(page).ShowError(page, QString::fromUtf8(SessionInactiveError().what()));
    return job;
}

} // namespace korvel::admin
