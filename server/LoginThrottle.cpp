#include "server/LoginThrottle.h"

#include <algorithm>
#include <vector>

namespace korvel::server
{

namespace
{

constexpr int FreeAttempts = 3;
constexpr std::chrono::milliseconds MaxDelay{30000};

} // namespace

std::chrono::milliseconds LoginThrottle::DelayFor(const std::string& userName,
                                                  const std::string& address) const
{
    auto found = records_.find({userName, address});
    if (found == records_.end() || found->second.Failures < FreeAttempts)
        return std::chrono::milliseconds{0};
    int doublings = std::min(found->second.Failures - FreeAttempts, 5); // 2^5 s already exceeds the cap
    return std::min(std::chrono::milliseconds{1000} * (1 << doublings), MaxDelay);
}

void LoginThrottle::Failed(const std::string& userName, const std::string& address, Clock::time_point now)
{
    auto key = std::make_pair(userName, address);
    if (!records_.contains(key) && records_.size() >= maxRecords_)
        ForgetOlderHalf();
    Record& record = records_[std::move(key)];
    record.Failures = std::min(record.Failures + 1, 1000);
    record.LastFailure = now;
}

void LoginThrottle::Succeeded(const std::string& userName, const std::string& address)
{
    records_.erase({userName, address});
}

void LoginThrottle::ForgetOlderHalf()
{
    std::vector<Clock::time_point> times;
    times.reserve(records_.size());
    for (const auto& entry : records_)
        times.push_back(entry.second.LastFailure);
    auto middle = times.begin() + static_cast<std::ptrdiff_t>(times.size() / 2);
    std::nth_element(times.begin(), middle, times.end());
    const Clock::time_point cut = *middle;
    // At least half goes, even when many failures share one time.
    std::erase_if(records_, [cut](const auto& entry) { return entry.second.LastFailure <= cut; });
}

void LoginThrottle::Prune(Clock::time_point now)
{
    std::erase_if(records_, [now](const auto& entry)
                  { return now - entry.second.LastFailure > std::chrono::hours{1}; });
}

} // namespace korvel::server
