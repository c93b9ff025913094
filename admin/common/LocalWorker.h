// A thread of its own for local work that could hold up the window (the Log page's search and follow over a
// million lines, reading the journal for the Change History): never a session call, which goes through the
// background runner. Tasks run one after another in the order queued. What they hand back reaches the
// user-interface thread only while no newer run has begun, so a restarted or cancelled piece of work never
// delivers a stale result.
#pragma once

#include <QObject>
#include <QThreadPool>

#include <atomic>
#include <cstdint>
#include <functional>

namespace korvel::admin
{

class LocalWorker : public QObject
{
public:
    // Hands `onUiThread` to the user-interface thread; false once the task's run has ended, when the task
    // should stop.
    using Deliver = std::function<bool(std::function<void()> onUiThread)>;
    using Task = std::function<void(const Deliver& deliver)>;

    LocalWorker();
    // Ends the current run and waits for its task to notice.
    ~LocalWorker() override;

    // Ends the current run: what its tasks deliver from now on is dropped, and those not begun are skipped.
    void NewRun();
    // Queues `task` in the current run. It must not throw.
    void Queue(Task task);

private:
    QThreadPool pool_;
    std::atomic<std::uint64_t> run_ = 0;
};

} // namespace korvel::admin
