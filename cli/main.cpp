// korvel-admin-cli: one administration command against a KORVEL server. Exit status 0 on success, 1 when the
// session or the server fails or the output cannot be written (the error's message alone on one stderr line),
// 2 for a usage error (a hint on stderr, nothing sent), 128 + the signal number after Ctrl-C or SIGTERM (the
// terminal restored, the session logged out). With --json a failure is one JSON object on stderr instead:
// {"error": {"code": STATUS, "message": TEXT}}.
#include "cli/CommandLine.h"
#include "cli/Interrupt.h"
#include "cli/Journaling.h"
#include "cli/ProfileOptions.h"
#include "cli/UsageError.h"
#include "engine/wire/Utf8.h"
#include "operations/ServerChanges.h"
#include "session/SessionList.h"

#include <csignal>
#include <iostream>
#include <new>
#include <optional>
#include <unistd.h>

namespace korvel::cli
{

namespace
{

constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

// The failure as a program reading --json output takes it: the exact text, the exit status as its code.
int JsonFailure(int status, const std::string& message)
{
    std::cerr << ToJsonText(Json{{"error", {{"code", status}, {"message", message}}}}) << '\n';
    return status;
}

int UsageFailure(const std::string& message, bool json)
{
    if (json)
        return JsonFailure(ExitUsage, message);
    std::cerr << "korvel-admin-cli: " << message << "\nRun with --help for more information.\n";
    return ExitUsage;
}

int Failure(std::string message, bool json)
{
    if (json)
        return JsonFailure(ExitFailure, message);
    for (char& c : message)
        if (c == '\n' || c == '\r')
            c = ' ';
    std::cerr << ShownName(message) << '\n';
    return ExitFailure;
}

// The text of a change whose outcome is unknown (it says so), or nothing for any other failure.
std::optional<std::string> UnknownOutcome(std::exception_ptr error)
{
    try
    {
        std::rethrow_exception(error);
    }
    catch (const operations::OutcomeUnknown& unknown)
    {
        return unknown.what();
    }
    catch (...)
    {
        return std::nullopt;
    }
}

// Every way out logs the session out. A failure is raised as what ended it: the signal that cut the call
// short, the time-out that ran out (naming the server), or the failure itself.
int RunCommand(const GlobalOptions& options, const CommandAction& action)
{
    Connection connection(options);
    bool connecting = true;
    try
    {
        connection.Open();
        connecting = false;
        ThrowIfInterrupted();
        CommandResult result = action(connection.Session());
        if (!result.EndedByCtrlC)
            ThrowIfInterrupted();
        WriteOutput(STDOUT_FILENO,
                    result.Text && !options.Json ? *result.Text : ResultText(result.Output, options.Json));
        connection.Close();
        return result.ExitStatus;
    }
    catch (...)
    {
        const Interruption why = connection.Session().LastInterruption();
        const std::optional<std::string> unknown = UnknownOutcome(std::current_exception());
        connection.CloseSoon();
        if (unknown && ReceivedSignal())
            std::cerr << "korvel-admin-cli: " << *unknown << '\n';
        ThrowIfInterrupted();
        if (why == Interruption::Expired)
        {
            const std::runtime_error timeout = connection.TimeoutError(connecting);
            if (unknown)
                throw std::runtime_error(timeout.what() + std::string(". ") + *unknown);
            throw timeout;
        }
        throw;
    }
}

int Run(int argc, char** argv)
{
    CommandLine line;
    try
    {
        line.Parse(argc, argv);
    }
    catch (const CLI::Success& helpOrVersion)
    {
        return line.App.exit(helpOrVersion);
    }
    catch (const CLI::ParseError& error)
    {
        return UsageFailure(error.what(), line.JsonWanted());
    }
    catch (const UsageError& error)
    {
        return UsageFailure(error.what(), line.JsonWanted());
    }
    catch (const std::bad_alloc&)
    {
        // Reading what the command line names (a state file) is bounded; should it still run out, the file
        // is at fault, not the program.
        return UsageFailure("out of memory reading the input", line.JsonWanted());
    }
    catch (const std::exception& error)
    {
        return UsageFailure(error.what(), line.JsonWanted());
    }
    catch (...)
    {
        return UsageFailure("the input could not be read", line.JsonWanted());
    }
    const bool json = line.Options.Json;

    try
    {
        if (line.Local)
        {
            const CommandResult result = line.Local();
            WriteOutput(STDOUT_FILENO, result.Text && !line.Options.Json
                                           ? *result.Text
                                           : ResultText(result.Output, line.Options.Json));
            return result.ExitStatus;
        }
        ApplyProfile(line.App, line.Options);
        SetJournalProfile(line.Options.Profile);
        return RunCommand(line.Options, line.Action);
    }
    catch (const UsageError& error)
    {
        return UsageFailure(error.what(), json);
    }
    catch (const StoppedBySignal& interruption)
    {
        if (json)
            return JsonFailure(128 + interruption.Signal(), "interrupted");
        std::cerr << "korvel-admin-cli: interrupted\n";
        return 128 + interruption.Signal();
    }
    catch (const std::exception& error)
    {
        return Failure(error.what(), json);
    }
    catch (...)
    {
        return Failure("korvel-admin-cli: an unknown error", json);
    }
}

} // namespace

} // namespace korvel::cli

int main(int argc, char** argv)
{
    // A server that drops the connection, or a reader that closes the output pipe, must end in an error, not
    // in a signal.
    std::signal(SIGPIPE, SIG_IGN);
    korvel::cli::InstallInterruptHandling();
    korvel::CreateSessions();
    int status = korvel::cli::Run(argc, argv);
    korvel::DestroySessions();
    return status;
}
