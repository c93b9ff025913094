// Each script finds the command the words typed so far name (the longest known path, other words being
// arguments), then offers that command's subcommands and options, with the global options everywhere; after
// an option that takes a value it leaves the shell's own completion (file names).
#include "cli/completions/CommandTree.h"

#include <functional>
#include <set>

namespace korvel::cli::completions
{

namespace
{

constexpr const char* Program = "korvel-admin-cli";
constexpr const char* Banner =
    "# Generated from korvel-admin-cli's command line at build time: do not edit.\n";

void Walk(const CommandEntry& command, const std::function<void(const CommandEntry&)>& visit)
{
    visit(command);
    for (const CommandEntry& sub : command.Subcommands)
        Walk(sub, visit);
}

// In single quotes for bash and zsh.
std::string ShellQuoted(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// In single quotes for fish, where a backslash escapes a quote or a backslash.
std::string FishQuoted(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
    {
        if (c == '\'' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + "'";
}

std::string CommandPaths(const CommandEntry& program,
                         const std::function<std::string(const std::string&)>& quote)
{
    std::string paths;
    Walk(program,
         [&](const CommandEntry& command)
         {
             if (!command.Path.empty())
                 paths += (paths.empty() ? "" : " ") + quote(command.Path);
         });
    return paths;
}

std::string ValueOptionPattern(const CommandEntry& program)
{
    std::set<std::string> names;
    Walk(program,
         [&](const CommandEntry& command)
         {
             for (const OptionEntry& option : command.Options)
                 if (option.TakesValue)
                     names.insert(option.Names.begin(), option.Names.end());
         });
    std::string pattern;
    for (const std::string& name : names)
        pattern += (pattern.empty() ? "" : "|") + name;
    return pattern;
}

// The options offered at a command: its own, and the global ones it does not have itself (a global option may
// follow any command).
std::vector<const OptionEntry*> OptionsAt(const CommandEntry& program, const CommandEntry& command)
{
    std::vector<const OptionEntry*> options;
    std::set<std::string> names;
    for (const OptionEntry& option : command.Options)
    {
        options.push_back(&option);
        names.insert(option.Names.begin(), option.Names.end());
    }
    if (&command != &program)
        for (const OptionEntry& option : program.Options)
            if (!names.contains(option.Names.front()))
                options.push_back(&option);
    return options;
}

} // namespace

void WriteBash(std::ostream& out, const CommandEntry& program)
{
    out << "# bash completion for " << Program << "\n"
        << Banner << "_korvel_admin_cli()\n{\n"
        << "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} at='' candidate known "
           "i\n"
        << "    local -a commands=(" << CommandPaths(program, ShellQuoted) << ")\n"
        << "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
        << "        candidate=\"${at:+$at }${COMP_WORDS[i]}\"\n"
        << "        for known in \"${commands[@]}\"; do\n"
        << "            [[ $known == \"$candidate\" ]] && at=$candidate && break\n"
        << "        done\n"
        << "    done\n"
        << "    case \"$prev\" in\n"
        << "        " << ValueOptionPattern(program) << ") return ;;\n"
        << "    esac\n"
        << "    local words=''\n"
        << "    case \"$at\" in\n";
    Walk(program,
         [&](const CommandEntry& command)
         {
             std::string words;
             for (const CommandEntry& sub : command.Subcommands)
                 words += sub.Name + " ";
             for (const OptionEntry* option : OptionsAt(program, command))
                 for (const std::string& name : option->Names)
                     words += name + " ";
             out << "        " << ShellQuoted(command.Path) << ") words=" << ShellQuoted(words) << " ;;\n";
         });
    out << "    esac\n"
        << "    mapfile -t COMPREPLY < <(compgen -W \"$words\" -- \"$cur\")\n"
        << "}\n"
        << "complete -o default -F _korvel_admin_cli " << Program << "\n";
}

void WriteZsh(std::ostream& out, const CommandEntry& program)
{
    // zsh's own variables `path`, `commands` and `options` are left alone.
    out << "#compdef " << Program << "\n"
        << Banner << "local at='' candidate i\n"
        << "local -a known=(" << CommandPaths(program, ShellQuoted) << ")\n"
        << "for ((i = 2; i < CURRENT; i++)); do\n"
        << "    candidate=\"${at:+$at }${words[i]}\"\n"
        << "    (( ${known[(Ie)$candidate]} )) && at=$candidate\n"
        << "done\n"
        << "case \"${words[CURRENT-1]}\" in\n"
        << "    (" << ValueOptionPattern(program) << ") _files; return ;;\n"
        << "esac\n"
        << "local -a subs opts\n"
        << "case \"$at\" in\n";
    Walk(program,
         [&](const CommandEntry& command)
         {
             out << "    (" << ShellQuoted(command.Path) << ")\n        subs=(";
             for (const CommandEntry& sub : command.Subcommands)
                 out << ShellQuoted(sub.Name + ":" + sub.Description) << " ";
             out << ")\n        opts=(";
             for (const OptionEntry* option : OptionsAt(program, command))
                 for (const std::string& name : option->Names)
                     out << ShellQuoted(name + ":" + option->Description) << " ";
             out << ") ;;\n";
         });
    out << "esac\n"
        << "if [[ $PREFIX == -* ]]; then\n"
        << "    _describe -t options option opts\n"
        << "else\n"
        << "    _describe -t commands command subs || _files\n"
        << "fi\n";
}

void WriteFish(std::ostream& out, const CommandEntry& program)
{
    out << "# fish completion for " << Program << "\n"
        << Banner << "set -g __korvel_admin_cli_commands " << CommandPaths(program, FishQuoted) << "\n"
        << "function __korvel_admin_cli_at --description 'Is the command line at this command?'\n"
        << "    set -l words (commandline -opc)\n"
        << "    set -e words[1]\n"
        << "    set -l at ''\n"
        << "    for word in $words\n"
        << "        set -l candidate $word\n"
        << "        test -n \"$at\"; and set candidate \"$at $word\"\n"
        << "        contains -- \"$candidate\" $__korvel_admin_cli_commands; and set at $candidate\n"
        << "    end\n"
        << "    test \"$at\" = \"$argv[1]\"\n"
        << "end\n"
        << "complete -c " << Program << " -f\n";
    Walk(program,
         [&](const CommandEntry& command)
         {
             const std::string at = " -n " + FishQuoted("__korvel_admin_cli_at " + ShellQuoted(command.Path));
             for (const CommandEntry& sub : command.Subcommands)
                 out << "complete -c " << Program << at << " -a " << FishQuoted(sub.Name) << " -d "
                     << FishQuoted(sub.Description) << "\n";
             for (const OptionEntry& option : command.Options)
             {
                 // The global options are offered at every command, so they carry no condition.
                 out << "complete -c " << Program << (&command == &program ? "" : at);
                 for (const std::string& name : option.Names)
                     out << (name.size() == 2 ? " -s " + name.substr(1) : " -l " + name.substr(2));
                 out << (option.TakesValue ? " -r -F" : "") << " -d " << FishQuoted(option.Description)
                     << "\n";
             }
         });
}

} // namespace korvel::cli::completions
