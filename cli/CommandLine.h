// The command line of korvel-admin-cli: the global options and every command on one parser.
//
// Option rules, the same for every command and option: a global option may stand before or after the
// command; after the command name, an option of the command itself wins over a global option of the same
// name (`user add bob --password PW` sets bob's password). Commands registered through AddCommand,
// AddCheckedCommand and AddGroup (Commands.h) follow them without further work.
#pragma once

#include "cli/Commands.h"
#include "cli/Connection.h"

#include <CLI/CLI.hpp>

#include <string>

namespace korvel::cli
{

struct CommandLine
{
    CommandLine();
    CommandLine(const CommandLine&) = delete;
    CommandLine& operator=(const CommandLine&) = delete;

    // Raises CLI::ParseError (help and --version included) or UsageError. An argument that belongs nowhere is
    // reported as "unknown option --x", "unknown command x" (with the closest known names when one is near)
    // or "unexpected argument x"; a group named without its command lists the commands it has.
    void Parse(int argc, const char* const* argv);
    // --json was given, even on a line that could not be parsed to its end.
    bool JsonWanted() const;

    CLI::App App;
    GlobalOptions Options;
    CommandAction Action; // the chosen command's, once parsed
    LocalAction Local;    // instead, the chosen command's that needs no server
};

} // namespace korvel::cli
