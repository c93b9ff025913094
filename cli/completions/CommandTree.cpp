#include "cli/completions/CommandTree.h"

namespace korvel::cli::completions
{

namespace
{

// What the help shows: hidden options and commands have no group.
bool Shown(const CLI::Option* option)
{
    return option->nonpositional() && !option->get_group().empty();
}

void ReadOptions(const CLI::App& app, std::vector<OptionEntry>& options)
{
    for (const CLI::Option* option : app.get_options(Shown))
    {
        OptionEntry entry{{}, option->get_description(), option->get_items_expected_max() > 0};
        for (const std::string& name : option->get_lnames())
            entry.Names.push_back("--" + name);
        for (const std::string& name : option->get_snames())
            entry.Names.push_back("-" + name);
        options.push_back(std::move(entry));
    }
    // An option group is a nameless subcommand whose options belong to its parent.
    for (const CLI::App* group :
         app.get_subcommands([](const CLI::App* sub) { return sub->get_name().empty(); }))
        ReadOptions(*group, options);
}

CommandEntry Read(const CLI::App& app, const std::string& path)
{
    CommandEntry entry{path, app.get_name(), app.get_description(), {}, {}};
    ReadOptions(app, entry.Options);
    for (const CLI::App* sub :
         app.get_subcommands([](const CLI::App* candidate)
                             { return !candidate->get_name().empty() && !candidate->get_group().empty(); }))
        entry.Subcommands.push_back(
            Read(*sub, path.empty() ? sub->get_name() : path + " " + sub->get_name()));
    return entry;
}

} // namespace

CommandEntry ReadCommandTree(const CLI::App& app)
{
    return Read(app, "");
}

} // namespace korvel::cli::completions
