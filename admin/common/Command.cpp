#include "admin/common/Command.h"

#include "admin/common/Dialogs.h"
#include "engine/EngineError.h"

#include <QApplication>

#include <exception>

namespace korvel::admin
{

namespace
{

class WaitCursor
{
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

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
    QString message;
    {
        WaitCursor cursor;
        try
        {
            command();
            return true;
        }
        catch (const EAbort&)
        {
            return false;
        }
        catch (const std::exception& error)
        {
            message = QString::fromStdString(error.what());
        }
        catch (...)
        {
            message = "An unexpected error occurred";
        }
        if (FailureHandler())
            message = FailureHandler()(message);
    }
    // The box is shown once the wait cursor is gone.
    CurrentDialogs().ShowError(parent, message);
    return false;
}

} // namespace korvel::admin
