#include "admin/common/Command.h"

#include "admin/common/Dialogs.h"
#include "admin/common/OverrideCursor.h"
#include "engine/EngineError.h"

#include <QApplication>

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

} // namespace

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
    if (FailureHandler())
        message = FailureHandler()(message);
    CurrentDialogs().ShowError(parent, message);
}

bool SubmitCommand(QWidget* parent, BackgroundRunner& runner, std::function<void(CancelToken&)> work,
                   std::function<void()> done)
{
    return SubmitCommand<bool>(
        parent, runner,
        [work = std::move(work)](CancelToken& token)
        {
            work(token);
            return true;
        },
        [done = std::move(done)](bool) { done(); });
}

void BeginWaitCursor()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void EndWaitCursor()
{
    QApplication::restoreOverrideCursor();
}

bool RefuseInactive(QWidget* parent)
{
    EndWaitCursor();
    CurrentDialogs().ShowError(parent, QString::fromUtf8(SessionInactiveError().what()));
    return false;
}

} // namespace korvel::admin
