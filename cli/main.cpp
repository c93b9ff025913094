// korvel-admin-cli: one administration command against a KORVEL server. Exit status 0 on success, 1 when the
// session or the server fails (the error's message alone on one stderr line), 2 for a usage error (a hint on
// stderr, nothing sent).
#include "cli/Commands.h"
#include "cli/Connection.h"
#include "cli/UsageError.h"
#include "engine/EngineError.h"
#include "session/SessionList.h"

#include <csignal>
#include <iostream>

namespace korvel::cli
{

namespace
{

constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

int UsageFailure(const std::string& message)
{
    std::cerr << "korvel-admin-cli: " << message << "\nRun with --help for more information.\n";
    return ExitUsage;
}

int Failure(std::string message)
{
    for (char& c : message)
        if (c == '\n' || c == '\r')
            c = ' ';
    std::cerr << message << '\n';
    return ExitFailure;
}

int RunCommand(const GlobalOptions& options, const CommandAction& action)
{
    Connection connection(options);
    connection.Open();
    CommandResult result = action(connection.Session());
    PrintResult(std::cout, result.Output, options.Json);
    std::cout.flush();
    connection.Close();
    return result.ExitStatus;
}

int Run(int argc, char** argv)
{
    CLI::App app{"Administers a KORVEL database server: one command per run.", "korvel-admin-cli"};
    app.require_subcommand(1);
    GlobalOptions options;
    AddGlobalOptions(app, options);
    CommandAction action;
    AddServerCommands(app, action);
    AddConfigCommands(app, action);
    AddUserCommands(app, action);
    AddDatabaseCommands(app, action);
    AddRightsCommands(app, action);

    try
    {
        app.parse(argc, argv);
    }
    catch (const CLI::CallForHelp& help)
    {
        return app.exit(help);
    }
    catch (const CLI::CallForAllHelp& help)
    {
        return app.exit(help);
    }
    catch (const CLI::ParseError& error)
    {
        return UsageFailure(error.what());
    }
    catch (const UsageError& error)
    {
        return UsageFailure(error.what());
    }

    try
    {
        return RunCommand(options, action);
    }
    catch (const UsageError& error)
    {
        return UsageFailure(error.what());
    }
    catch (const std::exception& error)
    {
        return Failure(error.what());
    }
}

} // namespace

} // namespace korvel::cli

int main(int argc, char** argv)
{
    // A server that drops the connection must end in an engine error, not in a signal.
    std::signal(SIGPIPE, SIG_IGN);
    korvel::CreateSessions();
    int status = korvel::cli::Run(argc, argv);
    korvel::DestroySessions();
    return status;
}
