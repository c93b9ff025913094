// Slows down password guessing: after three consecutive failed logins for one user name from one address,
// each further attempt is answered only after a delay of 1 s, doubling up to 30 s. A success clears the
// count.
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

    // How long the answer to an attempt now must wait (zero for the first three after a success).
    std::chrono::milliseconds DelayFor(const std::string& userName, const std::string& address) const;
    void Failed(const std::string& userName, const std::string& address, Clock::time_point now);
    void Succeeded(const std::string& userName, const std::string& address);
    // Forgets counts that saw no failure for an hour, so that guessed names cannot fill memory.
    void Prune(Clock::time_point now);

private:
    struct Record
    {
        int Failures = 0;
        Clock::time_point LastFailure{};
    };
    void ForgetOlderHalf();

    std::size_t maxRecords_;
    std::map<std::pair<std::string, std::string>, Record> records_;
};

} // namespace korvel::server
