#include "admin/common/BackgroundRunner.h"

#include "admin/common/OverrideCursor.h"
#include "session/KORVELSession.h"

#include <QApplication>
#include <QEvent>

#include <algorithm>

namespace korvel::admin
{

BackgroundRunner::BackgroundRunner(TKORVELSession& session, QObject* parent) : QObject(parent)
{
    queue_ = std::make_unique<WorkQueue>(
        [this](std::function<void()> call)
        { QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection); },
        [&session] { return session.Active(); },
        [&session](const CallLimits& limits) { session.SetCallLimits(limits); });
    busyLook_.setSingleShot(true);
    busyLook_.setInterval(BusyLookAfterMs);
    connect(&busyLook_, &QTimer::timeout, this, [this] { ShowBusyLook(); });
    queue_->SetCommandWatch([this](bool running) { CommandsChanged(running); });
}

BackgroundRunner::~BackgroundRunner()
{
    ReleasePaints(); // a window whose repaint was held would otherwise never paint again
    queue_.reset();  // joins the worker; calls it posted to this object are discarded with it
}

// The busy look lasts exactly as long as user commands do, however they end.
void BackgroundRunner::CommandsChanged(bool running)
{
    if (running)
    {
        holdingPaints_ = true;
        QCoreApplication::instance()->installEventFilter(this);
        busyLook_.start();
    }
    else
    {
        busyLook_.stop();
        ReleasePaints();
        waitCursor_.reset();
    }
    Q_EMIT commandRunningChanged(running);
}

void BackgroundRunner::ShowBusyLook()
{
    ReleasePaints();
    // A box that waits for the person shows the arrow over any override cursor: the wait cursor comes once
    // it is answered, never on top of it.
    if (QApplication::overrideCursor() != nullptr)
        busyLook_.start();
    else
        waitCursor_ = std::make_unique<OverrideCursor>(Qt::WaitCursor);
}

// A window asks for its repaint once (Qt's update request), then waits for it: each one held is asked again.
bool BackgroundRunner::eventFilter(QObject* watched, QEvent* event)
{
    if (!holdingPaints_ || event->type() != QEvent::UpdateRequest || !watched->isWidgetType())
        return false;
    if (std::find(heldPaints_.begin(), heldPaints_.end(), watched) == heldPaints_.end())
        heldPaints_.emplace_back(watched);
    return true;
}

void BackgroundRunner::ReleasePaints()
{
    if (!holdingPaints_)
        return;
    holdingPaints_ = false;
    QCoreApplication::instance()->removeEventFilter(this);
    for (const QPointer<QObject>& window : heldPaints_)
        if (window)
            QCoreApplication::postEvent(window, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
    heldPaints_.clear();
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
