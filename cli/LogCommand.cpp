// korvel-admin-cli log [--tail N] [--grep PATTERN [--regex]] [--follow [--interval S]] [--output FILE]: the
// server's log, its last lines, the matching ones, and, while following, the new lines as they are written
// until Ctrl-C (which logs out and exits 0).
#include "cli/Commands.h"
#include "cli/UsageError.h"
#include "engine/LogText.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <regex>
#include <thread>

namespace korvel::cli
{
namespace
{

volatile std::sig_atomic_t interrupted = 0;

void OnInterrupt(int)
{
    interrupted = 1;
}

// Ctrl-C ends following instead of the program, for as long as this lives.
class InterruptCatcher
{
public:
    InterruptCatcher()
    {
        interrupted = 0;
        struct sigaction action
        {
        };
        action.sa_handler = OnInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &previous_);
    }
    ~InterruptCatcher() { sigaction(SIGINT, &previous_, nullptr); }
    InterruptCatcher(const InterruptCatcher&) = delete;
    InterruptCatcher& operator=(const InterruptCatcher&) = delete;

private:
    struct sigaction previous_
    {
    };
};

struct LogOptions
{
    std::string Output;
    std::size_t Tail = 0; // 0: every line
    std::string Grep;
    bool Regex = false;
    bool Follow = false;
    double IntervalSeconds = 2;
};

class LineFilter
{
public:
    explicit LineFilter(const LogOptions& options) : plain_(options.Grep)
    {
        if (options.Regex)
            regex_.emplace(options.Grep, std::regex::ECMAScript | std::regex::optimize);
    }
    bool Matches(std::string_view line) const
    {
        if (regex_)
            return std::regex_search(line.begin(), line.end(), *regex_);
        return line.find(plain_) != std::string_view::npos;
    }

private:
    std::string plain_;
    std::optional<std::regex> regex_;
};

// The matching lines from `first` on, of which only the last `tail` (0: all).
StringList Select(const LogText& log, std::size_t first, const LineFilter& filter, std::size_t tail)
{
    StringList lines;
    for (std::size_t i = first; i < log.LineCount(); ++i)
        if (const std::string_view line = log.Line(i); filter.Matches(line))
            lines.emplace_back(line);
    if (tail > 0 && lines.size() > tail)
        lines.erase(lines.begin(), lines.end() - static_cast<std::ptrdiff_t>(tail));
    return lines;
}

void WriteLines(std::ostream& out, const StringList& lines, const char* lineEnd)
{
    for (const std::string& line : lines)
        out << line << lineEnd;
    out.flush();
}

void WriteLogFile(const std::string& path, const StringList& lines)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    WriteLines(file, lines, "\r\n");
    file.close();
    if (!file)
        throw std::runtime_error("Cannot write the log file " + path + ": " + std::strerror(errno));
}

// Waits up to `seconds`; false when Ctrl-C came meanwhile.
bool Pause(double seconds)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!interrupted && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return !interrupted;
}

// Prints the selected lines, then re-reads the log and prints what is new until Ctrl-C. Each read fetches
// the whole log; the new lines are found by the end of the held one.
void Follow(TKORVELSession& session, const LogOptions& options, const LineFilter& filter)
{
    InterruptCatcher catcher;
    LogText held;
    session.GetServerLogText(held);
    WriteLines(std::cout, Select(held, 0, filter, options.Tail), "\n");
    while (Pause(options.IntervalSeconds))
    {
        LogText latest;
        try
        {
            session.GetServerLogText(latest);
        }
        catch (...)
        {
            if (interrupted)
                return; // the read was cut short by Ctrl-C
            throw;
        }
        std::optional<std::size_t> first = FindNewLines(held, latest);
        if (!first)
        {
            std::cerr << "korvel-admin-cli: the server's log was cut; reading it from its new start\n";
            first = 0;
        }
        WriteLines(std::cout, Select(latest, *first, filter, 0), "\n");
        held = std::move(latest);
    }
}

} // namespace

void AddLogCommand(CLI::App& app, CommandAction& chosen)
{
    auto options = std::make_shared<LogOptions>();
    CLI::App* log = AddCheckedCommand(
        app, "log", "The server log", chosen,
        [options]() -> CommandAction
        {
            if (options->Follow && !options->Output.empty())
                throw UsageError("--follow prints to the terminal; it cannot be combined with --output");
            if (options->Regex && options->Grep.empty())
                throw UsageError("--regex needs --grep PATTERN");
            try
            {
                LineFilter check(*options);
            }
            catch (const std::regex_error& error)
            {
                throw UsageError("--grep: not a valid regular expression: " + std::string(error.what()));
            }
            return [options](TKORVELSession& session)
            {
                const LineFilter filter(*options);
                if (options->Follow)
                {
                    Follow(session, *options, filter);
                    return CommandResult{Json::array()};
                }
                LogText log;
                session.GetServerLogText(log);
                StringList lines = Select(log, 0, filter, options->Tail);
                if (options->Output.empty())
                    return CommandResult{Json(lines)};
                WriteLogFile(options->Output, lines);
                return CommandResult{Json::object()};
            };
        });
    log->add_option("--output", options->Output,
                    "Write the log to FILE (CR LF line ends) instead of printing it");
    log->add_option("--tail", options->Tail, "Only the last N (matching) lines")->check(CLI::PositiveNumber);
    log->add_option("--grep", options->Grep, "Only lines containing PATTERN (case-sensitive)");
    log->add_flag("--regex", options->Regex, "PATTERN is a regular expression (ECMAScript)");
    log->add_flag("--follow", options->Follow, "Print new lines as they are written, until Ctrl-C");
    log->add_option("--interval", options->IntervalSeconds, "Seconds between two reads while following")
        ->check(CLI::Range(0.1, 3600.0))
        ->capture_default_str();
}

} // namespace korvel::cli
