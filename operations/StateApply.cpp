#include "operations/StateApply.h"

#include "addresses/AddressChecks.h"
#include "operations/ConfigChecks.h"
#include "operations/ConfigFields.h"
#include "session/KORVELSession.h"

#include <map>
#include <set>
#include <sstream>

namespace korvel::operations
{

namespace
{

std::string Quoted(const std::string& name)
{
    return "'" + name + "'";
}

// What another session did to an object since it was read.
template <typename Values, typename Fields>
std::string Meanwhile(const char* kind, const std::string& name, const std::optional<Values>& read,
                      const std::optional<Values>& now, Fields fields)
{
    const std::string object = std::string(kind) + " " + Quoted(name) + ": ";
    if (!read)
        return object + "added since it was read";
    if (!now)
        return object + "deleted since it was read";
    return object + ChangeText(fields(*read, *now)) + " since it was read";
}

class Checker
{
public:
    Checker(TKORVELSession& session, const StatePlan& plan) : session_(session), plan_(plan)
    {
        for (const UserStep& step : plan.Users)
            if (!step.Before)
                newUsers_.insert(step.After->Name);
        for (const DatabaseStep& step : plan.Databases)
            if (!step.Before)
                newDatabases_.insert(step.After->Name);
    }

    CheckedStatePlan Check()
    {
        for (const UserStep& step : plan_.Users)
            CheckUser(step, result_.Kept.Users, result_.Overwriting.Users);
        for (const DatabaseStep& step : plan_.Databases)
            CheckDatabase(step, result_.Kept.Databases, result_.Overwriting.Databases);
        CheckRights();
        for (const DatabaseStep& step : plan_.DatabaseDeletions)
            CheckDatabase(step, result_.Kept.DatabaseDeletions, result_.Overwriting.DatabaseDeletions);
        for (const UserStep& step : plan_.UserDeletions)
            CheckUser(step, result_.Kept.UserDeletions, result_.Overwriting.UserDeletions);
        if (plan_.Config)
            CheckConfig(*plan_.Config);
        if (plan_.OwnAccount)
        {
            std::vector<UserStep> kept, overwriting;
            CheckUser(*plan_.OwnAccount, kept, overwriting);
            if (!kept.empty())
                result_.Kept.OwnAccount = kept.front();
            if (!overwriting.empty())
                result_.Overwriting.OwnAccount = overwriting.front();
        }
        return std::move(result_);
    }

private:
    // Kept as planned when the server holds what was read; planned again from now otherwise.
    template <typename Step, typename Read, typename Replan, typename Describe>
    void CheckStep(const Step& step, std::vector<Step>& kept, std::vector<Step>& overwriting, Read read,
                   Replan replan, Describe describe)
    {
        const auto now = read(StepName(step));
        if (now == step.Before)
        {
            kept.push_back(step);
            overwriting.push_back(step);
            return;
        }
        auto again = replan(now, step.Wanted);
        if (!again)
            return;
        result_.Changed.push_back(describe(StepName(step), step.Before, now));
        overwriting.push_back(std::move(*again));
    }

    void CheckUser(const UserStep& step, std::vector<UserStep>& kept, std::vector<UserStep>& overwriting)
    {
        CheckStep(
            step, kept, overwriting, [&](const std::string& name) { return ReadUser(session_, name); },
            PlanUser,
            [](const std::string& name, const auto& read, const auto& now)
            { return Meanwhile("user", name, read, now, UserFieldChanges); });
    }

    void CheckDatabase(const DatabaseStep& step, std::vector<DatabaseStep>& kept,
                       std::vector<DatabaseStep>& overwriting)
    {
        CheckStep(
            step, kept, overwriting, [&](const std::string& name) { return ReadDatabase(session_, name); },
            PlanDatabase,
            [](const std::string& name, const auto& read, const auto& now)
            { return Meanwhile("database", name, read, now, DatabaseFieldChanges); });
    }

    void CheckRights()
    {
        const CheckedPlan checked = CheckPlan(
            plan_.Rights,
            [&](const PairChange& change)
            {
                // A pair of a user or database the plan adds cannot have changed; the server could not even
                // say.
                const bool added = newUsers_.count(change.User) || newDatabases_.count(change.Database);
                return added ? change.Before : ReadPairRights(session_, change.User, change.Database);
            });
        result_.Kept.Rights = checked.Kept;
        result_.Overwriting.Rights = Overwriting(checked);
        std::istringstream list(ConflictList(checked.Conflicts));
        for (std::string line; std::getline(list, line);)
            result_.Changed.push_back(line);
    }

