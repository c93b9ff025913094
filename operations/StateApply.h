// Sending a state plan: the questions first (the summary, the logged-in account, the lock-out preview of a
// configuration change), then a check of every object against what the server holds now (another
// administrator may have changed it since it was read: such objects are listed and left alone unless the
// person overwrites them; checked again after that answer), then the requests in the plan's order through
// ServerChanges, so each is journaled. The first failure stops the rest; a request that got no answer is
// read again first, and goes on when the server holds it as planned. Last, the checking read (Verify).
#pragma once

#include "operations/ServerChanges.h"
#include "operations/StatePlan.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace korvel::operations
{

struct ApplyQuestions
{
    // Shows `warning` (when not empty) and asks `question`; raises to stop before anything is sent.
    std::function<void(const std::string& warning, const std::string& question)> Confirm;
    // Shows the objects changed on the server since they were read, one line each; true overwrites them,
    // false leaves them as they are now.
    std::function<bool(const std::string& changed)> Overwrite;
    // The checking read once every change is made (before the logged-in account's own, after which this
    // login may read nothing more): one line per object the server does not hold as wanted. Unset: none.
    std::function<StringList()> Verify = {};
};

struct ApplyOutcome
{
    std::vector<PlanLine> Made; // the lines of the requests made
    std::size_t Done = 0;       // requests made
    std::size_t Skipped = 0;    // objects changed meanwhile and left alone
    StringList SkippedObjects;  // one line each: what changed meanwhile
    StringList Unmatched;       // what Verify found
    std::string Error;          // what failed and what was not sent; empty when every request was made
    bool Unknown = false;       // the request that stopped it got no answer and may have been made
};

// `plan` carries no Refusal. Raises what Confirm raises, and a failure to read the server during the check.
ApplyOutcome ApplyStatePlan(TKORVELSession& session, ServerChanges& changes, const StatePlan& plan,
                            const ApplyQuestions& questions);

struct CheckedStatePlan
{
    StatePlan Kept;        // the steps whose objects the server still holds as they were read
    StatePlan Overwriting; // those, and the changed objects planned again from what the server holds now
    StringList Changed;    // one line per object changed meanwhile
};

// Reads each object of the plan again (nothing is read for rights of a user or database the plan adds). An
// object another session already made as wanted is neither kept nor changed: nothing is left to send.
CheckedStatePlan CheckStatePlan(TKORVELSession& session, const StatePlan& plan);

// After the changes: one line per step whose object the server does not hold as the step made it (names as
// they are, as in Changed).
StringList Unmatched(TKORVELSession& session, const StatePlan& plan);

} // namespace korvel::operations
