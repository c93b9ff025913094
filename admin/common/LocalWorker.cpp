#include "admin/common/LocalWorker.h"

#include <utility>

namespace korvel::admin
{

LocalWorker::LocalWorker()
{
    pool_.setMaxThreadCount(1);
}

LocalWorker::~LocalWorker()
{
    NewRun();
    pool_.waitForDone();
}

void LocalWorker::NewRun()
{
    ++run_;
}

void LocalWorker::Queue(Task task)
{
    const std::uint64_t run = run_;
    pool_.start(
        [this, run, task = std::move(task)]
        {
            if (run_ != run)
                return;
            task(
                [this, run](std::function<void()> onUiThread)
                {
                    if (run_ != run)
                        return false;
                    // Checked again on arrival: the run may have ended while the call was queued.
                    QMetaObject::invokeMethod(
                        this,
                        [this, run, onUiThread = std::move(onUiThread)]
                        {
                            if (run_ == run)
                                onUiThread();
                        },
                        Qt::QueuedConnection);
                    return true;
                });
        });
}

} // namespace korvel::admin
