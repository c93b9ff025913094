#include "admin/common/PageJob.h"

#include "engine/EngineError.h"

namespace korvel::admin
{

void JobControl::Check() const
{
    token_.Check();
    if (stopped_)
        throw EAbort();
}

PageJob::PageJob(BackgroundRunner& runner, QObject* page, Priority priority, std::function<void()> preempted)
    : runner_(runner), page_(page), priority_(priority), preempted_(std::move(preempted))
{
    if (priority_ == Priority::Background)
        runner_.WatchCommands(page_, [this](bool running) { CommandsRunning(running); });
}

void PageJob::Cancel()
{
    if (stopped_)
        *stopped_ = true;
    ++generation_;
    running_ = false;
}

std::shared_ptr<std::atomic<bool>> PageJob::NewStopFlag()
{
    Cancel();
    stopped_ = std::make_shared<std::atomic<bool>>(false);
    return stopped_;
}

JobControl::Poster PageJob::MakePoster(int generation)
{
    // Called on the worker; the posted call runs on the page's thread, where the generation is compared.
    return [this, generation](std::function<void()> onPageThread)
    {
        QMetaObject::invokeMethod(
            page_,
            [this, generation, onPageThread = std::move(onPageThread)]
            {
                if (running_ && generation == generation_)
                    onPageThread();
            },
            Qt::QueuedConnection);
    };
}

bool PageJob::Finish(int generation)
{
    if (!running_ || generation != generation_)
        return false;
    running_ = false;
    return true;
}

void PageJob::CommandsRunning(bool running)
{
    // The runner cancelled this job if it was running; if it was still queued it would run after the command
    // on a server the command may have changed: it stops too.
    if (!running || !running_)
        return;
    Cancel();
    if (preempted_)
        preempted_();
}

} // namespace korvel::admin
