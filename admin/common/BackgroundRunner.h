// BackgroundRunner: the one road from the window to the server. Every session call of the window runs here,
// on one worker thread (see WorkQueue for the rules: one job at a time, user commands first, each job with
// its own cancel that cuts its call off at once); the user-interface thread never calls the session and never
// takes the session lock. Results and errors come back once on the user-interface thread, to a receiver that
// must still exist. While a user command runs, the wait indicator offers the person a Cancel; a command that
// lasts longer than a moment also shows the wait cursor.
//
// Use:
//   runner.Submit<int>(this, {.Waiting = "Counting"},
//       [&session](JobContext& job) { job.Check(); return session.GetServerSessionCount(); },
//       [this](int count) { ... on the UI thread ... },
//       [this](std::exception_ptr error) { ... on the UI thread ... });
#pragma once

#include "admin/common/WorkQueue.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace korvel
{
class TKORVELSession;
}

namespace korvel::admin
{

class OverrideCursor;

class BackgroundRunner : public QObject
{
    Q_OBJECT

public:
    using ErrorHandler = std::function<void(std::exception_ptr error)>;

    // Jobs that need a login ask `session` whether it is active, and each job's limits are handed to it.
    explicit BackgroundRunner(TKORVELSession& session, QObject* parent = nullptr);
    // Cancels everything, waits for the worker to let go, and delivers nothing more.
    ~BackgroundRunner() override;
    BackgroundRunner(const BackgroundRunner&) = delete;
    BackgroundRunner& operator=(const BackgroundRunner&) = delete;

    // Queues `work`; `done(result)` or `failed(error)` runs later on this object's thread, once, unless
    // `receiver` is gone by then. Null when refused (see WorkQueue::Submit).
    template <typename Result>
    std::shared_ptr<Job> Submit(QObject* receiver, JobOptions options,
                                std::function<Result(JobContext&)> work, std::function<void(Result)> done,
                                ErrorHandler failed);
    // As above for work without a result.
    std::shared_ptr<Job> Submit(QObject* receiver, JobOptions options, std::function<void(JobContext&)> work,
                                std::function<void()> done, ErrorHandler failed);

    // Ends every job; none delivers anything (logout, exit).
    void CancelAll() { queue_->CancelAll(); }
    // The person's Cancel (see WorkQueue::CancelCommands); `cancelled` tells of it.
    bool CancelCommands();
    bool Busy() const { return queue_->Busy(); }
    bool CommandRunning() const { return queue_->CommandRunning(); }
    std::optional<RunningCommand> CurrentCommand() const { return queue_->CurrentCommand(); }
    // See WorkQueue::AskThroughRunningCommand (on the worker only).
    bool AskThroughRunningCommand(std::function<bool()> ask)
    {
        return queue_->AskThroughRunningCommand(std::move(ask));
    }
    // The end of a user command that went to the server (null: it succeeded), told by Command; see
    // `commandEnded`.
    void ReportCommandEnd(std::exception_ptr error) { Q_EMIT commandEnded(error); }
    // What the window says after a failed command: it may replace the message before its box (the
    // lost-session policy). Must not raise; none keeps the message.
    void SetFailureMessage(std::function<QString(const QString& message)> rewrite)
    {
        failureMessage_ = std::move(rewrite);
    }
    QString FailureMessage(const QString& message) const
    {
        return failureMessage_ ? failureMessage_(message) : message;
    }
    // What the pages tell the window about the connection (the status bar's sections); see the signals.
    void ReportRefreshed(const QDateTime& when, double exchangeMs) { Q_EMIT refreshed(when, exchangeMs); }
    void ReportServerLost(const QString& message) { Q_EMIT serverLost(message); }

    // How long a user command runs before the screen shows it busy: the buttons it greys and the wait cursor.
    // One that ends sooner is seen only by its result, without a flash of greyed buttons.
    static constexpr int BusyLookAfterMs = 100;

Q_SIGNALS:
    // CommandRunning() changed. The window and several pages listen, in the order they connected.
    void commandRunningChanged(bool running);
    // The person cancelled `command`.
    void cancelled(const korvel::admin::RunningCommand& command);
    // A user command that went to the server ended; `error` is null when it succeeded.
    void commandEnded(std::exception_ptr error);
    // A refresh succeeded at `when`; its last request took `exchangeMs`.
    void refreshed(const QDateTime& when, double exchangeMs);
    // A repeated refresh found the server gone: one status-bar message, no error box.
    void serverLost(const QString& message);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::shared_ptr<Job> SubmitOptions(QObject* receiver, JobOptions options, ErrorHandler failed);
    void CommandsChanged(bool running);
    void ShowBusyLook();
    void ReleasePaints();

    // Until BusyLookAfterMs into a user command, the windows' repaints wait (held here) and so does the wait
    // cursor; the commands' state changes at once, so nothing that would conflict can be started.
    QTimer busyLook_;
    bool holdingPaints_ = false;
    std::vector<QPointer<QObject>> heldPaints_;
    std::unique_ptr<OverrideCursor> waitCursor_; // while a user command that lasts runs
    std::function<QString(const QString&)> failureMessage_;
    std::unique_ptr<WorkQueue> queue_; // last: its worker may post to this object until it is gone
};

template <typename Result>
std::shared_ptr<Job> BackgroundRunner::Submit(QObject* receiver, JobOptions options,
                                              std::function<Result(JobContext&)> work,
                                              std::function<void(Result)> done, ErrorHandler failed)
{
    QPointer<QObject> target(receiver);
    options.Run = [work = std::move(work), done = std::move(done),
                   target](JobContext& job) -> std::function<void()>
    {
        auto result = std::make_shared<Result>(work(job));
        return [done, result, target]
        {
            if (target)
                done(std::move(*result));
        };
    };
    return SubmitOptions(receiver, std::move(options), std::move(failed));
}

} // namespace korvel::admin
