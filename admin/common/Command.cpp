#include "admin/common/Command.h"

#include "admin/common/Dialogs.h"
#include "admin/common/OverrideCursor.h"
#include "engine/EngineError.h"
#include "engine/wire/ErrorCodes.h"

#include <exception>

namespace korvel::admin
{

namespace
{

CommandFailureHandler& FailureHandler()
{
    static CommandFailureHandler handler;
    return handler;
}

CommandEndWatcher& EndWatcher()
{
    static CommandEndWatcher watcher;
    return watcher;
}

} // namespace

void SetCommandEndWatcher(CommandEndWatcher watcher)
{
    EndWatcher() = std::move(watcher);
}

void NoteCommandEnd(std::exception_ptr error)
{
    if (EndWatcher())
        EndWatcher()(error);
}

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

void SetCommandFailureHandler(CommandFailureHandler handler)
{
    FailureHandler() = std::move(handler);
}

bool RunCommand(QWidget* parent, const std::function<void()>& command)
{
    std::exception_ptr error;
    {
        OverrideCursor cursor(Qt::WaitCursor);
        try
        {
            command();
            return true;
        }
        catch (...)
        {
            error = std::current_exception();
        }
    }
    // The box is shown once the wait cursor is gone.
    ShowCommandError(parent, error);
    return false;
}

void ShowCommandError(QWidget* parent, std::exception_ptr error)
{
    QString message;
    try
    {
        std::rethrow_exception(error);
    }
    catch (const EAbort&)
    {
        return;
    }
    catch (const std::exception& failure)
    {
        message = QString::fromStdString(failure.what());
    }
    catch (...)
    {
        message = "An unexpected error occurred";
    }
    NoteCommandEnd(error);
    if (FailureHandler())
        message = FailureHandler()(message);
    CurrentDialogs().ShowError(parent, message);
}

std::shared_ptr<Job> SubmitCommand(QWidget* page, BackgroundRunner& runner, JobSpec spec,
                                   std::function<void(JobContext&)> work, std::function<void()> done,
                                   BackgroundRunner::ErrorHandler failed)
{
    spec.Kind = Priority::User;
    return RefuseInactive(page, runner.Submit(
                                    page, std::move(spec), std::move(work),
                                    [page, done = std::move(done)]
                                    {
                                        NoteCommandEnd(nullptr);
                                        RunCommand(page, done);
                                    },
                                    CommandErrorHandler(page, std::move(failed))));
}

BackgroundRunner::ErrorHandler CommandErrorHandler(QWidget* page, BackgroundRunner::ErrorHandler failed)
{
    return [page, failed = std::move(failed)](std::exception_ptr error)
    {
        if (failed)
            RunCommand(page, [&] { failed(error); });
        ShowCommandError(page, error);
    };
}

std::shared_ptr<Job> RefuseInactive(QWidget* page, std::shared_ptr<Job> job)
{
    if (!job)
        CurrentDialogs().ShowError(page, QString::fromUtf8(SessionInactiveError().what()));
    return job;
}

} // namespace korvel::admin