    void CheckConfig(const ConfigStep& step)
    {
        ServerConfig now;
        session_.GetServerConfig(now);
        if (ConfigFieldChanges(step.Before, now).empty())
        {
            result_.Kept.Config = step;
            result_.Overwriting.Config = step;
            return;
        }
        auto again = PlanConfig(now, *step.Wanted);
        if (!again)
            return;
        result_.Changed.push_back("config: " + ChangeText(ConfigFieldChanges(step.Before, now)) +
                                  " since it was read");
        result_.Overwriting.Config = std::move(again);
    }

    TKORVELSession& session_;
    const StatePlan& plan_;
    std::set<std::string> newUsers_;
    std::set<std::string> newDatabases_;
    CheckedStatePlan result_;
};

// Sends the steps in order; after the first failure nothing more. A change whose reply never came is read
// again: made as planned, it counts as done and the rest goes on; otherwise the apply stops there.
class Sender
{
public:
    Sender(ServerChanges& changes, std::size_t total) : changes_(changes), total_(total) {}

    // `made` reads the step's object again and says whether the server holds it as planned.
    template <typename Request, typename Made>
    void Send(std::vector<PlanLine> lines, Request request, Made made)
    {
        if (!outcome_.Error.empty())
            return;
        try
        {
            request(changes_);
        }
        catch (const OutcomeUnknown& error)
        {
            if (!MadeAfterAll(made))
                return outcome_.Unknown
                           ? Stop(lines, error.what(), true)
                           : Stop(lines, "no answer came, and the server does not hold the change", false);
        }
        catch (const std::exception& error)
        {
            return Stop(lines, error.what(), false);
        }
        ++outcome_.Done;
        outcome_.Made.insert(outcome_.Made.end(), lines.begin(), lines.end());
    }

    ApplyOutcome Outcome() { return std::move(outcome_); }
    bool Ok() const { return outcome_.Error.empty(); }

private:
    // Reads the object again: true when the server holds it as planned. One that cannot be read keeps its
    // outcome unknown.
    template <typename Made> bool MadeAfterAll(Made made)
    {
        try
        {
            return made();
        }
        catch (const std::exception&)
        {
            outcome_.Unknown = true;
            return false;
        }
    }

    void Stop(const std::vector<PlanLine>& lines, const std::string& why, bool unknown)
    {
        const std::size_t notSent = total_ - outcome_.Done - 1;
        outcome_.Error = std::to_string(outcome_.Done) + " of " + std::to_string(total_) +
                         " changes were made. \"" + lines.front().Text() + "\" " +
                         (unknown ? "got no answer: " : "failed: ") + why;
        if (notSent)
            outcome_.Error += "\n" + std::to_string(notSent) + " further " +
                              (notSent == 1 ? "change was" : "changes were") + " not sent.";
    }

