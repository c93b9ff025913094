#include "admin/common/BackgroundRunner.h"

#include "engine/EngineError.h"
#include "session/KORVELSession.h"

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
    if (++pending_ == 1 && OnBusyChanged)
        OnBusyChanged(true);
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
        Deliver(job.Generation, job.Token, job.Run(*job.Token));
        lock.lock();
        running_.reset();
    }
}

void BackgroundRunner::Deliver(int generation, std::shared_ptr<CancelToken> token,
                               std::function<void()> delivery)
{
    QMetaObject::invokeMethod(
        this,
        [this, generation, token = std::move(token), delivery = std::move(delivery)]
        {
            if (generation == generation_ && !token->Cancelled() && delivery)
                delivery();
            JobFinished();
        },
        Qt::QueuedConnection);
}

void BackgroundRunner::JobFinished()
{
    if (--pending_ == 0 && OnBusyChanged)
        OnBusyChanged(false);
}

void BackgroundRunner::Cancel()
{
    int dropped = 0;
    {
        std::lock_guard lock(mutex_);
        dropped = static_cast<int>(queue_.size());
        queue_.clear();
        if (running_)
            running_->Cancel();
    }
    ++generation_;
    pending_ -= dropped;
    if (dropped > 0 && pending_ == 0 && OnBusyChanged)
        OnBusyChanged(false);
}

} // namespace korvel::admin
