// export, plan and apply: a server's users, databases, rights and configuration as a state file, what
// applying one would change, and the change itself (operations/StateFile.h, StatePlan.h, StateApply.h).
#include "addresses/AddressChecks.h"
#include "cli/Commands.h"
#include "cli/Confirm.h"
#include "cli/Journaling.h"
#include "cli/UsageError.h"
#include "journal/JsonText.h"
#include "operations/ConfigChecks.h"
#include "operations/StateApply.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace korvel::cli
{

namespace
{

using operations::MaxStateFileBytes;
using operations::PlanLine;
using operations::StatePlan;

struct StateArguments
{
    std::string File;
    std::string Output;
    bool Prune = false;
    bool Force = false;
    bool DetailedExitCode = false;
    const CLI::Option* Json = nullptr; // the global --json
    operations::StateFile State;
};

using Arguments = std::shared_ptr<StateArguments>;

// The plan found changes (plan --detailed-exitcode); 2 stays the usage error.
constexpr int ExitChanges = 3;

// A state file is a regular file (or standard input) of at most MaxStateFileBytes: a directory would read as
// nothing, and "No changes." would be a lie; a bigger file is a mistake, not something to hold in memory.
std::string ReadText(const std::string& file)
{
    const std::string name = file == "-" ? "<stdin>" : file;
    auto tooBig = [&]
    { return UsageError(name + ": over " + std::to_string(MaxStateFileBytes >> 20) + " MiB"); };
    std::string text;
    if (file == "-")
    {
        char chunk[65536];
        while (std::cin.read(chunk, sizeof chunk) || std::cin.gcount() > 0)
        {
            text.append(chunk, static_cast<std::size_t>(std::cin.gcount()));
            if (text.size() > MaxStateFileBytes)
                throw tooBig();
        }
        return text;
    }
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw UsageError("cannot read " + file + ": " + std::strerror(errno));
    struct Closer
    {
        int Fd;
        ~Closer() { ::close(Fd); }
    } closer{fd};
    struct stat status
    {
    };
    if (fstat(fd, &status) != 0)
        throw UsageError("cannot read " + file + ": " + std::strerror(errno));
    if (!S_ISREG(status.st_mode))
        throw UsageError("cannot read " + file + ": " +
                         (S_ISDIR(status.st_mode) ? "a directory" : "not a file"));
    if (static_cast<std::uintmax_t>(status.st_size) > MaxStateFileBytes)
        throw tooBig();
    char chunk[65536];
    for (ssize_t got; (got = ::read(fd, chunk, sizeof chunk)) != 0;)
    {
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw UsageError("cannot read " + file + ": " + std::strerror(errno));
        text.append(chunk, static_cast<std::size_t>(got));
        if (text.size() > MaxStateFileBytes) // grew while read
            throw tooBig();
    }
    return text;
}

[[noreturn]] void RaiseMistakes(const std::string& file, const std::vector<operations::Mistake>& mistakes)
{
    std::string text;
    for (const operations::Mistake& mistake : mistakes)
        text += (text.empty() ? "" : "\n") + (file == "-" ? std::string("<stdin>") : file) + ":" +
                std::to_string(mistake.Line) + ": " + mistake.Message;
    throw UsageError(text);
}

// Reads and checks the file before anything is sent; a relative password_file starts beside it.
void LoadStateFile(StateArguments& args)
{
    const std::size_t slash = args.File.rfind('/');
    const std::string directory =
        args.File == "-" || slash == std::string::npos ? "" : args.File.substr(0, slash);
    auto reading = operations::ReadStateFile(ReadText(args.File), slash == 0 ? "/" : directory);
    if (!reading.Mistakes.empty())
        RaiseMistakes(args.File, reading.Mistakes);
    args.State = std::move(reading.State);
}

Json LineJson(const PlanLine& line)
{
    static const std::map<char, const char*> actions{{'+', "add"}, {'~', "modify"}, {'-', "delete"}};
    Json out{{"action", actions.at(line.Action)}, {"kind", line.Kind}, {"object", line.Object}};
    if (line.Kind == "rights")
        out["object"] = Json{{"user", line.Object}, {"database", line.Database}};
    if (!line.Field.empty())
        out["field"] = line.Field;
    if (line.Action != '+' && line.Field != "password")
        out["before"] = line.Before;
    if (line.Action != '-' && line.Field != "password")
        out["after"] = line.After;
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

// The server's state and the plan from it. A mistake only the server's state shows is a usage error too:
// nothing has been sent.
StatePlan MakePlan(TKORVELSession& session, const StateArguments& args)
{
    const operations::ServerState state = operations::ReadServerState(session);
    const TDataSession* remote = session.DataSession();
    auto planning = operations::MakePlan(state, args.State,
                                         {args.Prune, remote ? remote->UserName() : session.RemoteUser()});
    if (!planning.Mistakes.empty())
        RaiseMistakes(args.File, planning.Mistakes);
    for (const std::string& warning : planning.Plan.Warnings)
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
    return LinesResult(plan.Lines(), out, args.DetailedExitCode && !plan.Empty() ? ExitChanges : 0);
}

CommandResult Apply(TKORVELSession& session, const StateArguments& args)
{
    StatePlan plan = MakePlan(session, args);
    if (plan.Refusal)
        throw std::runtime_error(*plan.Refusal);
    if (plan.Empty())
        return LinesResult({}, Json{{"summary", plan.Summary()}, {"done", 0}, {"skipped", 0}});
    operations::ServerChanges changes = Changes(session);
    const bool force = args.Force;
    operations::ApplyOutcome outcome = operations::ApplyStatePlan(
        session, changes, plan,
        {[force](const std::string& warning, const std::string& question)
         { Confirm(warning, question, force); },
         [force](const std::string& changed)
         {
             std::cerr << "korvel-admin-cli: changed on the server since they were read:\n" << changed;
             if (AskYesNo("Overwrite these too?", force))
                 return true;
             std::cerr << "korvel-admin-cli: skipping them\n";
             return false;
         }});
    if (outcome.Unknown)
        throw operations::OutcomeUnknown(outcome.Error);
    if (!outcome.Error.empty())
        throw std::runtime_error(outcome.Error);
    return LinesResult(
        outcome.Made,
        Json{{"summary", plan.Summary()}, {"done", outcome.Done}, {"skipped", outcome.Skipped}});
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
            LoadStateFile(*args);
            return [args](TKORVELSession& session) { return Plan(session, *args); };
        });
    AddFileArgument(plan, args);
    plan->add_flag("--detailed-exitcode", args->DetailedExitCode,
                   "Exit 0 without changes and 3 with changes");

    CLI::App* apply =
        AddCheckedCommand(app, "apply", "Make the changes a state file asks for", chosen,
                          [args]
                          {
                              LoadStateFile(*args);
                              return [args](TKORVELSession& session) { return Apply(session, *args); };
                          });
    AddFileArgument(apply, args);
    apply->add_flag("--force", args->Force,
                    "Send without asking (and overwrite what another session changed since it was read)");
}

} // namespace korvel::cli