    ServerChanges& changes_;
    std::size_t total_;
    ApplyOutcome outcome_;
};

void SendUser(TKORVELSession& session, Sender& sender, const UserStep& step)
{
    sender.Send(
        UserLines(step),
        [&](ServerChanges& changes)
        {
            if (!step.Before)
                changes.AddUser(*step.After);
            else if (!step.After)
                changes.DeleteUser(step.Before->Name);
            else
                changes.ModifyUser(*step.Before, *step.After);
        },
        [&] { return ReadUser(session, StepName(step)) == step.After; });
}

void SendDatabase(TKORVELSession& session, Sender& sender, const DatabaseStep& step)
{
    sender.Send(
        DatabaseLines(step),
        [&](ServerChanges& changes)
        {
            if (!step.Before)
                changes.AddDatabase(*step.After);
            else if (!step.After)
                changes.DeleteDatabase(step.Before->Name);
            else
                changes.ModifyDatabase(*step.Before, *step.After);
        },
        [&] { return ReadDatabase(session, StepName(step)) == step.After; });
}

ApplyOutcome Send(TKORVELSession& session, ServerChanges& changes, const StatePlan& plan,
                  const std::function<StringList()>& verify)
{
    Sender sender(changes, plan.Requests());
    for (const UserStep& step : plan.Users)
        SendUser(session, sender, step);
    for (const DatabaseStep& step : plan.Databases)
        SendDatabase(session, sender, step);
    for (const PairChange& change : plan.Rights.Changes())
        sender.Send(
            {RightsLine(change)}, [&](ServerChanges& c) { c.ChangeRights(change); },
            [&] { return ReadPairRights(session, change.User, change.Database) == change.After; });
    for (const DatabaseStep& step : plan.DatabaseDeletions)
        SendDatabase(session, sender, step);
    for (const UserStep& step : plan.UserDeletions)
        SendUser(session, sender, step);
    if (plan.Config)
        sender.Send(
            ConfigLines(*plan.Config),
            [&](ServerChanges& c) { c.ModifyConfig(plan.Config->Before, plan.Config->After); },
            [&]
            {
                ServerConfig now;
                session.GetServerConfig(now);
                return ConfigFieldChanges(now, plan.Config->After).empty();
            });
    StringList unmatched;
    if (verify && sender.Ok())
        unmatched = verify();
    if (plan.OwnAccount)
        SendUser(session, sender, *plan.OwnAccount);
    ApplyOutcome outcome = sender.Outcome();
    outcome.Unmatched = std::move(unmatched);
    return outcome;
}

// The lock-out preview and the address checks of the window's Server page, before the configuration is sent.
void ConfirmConfig(TKORVELSession& session, const ConfigStep& step, const ApplyQuestions& questions)
{
    StringList sessionAddresses;
    if (addresses::MayLockOut(step.Before, step.After))
        sessionAddresses = ReadSessionAddresses(session);
    std::string text;
    for (const std::string& warning : ConfigWarnings(step.Before, step.After, sessionAddresses))
        text += (text.empty() ? "" : "\n") + warning;
    if (!text.empty())
        questions.Confirm(text, "Save anyway?");
}

// "user 'bob'" and the like, for a line of Unmatched.
template <typename Step, typename Read>
void Match(StringList& lines, const char* kind, const std::vector<Step>& steps, Read read)
{
    for (const Step& step : steps)
        if (read(StepName(step)) != step.After)
            lines.push_back(std::string(kind) + " " + Quoted(StepName(step)) + " is not as planned");
}

} // namespace

StringList Unmatched(TKORVELSession& session, const StatePlan& plan)
{
    StringList lines;
    auto user = [&](const std::string& name) { return ReadUser(session, name); };
    auto database = [&](const std::string& name) { return ReadDatabase(session, name); };
    Match(lines, "user", plan.Users, user);
    Match(lines, "database", plan.Databases, database);
    for (const PairChange& change : plan.Rights.Changes())
        if (ReadPairRights(session, change.User, change.Database) != change.After)
            lines.push_back(Quoted(change.User) + " on " + Quoted(change.Database) + ": rights are not " +
                            RightsLetters(change.After));
    Match(lines, "database", plan.DatabaseDeletions, database);
    Match(lines, "user", plan.UserDeletions, user);
    if (plan.Config)
    {
        ServerConfig now;
        session.GetServerConfig(now);
        if (!ConfigFieldChanges(now, plan.Config->After).empty())
            lines.push_back("config: " + ChangeText(ConfigFieldChanges(plan.Config->After, now)) +
                            " after the change");
    }
    return lines;
}

CheckedStatePlan CheckStatePlan(TKORVELSession& session, const StatePlan& plan)
{
    return Checker(session, plan).Check();
}

ApplyOutcome ApplyStatePlan(TKORVELSession& session, ServerChanges& changes, const StatePlan& plan,
                            const ApplyQuestions& questions)
{
    questions.Confirm(plan.Summary() + " to send.", "Send them?");
    if (plan.OwnAccountQuestion)
        questions.Confirm({}, *plan.OwnAccountQuestion);
    if (plan.Config)
        ConfirmConfig(session, *plan.Config, questions);
    // Checked again after each answer about objects changed meanwhile, so what is sent is built from what
    // the server held after the last question.
    StatePlan candidate = plan;
    StringList skipped;
    for (;;)
    {
        CheckedStatePlan checked = CheckStatePlan(session, candidate);
        if (checked.Changed.empty())
        {
            ApplyOutcome outcome = Send(session, changes, checked.Kept, questions.Verify);
            outcome.Skipped = skipped.size();
            outcome.SkippedObjects = std::move(skipped);
            return outcome;
        }
        std::string changed;
        for (const std::string& line : checked.Changed)
            changed += line + "\n";
        if (questions.Overwrite(changed))
            candidate = std::move(checked.Overwriting);
        else
        {
            skipped.insert(skipped.end(), checked.Changed.begin(), checked.Changed.end());
            candidate = std::move(checked.Kept);
        }
    }
}

} // namespace korvel::operations
