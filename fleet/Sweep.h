// A check of many profiles at once, on a pool of at most 16 threads of its own: each check has its own
// deadline, so a silent server delays no other row. Reports arrive as each check ends, on the pool's
// threads; the window hands them to its own thread.
#pragma once

#include "fleet/ServerCheck.h"

#include <functional>
#include <memory>
#include <vector>

namespace korvel::fleet
{

inline constexpr int MostChecksAtOnce = 16;

class Sweep
{
public:
    using Reported = std::function<void(const ServerReport& report)>;

    explicit Sweep(CheckSettings settings, int atOnce = MostChecksAtOnce);
    // Cancels what is under way and waits for the pool's threads.
    ~Sweep();
    Sweep(const Sweep&) = delete;
    Sweep& operator=(const Sweep&) = delete;

    // Starts checking every profile and returns at once; `reported` is called once per profile, from a
    // pool thread. A sweep already under way is cancelled first (its unfinished profiles report nothing).
    void Start(std::vector<settings::Profile> profiles, Reported reported);
    // Starts, then waits until every profile has reported (the CLI).
    std::vector<ServerReport> RunAll(std::vector<settings::Profile> profiles);
    // Ends the checks under way; safe from any thread.
    void Cancel();
    bool Running() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace korvel::fleet
