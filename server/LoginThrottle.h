// Slows down password guessing: after three consecutive failed logins for one user name from one address,
// each further failure is answered only after a delay of 1 s, doubling up to 30 s. The failure pays: a
// right password is answered at once, and its success clears the count. RECONNECTs with an unknown session id
// count per address the same way, and a successful LOGIN or RECONNECT from the address ends their run;
// besides, an hourly budget that no success resets stops an address after 100 failed RECONNECTs, so that
// session ids cannot be guessed by mixing in successes or by opening many connections at once.
#pragma once

#include "server/SessionTable.h"

#include <chrono>
#include <cstddef>
#include <map>
#include <string>
#include <utility>

namespace korvel::server
{

class LoginThrottle
{
public:
    // At most `maxRecords` user name and address pairs are remembered: a flood of guessed names gives up the
    // older half rather than fill memory within the hour that Prune waits.
    explicit LoginThrottle(std::size_t maxRecords = 100000) : maxRecords_(maxRecords) {}

    // How long the answer to a failed attempt now must wait (zero for the first three after a success).
    std::chrono::milliseconds DelayFor(const std::string& userName, const std::string& address) const;
    void Failed(const std::string& userName, const std::string& address, Clock::time_point now);
    void Succeeded(const std::string& userName, const std::string& address);
    // Forgets counts that saw no failure for an hour, so that guessed names cannot fill memory.
    void Prune(Clock::time_point now);

    // RECONNECT with an unknown session id, per address.
    std::chrono::milliseconds ReconnectDelayFor(const std::string& address) const;
    void ReconnectFailed(const std::string& address, Clock::time_point now);
    // A successful LOGIN or RECONNECT from the address: ends its run of failed RECONNECTs, not its budget.
    void AddressSucceeded(const std::string& address);
    // True once the address failed 100 RECONNECTs within the hour that began with the first of them.
    bool ReconnectBudgetSpent(const std::string& address, Clock::time_point now) const;

private:
    struct Record
    {
        int Failures = 0;
        Clock::time_point LastFailure{};
    };
    struct Budget
    {
        int Failures = 0;
        Clock::time_point HourStart{};
    };
    void ForgetOlderHalf();

    std::size_t maxRecords_;
    std::map<std::pair<std::string, std::string>, Record> records_;
    std::map<std::string, Budget> reconnectBudgets_;
};

} // namespace korvel::server
