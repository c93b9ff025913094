// history: the journal of changes (journal/History.h), read without a server.
#include "cli/Commands.h"
#include "cli/UsageError.h"
#include "journal/History.h"
#include "journal/JsonText.h"

#include <iostream>
#include <memory>

namespace korvel::cli
{

namespace
{

struct HistoryArguments
{
    std::string Server;
    std::string Since;
    std::string Run;
};

Json EntryJson(const journal::Entry& entry)
{
    return journal::ParseJson(journal::ToJsonLine(entry));
}

CommandResult ShowHistory(const HistoryArguments& args)
{
    journal::Filter filter;
    filter.Server = args.Server;
    filter.Run = args.Run;
    if (!args.Since.empty())
    {
        filter.Since = journal::ParseTime(args.Since);
        if (!filter.Since)
            throw UsageError(
                "--since: '" + args.Since +
                "' is not an ISO 8601 time (2024-05-01, 2024-05-01T12:00, 2024-05-01T12:00:00+02:00)");
    }
    const std::string path = journal::DefaultPath();
    journal::History history = journal::ReadHistory(path, filter);
    if (history.Unreadable)
        std::cerr << "korvel-admin-cli: " << history.Unreadable << " lines of " << path
                  << " are not journal entries; they are left out\n";
    Json entries = Json::array();
    for (const journal::Entry& entry : history.Entries)
        entries.push_back(EntryJson(entry));
    return {entries, 0, false, journal::HistoryText(history.Entries)};
}

} // namespace

void AddHistoryCommand(CLI::App& app, LocalAction& chosen)
{
    auto args = std::make_shared<HistoryArguments>();
    CLI::App* history =
        AddLocalCommand(app, "history", "The journal of changes made from this account (needs no server)",
                        chosen, [args] { return ShowHistory(*args); });
    history->add_option("--server", args->Server, "Only changes to HOST:PORT, or to every port of HOST");
    history->add_option("--since", args->Since,
                        "Only changes at or after this ISO 8601 time (UTC without an offset)");
    history->add_option("--run", args->Run, "Only the changes of one apply, by the run id it printed");
}

} // namespace korvel::cli
