// export, plan and apply: a server's users, databases, rights and configuration as a state file, what
// applying one would change (saved with --out for a later apply), and the change itself
// (operations/StateFile.h, StatePlan.h, StateApply.h, SavedPlan.h). Exit status: plan --detailed-exitcode 0
// without changes, 3 with changes, 1 when apply would refuse them; apply 0 only when the checking read after
// the last change finds the server as asked, 1 when changes were skipped or it does not; 2 for mistakes.
#include "addresses/AddressChecks.h"
#include "cli/Commands.h"
#include "cli/Confirm.h"
#include "cli/Journaling.h"
#include "cli/StateInput.h"
#include "cli/UsageError.h"
#include "engine/wire/Utf8.h"
#include "journal/JsonText.h"
#include "operations/ConfigChecks.h"
#include "operations/StateApply.h"

#include <algorithm>
#include <functional>
#include <iostream>
#include <memory>
#include <sstream>

namespace korvel::cli
{

namespace
{

using operations::PlanLine;
using operations::StatePlan;

struct StateArguments
{
    std::string File;
    std::string Output;
    std::string Out; // plan --out: the saved plan
    bool Prune = false;
    bool AllowEmptyPasswords = false;
    bool Force = false;
    bool DetailedExitCode = false;
    const CLI::Option* Json = nullptr; // the global --json
    StateInput Input;
};

using Arguments = std::shared_ptr<StateArguments>;

// The plan found changes (plan --detailed-exitcode); 2 stays the usage error, 1 any other failure.
constexpr int ExitChanges = 3;
constexpr int ExitFailure = 1;

Json LineJson(const PlanLine& line)
{
    static const std::map<char, const char*> actions{{'+', "add"}, {'~', "modify"}, {'-', "delete"}};
    Json out{{"action", actions.at(line.Action)}, {"kind", line.Kind}, {"object", line.Object}};
    if (line.Kind == "rights")
        out["object"] = Json{{"user", line.Object}, {"database", line.Database}};
    if (!line.Field.empty())
        out["field"] = line.Field;
    // A user or database added or deleted shows all its values; a change, each field before and after
    // (a password only as "set", "changed", "emptied").
    if (line.Action == '-')
        out["before"] = line.Values.is_null() ? Json(line.Before) : line.Values;
    else if (line.Action == '+')
        out["after"] = line.Values.is_null() ? Json(line.After) : line.Values;
    else
    {
        out["before"] = line.Before;
        out["after"] = line.After;
    }
    out["text"] = line.Text();
    return out;
}

// The lines as text (one per change) and as JSON.
CommandResult LinesResult(const std::vector<PlanLine>& lines, Json out, int status = 0)
{
    std::string text;
    Json changes = Json::array();
    for (const PlanLine& line : lines)
    {
        text += line.Text() + "\n";
        changes.push_back(LineJson(line));
    }
    out["changes"] = changes;
    return {out, status, false, lines.empty() ? "No changes.\n" : text};
}

void Warn(const std::string& warning)
{
    std::cerr << "korvel-admin-cli: warning: " << warning << '\n';
}

std::string LoginUser(TKORVELSession& session)
{
    const TDataSession* remote = session.DataSession();
    return remote ? remote->UserName() : session.RemoteUser();
}

// The server's state and the plan from it. A mistake only the server's state shows is a usage error too:
// nothing has been sent.
StatePlan MakePlan(TKORVELSession& session, const StateArguments& args, bool warn = true)
{
    const operations::ServerState state = operations::ReadServerState(session);
    auto planning = operations::MakePlan(state, args.Input.State,
                                         {.Prune = args.Prune,
                                          .LoginUser = LoginUser(session),
                                          .AllowEmptyPasswords = args.AllowEmptyPasswords});
    if (!planning.Mistakes.empty())
        RaiseMistakes(args.Input.Shown, planning.Mistakes);
    for (const std::string& warning : planning.Plan.Warnings)
        if (warn)
            Warn(warning);
    return std::move(planning.Plan);
}

CommandResult Plan(TKORVELSession& session, const StateArguments& args)
{
    StatePlan plan = MakePlan(session, args);
    Json out{{"summary", plan.Summary()}};
    if (plan.Refusal)
    {
        Warn("apply would refuse this plan: " + *plan.Refusal);
        out["refusal"] = *plan.Refusal;
    }
    if (plan.OwnAccountQuestion)
        Warn("apply would ask: " + *plan.OwnAccountQuestion);
    if (plan.Config) // the address checks apply makes before it sends the configuration
        for (const std::string& warning :
             operations::ConfigWarnings(plan.Config->Before, plan.Config->After,
                                        addresses::MayLockOut(plan.Config->Before, plan.Config->After)
                                            ? operations::ReadSessionAddresses(session)
                                            : StringList{}))
            Warn(warning);
    if (!args.Out.empty())
    {
        if (plan.Refusal)
            throw std::runtime_error("the plan is not saved: apply would refuse it");
        WritePlanFile(args.Out, operations::SavedPlanText(plan, args.Input.File, args.Input.Sha256,
                                                          LoginUser(session), args.Input.Directory));
        out["saved"] = args.Out;
    }
    const int status = !args.DetailedExitCode ? 0
                       : plan.Refusal         ? ExitFailure
                       : plan.Empty()         ? 0
                                              : ExitChanges;
    return LinesResult(plan.Lines(), out, status);
}

// Lines that hold names as they are, each as a person can read it without being misled.
StringList Shown(const StringList& lines)
{
    StringList shown;
    for (const std::string& line : lines)
        shown.push_back(ShownName(line));
    return shown;
}

StringList Shown(const std::string& lines)
{
    StringList split;
    std::istringstream in(lines);
    for (std::string line; std::getline(in, line);)
        split.push_back(line);
    return Shown(split);
}

// One line each, indented under a heading, on standard error.
void ListOnStderr(const std::string& heading, const StringList& lines)
{
    std::cerr << "korvel-admin-cli: " << heading << '\n';
    for (const std::string& line : lines)
        std::cerr << "  " << line << '\n';
}

// Sends `plan` with the questions on the terminal (the plan shown first) and turns what happened into the
// result: exit status 1 when changes were skipped or the checking read finds the server not as wanted.
CommandResult Send(TKORVELSession& session, const StatePlan& plan, const StateArguments& args,
                   journal::Run run, std::function<bool(const std::string&)> overwrite,
                   std::function<StringList()> verify)
{
    const bool force = args.Force;
    if (!force)
    {
        StringList lines;
        for (const PlanLine& line : plan.Lines())
            lines.push_back(line.Text());
        ListOnStderr("the changes to send:", lines);
    }
    const std::string runId = run.Id;
    operations::ServerChanges changes = Changes(session, std::move(run));
    operations::ApplyOutcome outcome =
        operations::ApplyStatePlan(session, changes, plan,
                                   {[force](const std::string& warning, const std::string& question)
                                    { Confirm(warning, question, force); },
                                    std::move(overwrite), std::move(verify)});
    if (outcome.Unknown)
        throw operations::OutcomeUnknown(outcome.Error);
    if (!outcome.Error.empty())
        throw std::runtime_error(outcome.Error);
    int status = 0;
    if (outcome.Skipped)
    {
        ListOnStderr(std::to_string(outcome.Skipped) + (outcome.Skipped == 1 ? " change" : " changes") +
                         " skipped (changed on the server since they were read):",
                     Shown(outcome.SkippedObjects));
        status = ExitFailure;
    }
    else if (!outcome.Unmatched.empty())
    {
        ListOnStderr("after the changes, the server does not hold what was asked for:",
                     Shown(outcome.Unmatched));
        status = ExitFailure;
    }
    return LinesResult(outcome.Made,
                       Json{{"summary", plan.Summary()},
                            {"done", outcome.Done},
                            {"skipped", outcome.Skipped},
                            {"run", runId}},
                       status);
}

CommandResult Apply(TKORVELSession& session, const StateArguments& args)
{
    StatePlan plan = MakePlan(session, args);
    if (plan.Refusal)
        throw std::runtime_error(*plan.Refusal);
    if (plan.Empty())
        return LinesResult({}, Json{{"summary", plan.Summary()}, {"done", 0}, {"skipped", 0}});
    const bool force = args.Force;
    auto overwrite = [force](const std::string& changed)
    {
        std::cerr << "korvel-admin-cli: changed on the server since they were read:\n";
        for (const std::string& line : Shown(changed))
            std::cerr << line << '\n';
        if (AskYesNo("Overwrite these too?", force))
            return true;
        std::cerr << "korvel-admin-cli: skipping them\n";
        return false;
    };
    // The checking read: planned again, nothing may be left but the logged-in account's own change, which
    // goes after it.
    const std::string own = plan.OwnAccount ? operations::StepName(*plan.OwnAccount) : std::string();
    auto verify = [&]
    {
        StringList left;
        for (const PlanLine& line : MakePlan(session, args, false).Lines())
            if (own.empty() || line.Kind != "user" || line.Object != own)
                left.push_back(line.Text());
        return left;
    };
    return Send(session, plan, args, {journal::NewRunId(), args.Input.File, args.Input.Sha256}, overwrite,
                verify);
}

// A saved plan: exactly its changes, refused when an object moved since the plan was made.
CommandResult ApplySaved(TKORVELSession& session, const StateArguments& args)
{
    operations::SavedPlan& saved = *args.Input.Saved;
    if (saved.LoginUser != LoginUser(session))
        throw std::runtime_error("the plan was made logged in as '" + ShownName(saved.LoginUser) +
                                 "': apply it logged in as that user");
    if (const StringList mistakes = operations::ResolvePasswords(session, saved); !mistakes.empty())
    {
        std::string text;
        for (const std::string& mistake : mistakes)
            text += (text.empty() ? "" : "\n") + args.Input.Shown + ": " + mistake;
        throw UsageError(text);
    }
    if (saved.Plan.Empty())
        return LinesResult({}, Json{{"summary", saved.Plan.Summary()}, {"done", 0}, {"skipped", 0}});
    auto refuse = [](const std::string& changed) -> bool
    {
        std::cerr << "korvel-admin-cli: changed on the server since the plan was made:\n";
        for (const std::string& line : Shown(changed))
            std::cerr << line << '\n';
        const auto moved = std::count(changed.begin(), changed.end(), '\n');
        throw std::runtime_error("the saved plan was not applied: " + std::to_string(moved) +
                                 (moved == 1 ? " object" : " objects") +
                                 " changed since it was made; make a new plan");
    };
    StatePlan checked = saved.Plan;
    checked.OwnAccount.reset(); // read after the rest, when this login can still read
    auto verify = [&] { return operations::Unmatched(session, checked); };
    return Send(session, saved.Plan, args, {journal::NewRunId(), saved.StateFile, saved.StateSha256}, refuse,
                verify);
}

CommandResult Export(TKORVELSession& session, const StateArguments& args)
{
    const Json document = operations::ExportDocument(operations::ReadServerState(session));
    const bool json = args.Json->count() > 0;
    const std::string text = json ? journal::DumpJson(document, 2) + "\n"
                                  : "# Passwords are not exported: set each password_env variable before "
                                    "apply to manage it (unset, "
                                    "an existing\n# user's password is left as it is).\n" +
                                        operations::YamlText(document);
    if (args.Output.empty())
        return {document, 0, false, text};
    WriteOutputFile(args.Output, text);
    return {Json{{"output", args.Output}}, 0, false, ""};
}

void AddFileArgument(CLI::App* command, const Arguments& args)
{
    command->add_option("FILE", args->File, "State file (YAML or JSON; - for standard input)")->required();
    command->add_flag("--prune", args->Prune,
                      "Delete what a section of the file leaves out (users, databases, rights)");
    command->add_flag("--allow-empty-passwords", args->AllowEmptyPasswords,
                      "Let a password variable set to nothing empty an existing user's password");
}

} // namespace

void AddStateCommands(CLI::App& app, CommandAction& chosen)
{
    auto args = std::make_shared<StateArguments>();
    args->Json = app.get_option("--json");

    CLI::App* exportCommand = AddCommand(
        app, "export", "Write the server's users, databases, rights and configuration as a state file",
        chosen, [args](TKORVELSession& session) { return Export(session, *args); });
    exportCommand->add_option("--output", args->Output, "Write to FILE instead of standard output");

    CLI::App* plan = AddCheckedCommand(
        app, "plan", "Show what applying a state file would change; nothing is sent", chosen,
        [args]
        {
            args->Input = ReadStateInput(args->File);
            if (args->Input.Saved)
                throw UsageError(args->Input.Shown + " is a saved plan: give it to apply");
            return [args](TKORVELSession& session) { return Plan(session, *args); };
        });
    AddFileArgument(plan, args);
    plan->add_flag("--detailed-exitcode", args->DetailedExitCode,
                   "Exit 0 without changes, 3 with changes, 1 when apply would refuse them");
    plan->add_option("--out", args->Out,
                     "Also save the plan to FILE (-out FILE too), for `apply FILE` to send exactly it");

    CLI::App* apply = AddCheckedCommand(
        app, "apply", "Make the changes a state file, or a plan saved by plan --out, asks for", chosen,
        [args]
        {
            args->Input = ReadStateInput(args->File);
            if (args->Input.Saved && args->Prune)
                throw UsageError("--prune: a saved plan holds its deletions already");
            if (args->Input.Saved)
                return CommandAction([args](TKORVELSession& session) { return ApplySaved(session, *args); });
            return CommandAction([args](TKORVELSession& session) { return Apply(session, *args); });
        });
    AddFileArgument(apply, args);
    apply->add_flag("--force", args->Force,
                    "Send without asking (and overwrite what another session changed since it was read)");
}

} // namespace korvel::cli
