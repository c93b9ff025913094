#include "admin/common/BackgroundRunner.h"

#include "engine/EngineError.h"
#include "session/KORVELSession.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <algorithm>

namespace korvel::admin
{

void CancelToken::Check() const
{
    if (cancelled_)
        throw EAbort();
    if (sessionActive_ && !sessionActive_())
        throw SessionInactiveError();
}

bool IsAbort(std::exception_ptr error)
{
    try
    {
        std::rethrow_exception(error);
    }
    catch (const EAbort&)
    {
        return true;
    }
    catch (...)
    {
        return false;
    }
}

BackgroundRunner::BackgroundRunner(TKORVELSession& session, QObject* parent)
    : QObject(parent), session_(session)
{
    worker_ = std::thread([this] { WorkerLoop(); });
}

BackgroundRunner::~BackgroundRunner()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        queue_.clear();
        if (running_)
            running_->Cancel();
    }
    wake_.notify_one();
    worker_.join();
    // Deliveries still posted to this object are discarded with it.
}

bool BackgroundRunner::Submit(Priority priority, std::function<void(CancelToken&)> work,
                              std::function<void()> onDone, ErrorHandler onError)
{
    return Enqueue(priority,
                   [work = std::move(work), onDone = std::move(onDone),
                    onError = std::move(onError)](CancelToken& token) -> std::function<void()>
                   {
                       try
                       {
                           token.Check(); // refuses a job whose session went inactive while it waited
                           work(token);
                           return onDone;
                       }
                       catch (...)
                       {
                           return [onError, error = std::current_exception()] { onError(error); };
                       }
                   });
}

void BackgroundRunner::RunAndWait(std::function<void()> call)
{
    struct Wait
    {
        QEventLoop* Loop = nullptr; // touched on this thread only, like the flags
        bool Finished = false;
        bool Delivered = false;
        std::exception_ptr Error;
    };
    auto wait = std::make_shared<Wait>();
    // Posted once the last copy of the call is gone on the worker (it ran, or Cancel() dropped it unrun):
    // only then is nothing there still using what the call refers to on the caller's stack.
    std::shared_ptr<void> released(nullptr,
                                   [wait](void*)
                                   {
                                       QMetaObject::invokeMethod(
                                           QCoreApplication::instance(),
                                           [wait]
                                           {
                                               wait->Finished = true;
                                               if (wait->Loop)
                                                   wait->Loop->quit();
                                           },
                                           Qt::QueuedConnection);
                                   });
    const bool taken = Submit(
        Priority::User, [call = std::move(call), released = std::move(released)](CancelToken&) { call(); },
        [wait] { wait->Delivered = true; },
        [wait](std::exception_ptr error)
        {
            wait->Delivered = true;
            wait->Error = error;
        });
    if (!taken)
        throw SessionInactiveError();
    QEventLoop loop;
    wait->Loop = &loop;
    while (!wait->Finished)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    wait->Loop = nullptr;
    if (wait->Error)
        std::rethrow_exception(wait->Error);
    if (!wait->Delivered)
        throw EAbort();
}

bool BackgroundRunner::Enqueue(Priority priority, std::function<std::function<void()>(CancelToken&)> run)
{
    if (!session_.Active())
        return false;
    if (priority == Priority::Background && Busy())
        return false;
    auto token = std::make_shared<CancelToken>([this] { return session_.Active(); });
    {
        std::lock_guard lock(mutex_);
        // A user command waits only for other user commands, not for background work.
        auto position =
            priority == Priority::User
                ? std::find_if(queue_.begin(), queue_.end(),
                               [](const Job& job) { return job.JobPriority == Priority::Background; })
                : queue_.end();
        queue_.insert(position, Job{priority, generation_, std::move(run), token});
        // ... nor for a running background job, which stops at its next request and delivers nothing.
        if (priority == Priority::User && running_ && runningPriority_ == Priority::Background)
            running_->Cancel();
    }
    wake_.notify_one();
    CountPending(priority, +1);
    return true;
}

void BackgroundRunner::WorkerLoop()
{
    std::unique_lock lock(mutex_);
    for (;;)
    {
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (stopping_)
            return;
        Job job = std::move(queue_.front());
        queue_.pop_front();
        running_ = job.Token;
        runningPriority_ = job.JobPriority;
        lock.unlock();
        Deliver(job.JobPriority, job.Generation, job.Run(*job.Token));
        lock.lock();
        running_.reset();
    }
}

void BackgroundRunner::Deliver(Priority priority, int generation, std::function<void()> delivery)
{
    QMetaObject::invokeMethod(
        this,
        [this, priority, generation, delivery = std::move(delivery)]
        {
            // Cancel() drops deliveries by changing the generation; a pre-empted job still reports its
            // EAbort.
            if (generation == generation_ && delivery)
                delivery();
            CountPending(priority, -1);
        },
        Qt::QueuedConnection);
}

void BackgroundRunner::CountPending(Priority priority, int change)
{
    const bool wasRunning = CommandRunning();
    pending_[int(priority)] += change;
    if (CommandRunning() == wasRunning)
        return;
    // A watcher may submit or cancel: it works on a copy.
    auto watchers = commandWatchers_;
    for (auto& [receiver, changed] : watchers)
        if (receiver)
            changed(CommandRunning());
}

void BackgroundRunner::WatchCommands(QObject* receiver, std::function<void(bool running)> changed)
{
    std::erase_if(commandWatchers_, [](const auto& watcher) { return watcher.first.isNull(); });
    commandWatchers_.emplace_back(receiver, std::move(changed));
}

void BackgroundRunner::Cancel()
{
    int dropped[2] = {0, 0};
    {
        std::lock_guard lock(mutex_);
        for (const Job& job : queue_)
            ++dropped[int(job.JobPriority)];
        queue_.clear();
        if (running_)
            running_->Cancel();
    }
    ++generation_;
    CountPending(Priority::Background, -dropped[int(Priority::Background)]);
    CountPending(Priority::User, -dropped[int(Priority::User)]);
}

} // namespace korvel::admin
