// A plan saved for a later apply (`plan --out FILE`, then `apply FILE`): the changes exactly as planned, what
// the server held of each object when they were planned, the account the plan was made with, and the state
// file it came from (its path and SHA-256). A password's value is never saved: a step that sets one records
// the variable or the file to read when the plan is applied. JSON, written 0600:
//
//   {"korvel_saved_plan": 1, "state_file": {"path": "state.yaml", "sha256": "..."}, "login_user": "admin",
//    "users": [{"name": "carol", "before": null,
//               "after": {"administrator": true, "description": "", "password": {"env": "CAROL_PW"}}}],
//    "databases": [{"name": "Sales", "before": {...}, "after": {"directory": "/d", "description": ""}}],
//    "rights": [{"user": "carol", "database": "Sales", "before": "-", "after": "RI"}],
//    "database_deletions": [...], "user_deletions": [...],
//    "config": {"before": {...}, "after": {...}}, "own_account": {...}, "own_account_question": "..."}
//
// A user's "password" after is "keep" (the server's stays), "empty", {"env": VARIABLE} or {"file": PATH}.
#pragma once

#include "operations/StatePlan.h"

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace korvel::operations
{

// A bigger saved plan is refused before it is parsed (a plan of thousands of objects is far smaller).
inline constexpr std::size_t MaxSavedPlanBytes = 16u << 20;

struct SavedPlan
{
    std::string StateFile;   // the state file's path as given to plan
    std::string StateSha256; // of its bytes, in hex
    std::string LoginUser;
    // The steps, Before as recorded: a user's Password is empty in Before and After until Resolve fills it.
    StatePlan Plan;
    // What each step asks for; the steps point into these.
    std::deque<WantedUser> WantedUsers;
    std::deque<WantedDatabase> WantedDatabases;
    std::deque<WantedConfig> WantedConfigs;
};

// The plan's JSON text. Each user step with a new password takes its source from the step's Wanted entry
// (a relative password_file path starts at `directory`, made absolute).
std::string SavedPlanText(const StatePlan& plan, const std::string& stateFile, const std::string& sha256,
                          const std::string& loginUser, const std::string& directory);

// True when `text` is a saved plan rather than a state file (it begins with the saved plan's key).
bool IsSavedPlan(std::string_view text);

struct SavedPlanReading
{
    SavedPlan Plan;
    std::string Mistake; // the plan is not to be used when there is one
};

// Bounded by MaxSavedPlanBytes; every value is checked as a state file's would be, and the first mistake
// named with where it is ("users[2].after.description: ...").
SavedPlanReading ReadSavedPlan(std::string_view text);

// Fills each user step's passwords from what the server holds now (a user's password the plan keeps) and the
// recorded sources (read now). Mistakes: a variable that is not set, a file that cannot be read. Objects that
// moved since the plan was made are left for ApplyStatePlan's check to find.
std::vector<std::string> ResolvePasswords(TKORVELSession& session, SavedPlan& saved);

} // namespace korvel::operations
