// servers [--profile NAME...] [--timeout S]: the state of every profile's server (or of the named ones),
// checked in parallel, each by its own deadline, for cron and monitoring. Passwords come from the keyring
// only; nobody is asked anything.
#include "cli/Commands.h"
#include "cli/Connection.h"
#include "cli/UsageError.h"
#include "engine/wire/Utf8.h"
#include "fleet/Sweep.h"
#include "settings/Profiles.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <memory>

namespace korvel::cli
{

namespace
{

using fleet::ServerReport;
using fleet::ServerState;

constexpr double DefaultTimeoutSeconds = 5;

struct ServersArguments
{
    std::vector<std::string> Profiles;
    double TimeoutSeconds = 0; // 0: the global --timeout, else the default
};

// A short word per state for scripts: the text beside it is for people.
const char* StateCode(ServerState state)
{
    switch (state)
    {
    case ServerState::NotChecked:
        return "not_checked";
    case ServerState::Up:
        return "up";
    case ServerState::Refused:
        return "refused";
    case ServerState::NoAnswer:
        return "no_answer";
    case ServerState::LoginRefused:
        return "login_refused";
    case ServerState::PasswordNeeded:
        return "password_needed";
    case ServerState::HostKeyUnknown:
        return "host_key_unknown";
    case ServerState::Failed:
        break;
    }
    return "failed";
}

// `format` of strftime in local time, or UTC.
std::string TimeText(std::chrono::system_clock::time_point when, const char* format, bool utc)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm parts{};
    if (utc)
        gmtime_r(&seconds, &parts);
    else
        localtime_r(&seconds, &parts);
    char text[64] = {};
    std::strftime(text, sizeof text, format, &parts);
    return text;
}

std::string RoundTripText(double milliseconds)
{
    char text[32] = {};
    std::snprintf(text, sizeof text, "%.1f", milliseconds);
    return text;
}

// The named profiles, each once, in the order given; every profile when none is named.
std::vector<settings::Profile> Chosen(const std::vector<std::string>& names)
{
    const settings::ProfileStore store;
    if (names.empty())
        return store.List();
    std::vector<settings::Profile> chosen;
    for (const std::string& name : names)
    {
        std::optional<settings::Profile> profile = store.Find(name);
        if (!profile)
            throw UsageError("there is no profile named " + ShownName(name) + " (see `profile list`)");
        if (std::none_of(chosen.begin(), chosen.end(),
                         [&](const settings::Profile& earlier) { return earlier.Name == profile->Name; }))
            chosen.push_back(std::move(*profile));
    }
    return chosen;
}

Json ReportJson(const settings::Profile& profile, const ServerReport& report)
{
    Json row{{"profile", profile.Name},
             {"where", fleet::WhereText(profile)},
             {"state", StateCode(report.State)},
             {"text", fleet::StateText(report)}};
    if (report.State == ServerState::Failed)
        row["detail"] = report.Detail;
    if (report.State == ServerState::Up)
    {
        row["version"] = report.Version;
        row["sessions"] = report.Sessions;
        row["connected"] = report.Connected;
        row["round_trip_ms"] = std::round(report.RoundTripMs * 10) / 10;
    }
    if (report.State != ServerState::NotChecked)
        row["checked"] = TimeText(report.CheckedAt, "%Y-%m-%dT%H:%M:%SZ", true);
    return row;
}

std::vector<std::string> ReportCells(const settings::Profile& profile, const ServerReport& report)
{
    const bool up = report.State == ServerState::Up;
    return {profile.Name,
            fleet::WhereText(profile),
            fleet::StateText(report),
            up ? report.Version : "",
            up ? std::to_string(report.Connected) + "/" + std::to_string(report.Sessions) : "",
            up ? RoundTripText(report.RoundTripMs) : "",
            report.State == ServerState::NotChecked ? "" : TimeText(report.CheckedAt, "%H:%M:%S", false)};
}

CommandResult CheckServers(const ServersArguments& args, const GlobalOptions& options)
{
    std::vector<std::string> names = args.Profiles;
    if (!options.Profile.empty()) // `--profile NAME servers`: the global option names one as well
        names.insert(names.begin(), options.Profile);
    const std::vector<settings::Profile> profiles = Chosen(names);
    const double seconds = args.TimeoutSeconds > 0      ? args.TimeoutSeconds
                           : options.TimeoutSeconds > 0 ? options.TimeoutSeconds
                                                        : DefaultTimeoutSeconds;
    fleet::CheckSettings settings;
    settings.Deadline = std::chrono::milliseconds(static_cast<std::int64_t>(std::ceil(seconds * 1000)));
    fleet::Sweep sweep(settings);
    const std::vector<ServerReport> reports = sweep.RunAll(profiles);

    Json rows = Json::array();
    std::vector<std::vector<std::string>> table{
        {"Profile", "Where", "State", "Version", "Sessions", "Round trip ms", "Checked"}};
    bool allUp = true;
    for (std::size_t at = 0; at < profiles.size(); ++at)
    {
        rows.push_back(ReportJson(profiles[at], reports[at]));
        table.push_back(ReportCells(profiles[at], reports[at]));
        allUp = allUp && reports[at].State == ServerState::Up;
    }
    const std::optional<std::string> none = EmptyListText(rows, "No profiles.");
    return {rows, allUp ? 0 : 1, false, profiles.empty() ? none.value_or("") : TextTable(table)};
}

} // namespace

void AddServersCommand(CLI::App& app, const GlobalOptions& options, LocalAction& chosen)
{
    auto args = std::make_shared<ServersArguments>();
    CLI::App* servers = AddLocalCommand(
        app, "servers",
        "The state of every profile's server (or of the named ones), checked in parallel; never asks for "
        "anything (passwords from the keyring only); exit status 1 when any is not up",
        chosen, [args, &options] { return CheckServers(*args, options); });
    servers->add_option("--profile", args->Profiles, "Check only this profile (may be repeated)");
    servers
        ->add_option("--timeout", args->TimeoutSeconds,
                     "Give each server SECONDS to answer (default 5); a silent one is reported as such")
        ->type_name("SECONDS")
        ->check(CLI::Range(0.001, 86400.0).description(""));
}

} // namespace korvel::cli
