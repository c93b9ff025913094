// The commands and options of korvel-admin-cli as a tree, read from its own parser, and the shell completion
// scripts written from that tree: they can then never miss or invent a command.
#pragma once

#include <CLI/CLI.hpp>

#include <ostream>
#include <string>
#include <vector>

namespace korvel::cli::completions
{

struct OptionEntry
{
    std::vector<std::string> Names; // "--port", "-h"
    std::string Description;
    bool TakesValue = false;
};

struct CommandEntry
{
    std::string Path; // "user add"; empty for the program itself
    std::string Name;
    std::string Description;
    std::vector<OptionEntry> Options;
    std::vector<CommandEntry> Subcommands;
};

// Every command below `app`, with the options each one shows in its help.
CommandEntry ReadCommandTree(const CLI::App& app);

void WriteBash(std::ostream& out, const CommandEntry& program);
void WriteZsh(std::ostream& out, const CommandEntry& program);
void WriteFish(std::ostream& out, const CommandEntry& program);

} // namespace korvel::cli::completions
