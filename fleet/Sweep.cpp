#include "fleet/Sweep.h"

#include "engine/CallLimits.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace korvel::fleet
{

namespace
{

using IndexedReport = std::function<void(std::size_t index, const ServerReport& report)>;

struct Job
{
    std::size_t Index = 0;
    settings::Profile Profile;
};

} // namespace

struct Sweep::State
{
    CheckSettings Settings;
    std::size_t AtOnce = 1;

    mutable std::mutex Mutex;
    std::condition_variable Changed;
    std::deque<Job> Queue;
    IndexedReport Report;
    // Each Start and Cancel begins a new generation; a check of an older one reports nothing.
    std::uint64_t Generation = 0;
    std::size_t Outstanding = 0; // of the current generation: queued or under way
    std::vector<std::shared_ptr<CallInterrupt>> UnderWay;
    bool Stopping = false;
    std::vector<std::thread> Threads;

    void Work();
    void CancelLocked();
    // Returns the generation begun.
    std::uint64_t Begin(std::vector<settings::Profile> profiles, IndexedReport report);
};

namespace
{

// A fresh interrupt per check; without one (no descriptor left) the check still ends by its deadline.
std::shared_ptr<CallInterrupt> NewInterrupt()
{
    try
    {
        return std::make_shared<CallInterrupt>();
    }
    catch (const std::exception&)
    {
        return nullptr;
    }
}

} // namespace

void Sweep::State::Work()
{
    std::unique_lock lock(Mutex);
    for (;;)
    {
        Changed.wait(lock, [this] { return Stopping || !Queue.empty(); });
        if (Stopping)
            return;
        Job job = std::move(Queue.front());
        Queue.pop_front();
        const std::uint64_t generation = Generation;
        const IndexedReport report = Report;
        std::shared_ptr<CallInterrupt> cancel = NewInterrupt();
        if (cancel)
            UnderWay.push_back(cancel);
        lock.unlock();
        const ServerReport result = CheckServer(job.Profile, Settings, cancel);
        lock.lock();
        std::erase(UnderWay, cancel);
        if (generation != Generation || (cancel && cancel->Cancelled()))
            continue;
        // Reported outside the lock, so the receiver may cancel or start another sweep from inside.
        lock.unlock();
        report(job.Index, result);
        lock.lock();
        if (generation == Generation && --Outstanding == 0)
            Changed.notify_all();
    }
}

void Sweep::State::CancelLocked()
{
    ++Generation;
    Queue.clear();
    Outstanding = 0;
    for (const std::shared_ptr<CallInterrupt>& cancel : UnderWay)
        cancel->Cancel();
    Changed.notify_all();
}

std::uint64_t Sweep::State::Begin(std::vector<settings::Profile> profiles, IndexedReport report)
{
    const std::lock_guard lock(Mutex);
    CancelLocked();
    Report = std::move(report);
    for (std::size_t index = 0; index < profiles.size(); ++index)
        Queue.push_back({index, std::move(profiles[index])});
    Outstanding = Queue.size();
    // Threads are made as the first sweeps need them and kept: a repeated sweep starts at once.
    while (Threads.size() < std::min(AtOnce, Queue.size()))
        Threads.emplace_back([this] { Work(); });
    Changed.notify_all();
    return Generation;
}

Sweep::Sweep(CheckSettings settings, int atOnce) : state_(std::make_unique<State>())
{
    state_->Settings = std::move(settings);
    state_->AtOnce = static_cast<std::size_t>(std::clamp(atOnce, 1, MostChecksAtOnce));
}

Sweep::~Sweep()
{
    {
        const std::lock_guard lock(state_->Mutex);
        state_->CancelLocked();
        state_->Stopping = true;
    }
    state_->Changed.notify_all();
    for (std::thread& thread : state_->Threads)
        thread.join();
}

void Sweep::Start(std::vector<settings::Profile> profiles, Reported reported)
{
    state_->Begin(std::move(profiles), [reported = std::move(reported)](
                                           std::size_t, const ServerReport& report) { reported(report); });
}

std::vector<ServerReport> Sweep::RunAll(std::vector<settings::Profile> profiles)
{
    // Shared with the pool: a Cancel from elsewhere ends the wait while a report may still be on its way.
    struct Gathered
    {
        std::mutex Mutex;
        std::vector<ServerReport> Reports;
    };
    auto gathered = std::make_shared<Gathered>();
    gathered->Reports.resize(profiles.size());
    for (std::size_t index = 0; index < profiles.size(); ++index)
        gathered->Reports[index].Profile = profiles[index].Name;
    const std::uint64_t generation = state_->Begin(std::move(profiles),
                                                   [gathered](std::size_t index, const ServerReport& report)
                                                   {
                                                       const std::lock_guard lock(gathered->Mutex);
                                                       gathered->Reports[index] = report;
                                                   });
    {
        std::unique_lock lock(state_->Mutex);
        state_->Changed.wait(lock,
                             [&] { return state_->Generation != generation || state_->Outstanding == 0; });
    }
    const std::lock_guard lock(gathered->Mutex);
    return gathered->Reports;
}

void Sweep::Cancel()
{
    const std::lock_guard lock(state_->Mutex);
    state_->CancelLocked();
}

bool Sweep::Running() const
{
    const std::lock_guard lock(state_->Mutex);
    return state_->Outstanding > 0;
}

} // namespace korvel::fleet
