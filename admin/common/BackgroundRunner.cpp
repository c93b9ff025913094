#include "admin/common/BackgroundRunner.h"

#include "admin/common/OverrideCursor.h"
#include "session/KORVELSession.h"

namespace korvel::admin
{

BackgroundRunner::BackgroundRunner(TKORVELSession& session, QObject* parent) : QObject(parent)
{
    queue_ = std::make_unique<WorkQueue>(
        [this](std::function<void()> call)
        { QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection); },
        [&session] { return session.Active(); },
        [&session](const CallLimits& limits) { session.SetCallLimits(limits); });
    // The wait cursor lasts exactly as long as user commands do, however they end.
    queue_->SetCommandWatch(
        [this](bool running)
        {
            if (running)
                waitCursor_ = std::make_unique<OverrideCursor>(Qt::WaitCursor);
            else
                waitCursor_.reset();
            Q_EMIT commandRunningChanged(running);
        });
}

BackgroundRunner::~BackgroundRunner()
{
    queue_.reset(); // joins the worker; calls it posted to this object are discarded with it
}

std::shared_ptr<Job> BackgroundRunner::Submit(QObject* receiver, JobOptions options,
                                              std::function<void(JobContext&)> work,
                                              std::function<void()> done, ErrorHandler failed)
{
    QPointer<QObject> target(receiver);
    options.Run = [work = std::move(work), done = std::move(done),
                   target](JobContext& job) -> std::function<void()>
    {
        work(job);
        return [done, target]
        {
            if (target && done)
                done();
        };
    };
    return SubmitOptions(receiver, std::move(options), std::move(failed));
}

std::shared_ptr<Job> BackgroundRunner::SubmitOptions(QObject* receiver, JobOptions options,
                                                     ErrorHandler failed)
{
    QPointer<QObject> target(receiver);
    options.Failed = [failed = std::move(failed), target](std::exception_ptr error)
    {
        if (target && failed)
            failed(error);
    };
    return queue_->Submit(std::move(options));
}

bool BackgroundRunner::CancelCommands()
{
    const std::optional<RunningCommand> command = queue_->CurrentCommand();
    if (!command || !queue_->CancelCommands())
        return false;
    Q_EMIT cancelled(*command);
    return true;
}

} // namespace korvel::admin
