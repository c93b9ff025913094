#include "admin/common/WorkQueue.h"

#include "engine/Transport.h"
#include "operations/OutcomeUnknown.h"

#include <algorithm>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <vector>

namespace korvel::admin
{

// Why a job ended before its work was through.
enum class EndReason
{
    None,
    Preempted,
    CancelledByPerson
};

struct JobState
{
    explicit JobState(JobOptions options)
        : Options(std::move(options)), Queued(std::chrono::steady_clock::now())
    {
    }

    JobOptions Options;
    CancelToken Token;
    // Both on the owner's thread: when it was queued or the person last answered a question for it, and
    // whether a question for it is open.
    std::chrono::steady_clock::time_point Queued;
    bool Asking = false;
    std::atomic<bool> Dropped = false; // nothing more is delivered
    std::atomic<EndReason> Reason = EndReason::None;
    bool Pending = true; // owner's thread: until its outcome was handled
};

namespace
{

template <typename Error> bool Is(std::exception_ptr error)
{
    try
    {
        std::rethrow_exception(error);
    }
    catch (const Error&)
    {
        return true;
    }
    catch (...)
    {
        return false;
    }
}

std::exception_ptr ErrorFor(EndReason reason, std::exception_ptr error)
{
    switch (reason)
    {
    case EndReason::Preempted:
        return std::make_exception_ptr(JobPreempted());
    case EndReason::CancelledByPerson:
        // A change the cancel cut short may have been made: the person is told so, not silenced.
        if (Is<operations::OutcomeUnknown>(error))
            return error;
        return std::make_exception_ptr(CommandCancelled());
    case EndReason::None:
        break;
    }
    return error;
}

} // namespace

bool IsAbort(std::exception_ptr error)
{
    return Is<EAbort>(error);
}

bool IsPreempted(std::exception_ptr error)
{
    return Is<JobPreempted>(error);
}

bool IsCancelledByPerson(std::exception_ptr error)
{
    return Is<CommandCancelled>(error);
}

// --- JobContext -------------------------------------------------------------------------------------------

void JobContext::Check() const
{
    if (job_->Dropped || job_->Token.Cancelled())
        throw EAbort();
    if (job_->Options.NeedsLogin && queue_.sessionActive_ && !queue_.sessionActive_())
        throw SessionInactiveError();
}

void JobContext::Post(std::function<void()> onOwnerThread) const
{
    queue_.post_(
        [job = job_, onOwnerThread = std::move(onOwnerThread)]
        {
            if (!job->Dropped && job->Reason == EndReason::None && !job->Token.Cancelled())
                onOwnerThread();
        });
}

bool JobContext::AskOwner(std::function<bool()> ask) const
{
    return queue_.AskOwner(job_, std::move(ask));
}

CallLimits JobContext::Limits() const
{
    return CallLimits{.Interrupt = job_->Token.Interrupt()};
}

// --- Job --------------------------------------------------------------------------------------------------

void Job::Cancel()
{
    state_->Dropped = true;
    state_->Token.Cancel();
}

void Job::Drop()
{
    state_->Dropped = true;
}

bool Job::Pending() const
{
    return state_->Pending && !state_->Dropped;
}

// --- WorkQueue --------------------------------------------------------------------------------------------

WorkQueue::WorkQueue(Poster post, std::function<bool()> sessionActive,
                     std::function<void(const CallLimits&)> useLimits)
    : post_(std::move(post)), sessionActive_(std::move(sessionActive)), useLimits_(std::move(useLimits))
{
    worker_ = std::thread([this] { WorkerLoop(); });
}

WorkQueue::~WorkQueue()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        for (const auto& job : queue_)
            job->Dropped = true;
        queue_.clear();
        if (running_)
        {
            running_->Dropped = true;
            running_->Token.Cancel();
        }
    }
    wake_.notify_one();
    worker_.join();
}

std::shared_ptr<Job> WorkQueue::Submit(JobOptions options)
{
    const Priority kind = options.Kind;
    if (options.NeedsLogin && sessionActive_ && !sessionActive_())
        return nullptr;
    if (kind == Priority::Background && Busy())
        return nullptr;
    auto job = std::make_shared<JobState>(std::move(options));
    std::vector<std::shared_ptr<JobState>> preempted;
    {
        std::lock_guard lock(mutex_);
        if (kind == Priority::User)
        {
            // Background work makes way: the running job's call is cut off, the queued ones never start.
            auto background = std::stable_partition(queue_.begin(), queue_.end(),
                                                    [](const auto& queued)
                                                    { return queued->Options.Kind == Priority::User; });
            preempted.assign(background, queue_.end());
            queue_.erase(background, queue_.end());
            if (running_ && running_->Options.Kind == Priority::Background)
            {
                running_->Reason = EndReason::Preempted;
                running_->Token.Cancel();
            }
        }
        queue_.push_back(job);
    }
    wake_.notify_one();
    CountPending(kind, +1);
    for (const auto& ended : preempted)
        EndQueued(ended, std::make_exception_ptr(JobPreempted()));
    return std::make_shared<Job>(job);
}

void WorkQueue::CancelAll()
{
    std::deque<std::shared_ptr<JobState>> dropped;
    {
        std::lock_guard lock(mutex_);
        dropped.swap(queue_);
        if (running_)
        {
            running_->Dropped = true;
            running_->Token.Cancel();
        }
    }
    for (const auto& job : dropped)
    {
        job->Dropped = true;
        EndQueued(job, nullptr);
    }
}

