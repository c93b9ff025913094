#include "server/LoginThrottle.h"

#include <algorithm>
#include <vector>

namespace korvel::server
{

namespace
{

constexpr int FreeAttempts = 3;
constexpr std::chrono::milliseconds MaxDelay{30000};
constexpr int ReconnectsPerHour = 100;
constexpr std::chrono::hours BudgetPeriod{1};
// The user name under which failed RECONNECTs count (no user name is known then).
const std::string ReconnectKey = "\x01reconnect";

bool HourOver(Clock::time_point start, Clock::time_point now)
{
    return now - start >= BudgetPeriod;
}

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
    std::erase_if(reconnectBudgets_,
                  [now](const auto& entry) { return HourOver(entry.second.HourStart, now); });
}

std::chrono::milliseconds LoginThrottle::ReconnectDelayFor(const std::string& address) const
{
    return DelayFor(ReconnectKey, address);
}

void LoginThrottle::ReconnectFailed(const std::string& address, Clock::time_point now)
{
    Failed(ReconnectKey, address, now);
    if (!reconnectBudgets_.contains(address) && reconnectBudgets_.size() >= maxRecords_)
        Prune(now);
    if (!reconnectBudgets_.contains(address) && reconnectBudgets_.size() >= maxRecords_)
        return; // a flood of addresses is still slowed per address by the delays
    Budget& budget = reconnectBudgets_[address];
    if (budget.Failures == 0 || HourOver(budget.HourStart, now))
        budget = Budget{0, now};
    ++budget.Failures;
}

void LoginThrottle::AddressSucceeded(const std::string& address)
{
    Succeeded(ReconnectKey, address);
}

bool LoginThrottle::ReconnectBudgetSpent(const std::string& address, Clock::time_point now) const
{
    auto found = reconnectBudgets_.find(address);
    return found != reconnectBudgets_.end() && found->second.Failures >= ReconnectsPerHour &&
           !HourOver(found->second.HourStart, now);
}

} // namespace korvel::server
