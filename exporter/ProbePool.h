// The live probes, one per module and target, up to a cap: each holds a thread, a connection and a login.
// A probe nobody scraped for the idle limit is evicted, and evicted probes are stopped and joined, by a
// thread of the pool's own: a scrape never waits for another target's probe to end.
#pragma once

#include "exporter/TargetProbe.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace korvel::exporter
{

struct PoolLimits
{
    std::size_t MaxProbes = 1000;
    std::chrono::milliseconds IdleLimit = std::chrono::minutes(15);
};

class ProbePool
{
public:
    ProbePool(PoolLimits limits, ProbeSettings settings);
    ~ProbePool() { Stop(); }
    ProbePool(const ProbePool&) = delete;
    ProbePool& operator=(const ProbePool&) = delete;

    // The probe of `target` under `module`, made on first use; null when the pool is full or stopping. A
    // pinned probe is never evicted.
    std::shared_ptr<TargetProbe> Acquire(const Module& module, const ConnectionDescription& target,
                                         bool pinned = false);
    // Cancels every probe's exchange, refuses new probes and joins the probes: scrapes under way answer at
    // once, and a probe one of them still holds ends when it lets go. Call from one thread.
    void Stop();
    std::size_t Size();

private:
    void Evict();

    const PoolLimits limits_;
    const ProbeSettings settings_;
    std::mutex mutex_; // guards everything below
    std::condition_variable wake_;
    bool stopping_ = false;
    struct Entry
    {
        std::shared_ptr<TargetProbe> Probe; // shared with the scrapes under way
        Clock::time_point LastUsed;
        bool Pinned = false;
    };
    std::map<std::string, Entry> probes_; // by module (or profile) and target
    std::thread evictor_;                 // last: starts once everything else exists
};

} // namespace korvel::exporter