bool WorkQueue::CancelCommands()
{
    std::vector<std::shared_ptr<JobState>> cancelled;
    bool wasRunning = false;
    {
        std::lock_guard lock(mutex_);
        auto commands =
            std::stable_partition(queue_.begin(), queue_.end(),
                                  [](const auto& queued) { return queued->Options.Kind != Priority::User; });
        cancelled.assign(commands, queue_.end());
        queue_.erase(commands, queue_.end());
        if (running_ && running_->Options.Kind == Priority::User)
        {
            running_->Reason = EndReason::CancelledByPerson;
            running_->Token.Cancel();
            wasRunning = true;
        }
    }
    for (const auto& job : cancelled)
        EndQueued(job, std::make_exception_ptr(CommandCancelled()));
    return wasRunning || !cancelled.empty();
}

std::optional<RunningCommand> WorkQueue::CurrentCommand() const
{
    std::lock_guard lock(mutex_);
    std::shared_ptr<JobState> command;
    if (running_ && running_->Options.Kind == Priority::User && !running_->Dropped)
        command = running_;
    else if (auto queued = std::find_if(queue_.begin(), queue_.end(),
                                        [](const auto& job) { return job->Options.Kind == Priority::User; });
             queued != queue_.end())
        command = *queued;
    if (!command)
        return std::nullopt;
    // While the person answers a question (the login prompt) nothing waits for the server.
    const auto since = command->Asking ? std::chrono::steady_clock::now() : command->Queued;
    return RunningCommand{command->Options.Waiting, command->Options.Changes, since};
}

bool WorkQueue::AskThroughRunningCommand(std::function<bool()> ask)
{
    std::shared_ptr<JobState> command;
    {
        std::lock_guard lock(mutex_);
        if (running_ && running_->Options.Kind == Priority::User && !running_->Dropped)
            command = running_;
    }
    return command && AskOwner(command, std::move(ask));
}

void WorkQueue::WorkerLoop()
{
    std::unique_lock lock(mutex_);
    for (;;)
    {
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (stopping_)
            return;
        std::shared_ptr<JobState> job = std::move(queue_.front());
        queue_.pop_front();
        running_ = job;
        lock.unlock();

        std::function<void()> delivery;
        std::exception_ptr error;
        try
        {
            JobContext context(*this, job);
            context.Check(); // a job whose session went inactive while it waited does not start
            if (useLimits_)
                useLimits_(context.Limits());
            delivery = job->Options.Run(context);
        }
        catch (...)
        {
            error = ErrorFor(job->Reason, std::current_exception());
        }
        if (error)
            delivery = [failed = job->Options.Failed, error]
            {
                if (failed)
                    failed(error);
            };
        // The job's interrupt ends with it: whoever calls the session next is not cut off by it.
        if (useLimits_)
            useLimits_({});
        // Cleared before the outcome is posted: once it has arrived, no cancel can take this job for running.
        lock.lock();
        running_.reset();
        lock.unlock();
        Finish(job, std::move(delivery));
        lock.lock();
    }
}

void WorkQueue::Finish(const std::shared_ptr<JobState>& job, std::function<void()> delivery)
{
    post_(
        [this, job, delivery = std::move(delivery)]
        {
            job->Pending = false;
            if (!job->Dropped && delivery)
                delivery();
            CountPending(job->Options.Kind, -1);
        });
}

void WorkQueue::EndQueued(const std::shared_ptr<JobState>& job, std::exception_ptr error)
{
    Finish(job, error ? std::function<void()>(
                            [failed = job->Options.Failed, error]
                            {
                                if (failed)
                                    failed(error);
                            })
                      : std::function<void()>());
}

void WorkQueue::CountPending(Priority priority, int change)
{
    const bool wasRunning = CommandRunning();
    pending_[int(priority)] += change;
    if (CommandRunning() == wasRunning)
        return;
    if (commandsChanged_)
        commandsChanged_(CommandRunning());
}

bool WorkQueue::AskOwner(const std::shared_ptr<JobState>& job, std::function<bool()> ask)
{
    struct Answer
    {
        int DoneFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        std::atomic<bool> Done = false;
        bool Value = false;
        ~Answer() { close(DoneFd); }
    };
    auto answer = std::make_shared<Answer>();
    if (answer->DoneFd < 0)
        return false;
    post_(
        [job, answer, ask = std::move(ask)]
        {
            if (!job->Dropped && !job->Token.Cancelled())
            {
                // The wait is counted again from the answer, when the request goes out.
                job->Asking = true;
                answer->Value = ask();
                job->Asking = false;
                job->Queued = std::chrono::steady_clock::now();
            }
            answer->Done.store(true, std::memory_order_release);
            const std::uint64_t one = 1;
            [[maybe_unused]] const ssize_t written = write(answer->DoneFd, &one, sizeof one);
        });
    const WaitLimits limits{job->Token.Interrupt().get()};
    try
    {
        while (!answer->Done.load(std::memory_order_acquire))
            PollWithin(answer->DoneFd, POLLIN, -1, &limits);
    }
    catch (const TransportInterrupted&)
    {
        return false; // the job was cancelled while the person was asked
    }
    return answer->Value;
}

} // namespace korvel::admin
