// korvel-admin-cli log [--tail N] [--grep PATTERN [--regex]] [--follow [--interval S]] [--output FILE]: the
// server's log, its last lines, the matching ones, and, while following, the new lines as they are written
// until Ctrl-C (exit 0) or SIGTERM (exit 143), both of which log out.
#include "cli/Commands.h"
#include "cli/Interrupt.h"
#include "cli/Pattern.h"
#include "cli/UsageError.h"
#include "engine/LogText.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <unistd.h>

namespace korvel::cli
{
namespace
{

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
    // Raises PatternError for a regular expression that does not compile.
    explicit LineFilter(const LogOptions& options) : plain_(options.Grep)
    {
        if (options.Regex)
            regex_.emplace(options.Grep);
    }
    // `number` (from 1) names the line when the regular expression gives up on it.
    bool Matches(std::string_view line, std::size_t number) const
    {
        if (!regex_)
            return line.find(plain_) != std::string_view::npos;
        try
        {
            return regex_->Search(line);
        }
        catch (const PatternError& error)
        {
            throw std::runtime_error("--grep: the regular expression gave up on line " +
                                     std::to_string(number) + " of the log: " + error.what());
        }
    }

private:
    std::string plain_;
    std::optional<Pattern> regex_;
};

// The matching lines from `first` on, of which only the last `tail` (0: all).
StringList Select(const LogText& log, std::size_t first, const LineFilter& filter, std::size_t tail)
{
    StringList lines;
    for (std::size_t i = first; i < log.LineCount(); ++i)
        if (const std::string_view line = log.Line(i); filter.Matches(line, i + 1))
            lines.emplace_back(line);
    if (tail > 0 && lines.size() > tail)
        lines.erase(lines.begin(), lines.end() - static_cast<std::ptrdiff_t>(tail));
    return lines;
}

std::string Joined(const StringList& lines, const char* lineEnd)
{
    std::string text;
    for (const std::string& line : lines)
        text.append(line).append(lineEnd);
    return text;
}

void WriteLogFile(const std::string& path, const StringList& lines)
{
    WriteOutputFile(path, Joined(lines, "\r\n"));
}

// The server's text ends at nothing but its size: a zero byte in it is said, and the lines after it shown.
void ReportZeroByte(const LogText& log, std::size_t firstLine)
{
    if (std::optional<std::size_t> line = log.ZeroByteLine(firstLine))
        std::cerr << "korvel-admin-cli: the log holds a zero byte at line " << *line + 1
                  << "; the rest is shown after it\n";
}

// Prints the selected lines, then re-reads the log and prints what is new, until a signal (raised as
// StoppedBySignal) or a failure. Each read fetches the whole log; the new lines are found by the end of the
// held one. Output that cannot be written ends it at once, and so does a reader that went away while the
// log was quiet (`log --follow | head -1`): the wait between reads watches the output too.
[[noreturn]] void FollowLines(TKORVELSession& session, const LogOptions& options, const LineFilter& filter)
{
    LogText held;
    session.GetServerLogText(held);
    ReportZeroByte(held, 0);
    WriteOutput(STDOUT_FILENO, Joined(Select(held, 0, filter, options.Tail), "\n"));
    const int intervalMs = static_cast<int>(options.IntervalSeconds * 1000);
    for (;;)
    {
        const Wait waited = WaitFor(STDOUT_FILENO, intervalMs, 0);
        if (waited == Wait::Signalled)
            ThrowIfInterrupted();
        else if (waited == Wait::Ready)
            throw std::runtime_error(std::string("Cannot write the output: ") + std::strerror(EPIPE));
        LogText latest;
        session.GetServerLogText(latest);
        std::optional<std::size_t> first = FindNewLines(held, latest);
        if (!first)
        {
            std::cerr << "korvel-admin-cli: the server's log was cut; reading it from its new start\n";
            first = 0;
        }
        ReportZeroByte(latest, *first);
        WriteOutput(STDOUT_FILENO, Joined(Select(latest, *first, filter, 0), "\n"));
        held = std::move(latest);
    }
}

// Ctrl-C is the way to end following, also when it cuts a read or a write short; SIGTERM is not.
CommandResult Follow(TKORVELSession& session, const LogOptions& options, const LineFilter& filter)
{
    try
    {
        FollowLines(session, options, filter);
    }
    catch (...)
    {
        if (ReceivedSignal() != SIGINT)
            throw;
    }
    return CommandResult{Json::array(), 0, true};
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
            catch (const PatternError& error)
            {
                throw UsageError("--grep: not a valid regular expression: " + std::string(error.what()));
            }
            return [options](TKORVELSession& session)
            {
                const LineFilter filter(*options);
                if (options->Follow)
                    return Follow(session, *options, filter);
                LogText log;
                session.GetServerLogText(log);
                ReportZeroByte(log, 0);
                StringList lines = Select(log, 0, filter, options->Tail);
                if (options->Output.empty())
                    return CommandResult{Json(lines)};
                WriteLogFile(options->Output, lines);
                return CommandResult{Json::object()};
            };
        });
    log->add_option("--output", options->Output,
                    "Write the log to FILE (CR LF line ends) instead of printing it");
    log->add_option("--tail", options->Tail, "Only the last N (matching) lines")
        ->check(CLI::Validator(
            [](const std::string& text)
            {
                std::size_t lines = 0;
                return CLI::detail::lexical_cast(text, lines) && lines > 0
                           ? std::string()
                           : "give a number of lines, 1 or more";
            },
            "N"));
    log->add_option("--grep", options->Grep, "Only lines containing PATTERN (case-sensitive)");
    log->add_flag("--regex", options->Regex,
                  "PATTERN is a regular expression (Perl-compatible, as the window's search)");
    log->add_flag("--follow", options->Follow, "Print new lines as they are written, until Ctrl-C");
    log->add_option("--interval", options->IntervalSeconds, "Seconds between two reads while following")
        ->check(CLI::Range(0.1, 3600.0))
        ->capture_default_str();
}

} // namespace korvel::cli
