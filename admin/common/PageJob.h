// PageJob: one page's work on the runner the window shares with every page. The runner's own Cancel() drops
// every page's work, and a user command on any page cancels a running background job without a word; a page
// that reads in the background (the rights grid, the log) needs its read kept apart from that:
// - Cancel() stops only this page's job (at its next request) and drops its delivery; so does Start() of the
//   next job.
// - A background job pre-empted by a user command (from any page) stops, delivers nothing, and `preempted`
//   runs once on the user-interface thread, so the page can say so and offer to read again.
// - Start() is refused (false) as the runner refuses: while logged out, and for background work while the
//   runner is busy.
// - The work may Post() partial results (a column read) to the page; they arrive in order, before the
//   result, and not at all once the job was cancelled, pre-empted or replaced.
// - The page's controls and this object must outlive the runner's deliveries: the runner goes first.
#pragma once

#include "admin/common/BackgroundRunner.h"

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>

namespace korvel::admin
{

// What the work sees on the worker thread.
class JobControl
{
public:
    using Poster = std::function<void(std::function<void()>)>;
    JobControl(const CancelToken& token, const std::atomic<bool>& stopped, Poster post)
        : token_(token), stopped_(stopped), post_(std::move(post))
    {
    }
    // Before each request: raises EAbort when cancelled or pre-empted, SessionInactiveError when logged out.
    void Check() const;
    // Runs `onPageThread` later on the page's thread unless the job has ended by then.
    void Post(std::function<void()> onPageThread) const { post_(std::move(onPageThread)); }

private:
    const CancelToken& token_;
    const std::atomic<bool>& stopped_;
    Poster post_;
};

class PageJob
{
public:
    // `page` receives the deliveries and posts; `preempted` (background work only) may be empty.
    PageJob(BackgroundRunner& runner, QObject* page, Priority priority, std::function<void()> preempted = {});

    // Cancels a job still under way, then queues `work`; `done(result)` or `failed(error)` runs once, later.
    template <typename Result>
    bool Start(std::function<Result(const JobControl&)> work, std::function<void(Result)> done,
               BackgroundRunner::ErrorHandler failed);
    // Stops the job under way; nothing of it is delivered.
    void Cancel();
    // Queued or running, not yet delivered, cancelled or pre-empted.
    bool Running() const { return running_; }

private:
    std::shared_ptr<std::atomic<bool>> NewStopFlag();
    JobControl::Poster MakePoster(int generation);
    // Whether a delivery of `generation` is still wanted; ends the job if so.
    bool Finish(int generation);
    void CommandsRunning(bool running);

    BackgroundRunner& runner_;
    QObject* page_;
    Priority priority_;
    std::function<void()> preempted_;
    std::shared_ptr<std::atomic<bool>> stopped_;
    int generation_ = 0;
    bool running_ = false;
};

template <typename Result>
bool PageJob::Start(std::function<Result(const JobControl&)> work, std::function<void(Result)> done,
                    BackgroundRunner::ErrorHandler failed)
{
    auto stopped = NewStopFlag();
    const int generation = generation_;
    running_ = runner_.Submit<Result>(
        priority_,
        [work = std::move(work), stopped, post = MakePoster(generation)](CancelToken& token)
        { return work(JobControl(token, *stopped, post)); },
        [this, generation, done = std::move(done)](Result result)
        {
            if (Finish(generation))
                done(std::move(result));
        },
        [this, generation, failed = std::move(failed)](std::exception_ptr error)
        {
            if (Finish(generation))
                failed(error);
        });
    return running_;
}

} // namespace korvel::admin
