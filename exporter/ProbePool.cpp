#include "exporter/ProbePool.h"

#include <algorithm>
#include <system_error>
#include <vector>

namespace korvel::exporter
{

ProbePool::ProbePool(PoolLimits limits, ProbeSettings settings)
    : limits_(limits), settings_(std::move(settings)), evictor_([this] { Evict(); })
{
}

std::shared_ptr<TargetProbe> ProbePool::Acquire(const Module& module, const ConnectionDescription& target,
                                                bool pinned)
{
    std::lock_guard lock(mutex_);
    if (stopping_)
        return nullptr;
    // A profile's probe is told apart from a module's of the same name, and from its own before an edit.
    const std::string key = module.Name + "\n" +
                            (module.Profile ? "profile\n" + module.Profile->Description : "") + "\n" +
                            target.Endpoint();
    auto found = probes_.find(key);
    if (found == probes_.end())
    {
        if (probes_.size() >= limits_.MaxProbes)
            return nullptr;
        try
        {
            found = probes_.emplace(key, Entry{std::make_shared<TargetProbe>(target, module, settings_), {}})
                        .first;
        }
        catch (const std::system_error&)
        {
            return nullptr; // no thread to be had: refused like a target over the cap
        }
    }
    found->second.LastUsed = Clock::now();
    found->second.Pinned = found->second.Pinned || pinned;
    return found->second.Probe;
}

void ProbePool::Stop()
{
    std::map<std::string, Entry> stopped;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        for (auto& [key, entry] : probes_)
            entry.Probe->RequestStop();
        stopped.swap(probes_);
    }
    wake_.notify_all();
    if (evictor_.joinable())
        evictor_.join();
    // Every probe was told to stop, so these joins are short.
}

std::size_t ProbePool::Size()
{
    std::lock_guard lock(mutex_);
    return probes_.size();
}

void ProbePool::Evict()
{
    // Often enough that a probe outlives its idle limit by at most a quarter of it.
    const auto period = std::clamp<std::chrono::milliseconds>(
        limits_.IdleLimit / 4, std::chrono::milliseconds(20), std::chrono::seconds(30));
    std::unique_lock lock(mutex_);
    while (!wake_.wait_for(lock, period, [this] { return stopping_; }))
    {
        std::vector<std::shared_ptr<TargetProbe>> idle;
        const Clock::time_point now = Clock::now();
        for (auto entry = probes_.begin(); entry != probes_.end();)
        {
            TargetProbe& probe = *entry->second.Probe;
            // Copies are made under the lock alone, so a count of one means no scrape holds the probe.
            if (entry->second.Pinned || now - entry->second.LastUsed <= limits_.IdleLimit ||
                entry->second.Probe.use_count() > 1)
            {
                ++entry;
                continue;
            }
            probe.RequestStop();
            idle.push_back(std::move(entry->second.Probe));
            entry = probes_.erase(entry);
        }
        lock.unlock();
        idle.clear(); // joins, here and not on a web thread
        lock.lock();
    }
}

} // namespace korvel::exporter
