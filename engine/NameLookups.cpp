#include "engine/NameLookups.h"

#include "engine/Transport.h"

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <thread>
#include <tuple>
#include <unistd.h>
#include <utility>
#include <vector>

namespace korvel
{
namespace
{

// One lookup; every caller waiting for the same name holds it, and its descriptor wakes them all.
struct Lookup
{
    Lookup(std::shared_ptr<Resolver> resolver, std::string hostName, bool all)
        : Source(std::move(resolver)), HostName(std::move(hostName)), All(all)
    {
        if (DoneFd < 0)
            throw TransportError(std::string("eventfd: ") + std::strerror(errno));
    }
    ~Lookup() { close(DoneFd); }
    Lookup(const Lookup&) = delete;
    Lookup& operator=(const Lookup&) = delete;

    const std::shared_ptr<Resolver> Source;
    const std::string HostName;
    const bool All; // every address (Addresses), not the first IPv4 one (Address)
    const int DoneFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    // Address and Error are written by the pool thread before Done; read by the callers after it.
    std::atomic<bool> Done = false;
    std::uint32_t Address = 0;
    std::vector<HostAddress> Addresses;
    std::exception_ptr Error;
};

using LookupKey = std::tuple<const Resolver*, std::string, bool>;

class LookupPool
{
public:
    // Never destroyed: a thread may still be inside getaddrinfo when the process exits.
    static LookupPool& Shared()
    {
        static LookupPool* const pool = new LookupPool;
        return *pool;
    }

    std::shared_ptr<Lookup> Start(const std::shared_ptr<Resolver>& resolver, const std::string& hostName,
                                  bool all)
    {
        std::lock_guard lock(mutex_);
        const LookupKey key(resolver.get(), hostName, all);
        if (const auto found = pending_.find(key); found != pending_.end())
            if (auto shared = found->second.lock())
                return shared;
        auto lookup = std::make_shared<Lookup>(resolver, hostName, all);
        pending_[key] = lookup;
        queue_.push_back({key, lookup});
        if (idle_ == 0 && threads_ < MaxLookupThreads)
        {
            ++threads_;
            std::thread([this] { Work(); }).detach();
        }
        else
            wake_.notify_one();
        return lookup;
    }

    int Threads()
    {
        std::lock_guard lock(mutex_);
        return threads_;
    }

private:
    void Work()
    {
        std::unique_lock lock(mutex_);
        for (;;)
        {
            ++idle_;
            wake_.wait(lock, [this] { return !queue_.empty(); });
            --idle_;
            const Queued next = queue_.front();
            queue_.pop_front();
            std::shared_ptr<Lookup> lookup = next.Entry.lock();
            if (lookup)
            {
                lock.unlock();
                Resolve(*lookup);
                lock.lock();
            }
            // Later callers start a fresh lookup; the answer lives on with those that wait for it. A lookup
            // every caller left before its turn is dropped unmade.
            const auto found = pending_.find(next.Key);
            if (found != pending_.end() && found->second.lock() == lookup)
                pending_.erase(found);
        }
    }

    static void Resolve(Lookup& lookup)
    {
        try
        {
            if (lookup.All)
                lookup.Addresses = lookup.Source->ResolveHostAll(lookup.HostName);
            else
                lookup.Address = lookup.Source->ResolveHost(lookup.HostName);
        }
        catch (...)
        {
            lookup.Error = std::current_exception();
        }
        lookup.Done.store(true, std::memory_order_release);
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(lookup.DoneFd, &one, sizeof one);
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    struct Queued
    {
        LookupKey Key;
        std::weak_ptr<Lookup> Entry; // weakly: a lookup whose callers all left is skipped
    };
    std::deque<Queued> queue_;
    std::map<LookupKey, std::weak_ptr<Lookup>> pending_;
    int threads_ = 0;
    int idle_ = 0;
};

} // namespace

namespace
{

// The lookup's answer once it came, within the limits.
std::shared_ptr<Lookup> Await(const std::shared_ptr<Resolver>& resolver, const std::string& hostName,
                              bool all, const WaitLimits* limits)
{
    const std::shared_ptr<Lookup> lookup = LookupPool::Shared().Start(resolver, hostName, all);
    // The counter is never read back, so every caller sharing the lookup sees it set.
    while (!lookup->Done.load(std::memory_order_acquire))
        PollWithin(lookup->DoneFd, POLLIN, -1, limits); // raises when the limits end the wait first
    if (lookup->Error)
        std::rethrow_exception(lookup->Error);
    return lookup;
}

bool Unlimited(const WaitLimits* limits)
{
    return !limits || (!limits->Interrupt && !limits->Deadline);
}

} // namespace

std::uint32_t ResolveHostWithin(const std::shared_ptr<Resolver>& resolver, const std::string& hostName,
                                const WaitLimits* limits)
{
    if (Unlimited(limits))
        return resolver->ResolveHost(hostName);
    return Await(resolver, hostName, false, limits)->Address;
}

std::vector<HostAddress> ResolveHostAllWithin(const std::shared_ptr<Resolver>& resolver,
                                              const std::string& hostName, const WaitLimits* limits)
{
    if (Unlimited(limits))
        return resolver->ResolveHostAll(hostName);
    return Await(resolver, hostName, true, limits)->Addresses;
}

int LookupThreadCount()
{
    return LookupPool::Shared().Threads();
}

} // namespace korvel
