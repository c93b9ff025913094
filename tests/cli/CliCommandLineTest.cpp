// The option rules of korvel-admin-cli's command line, checked on every registered command, and the names of
// the mistakes it reports.
#include "cli/CommandLine.h"
#include "cli/UsageError.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korvel::cli
{
namespace
{

using Words = std::vector<std::string>;

// Parses `words`; returns the message of the usage error raised, or "" when none.
std::string ParseOn(CommandLine& line, Words words)
{
    words.insert(words.begin(), "korvel-admin-cli");
    std::vector<const char*> argv;
    for (const std::string& word : words)
        argv.push_back(word.c_str());
    try
    {
        line.Parse(static_cast<int>(argv.size()), argv.data());
    }
    catch (const UsageError& error)
    {
        return error.what();
    }
    catch (const CLI::Error&)
    {
        // a missing argument of the command: not what these tests look at
    }
    return "";
}

// The path of every command that runs (not a group), e.g. {"user", "add"}.
void CollectCommands(CLI::App& command, Words path, std::vector<Words>& commands)
{
    auto subcommands = command.get_subcommands([](CLI::App*) { return true; });
    if (subcommands.empty())
    {
        commands.push_back(path);
        return;
    }
    for (CLI::App* subcommand : subcommands)
    {
        Words longer = path;
        longer.push_back(subcommand->get_name());
        CollectCommands(*subcommand, longer, commands);
    }
}

CLI::App& CommandAt(CLI::App& app, const Words& path)
{
    CLI::App* command = &app;
    for (const std::string& name : path)
        command = command->get_subcommand(name);
    return *command;
}

TEST(CliCommandLine, GlobalOptionsFollowAnyCommandUnlessItHasItsOwnOfThatName)
{
    CommandLine layout;
    std::vector<Words> commands;
    CollectCommands(layout.App, {}, commands);
    ASSERT_GT(commands.size(), 20u);
    int ownOptionsSeen = 0;
    for (const Words& path : commands)
    {
        for (const CLI::Option* global : layout.App.get_options())
        {
            const std::string name = global->get_lnames().empty() ? "" : "--" + global->get_lnames().front();
            if (name.empty() || name == "--help")
                continue;
            CommandLine line;
            Words words = path;
            words.push_back(name);
            if (global->get_type_size() != 0)
                words.push_back("1");
            std::string mistake = ParseOn(line, words);
            EXPECT_EQ(mistake.find("unknown"), std::string::npos) << mistake;
            CLI::App& command = CommandAt(line.App, path);
            const CLI::Option* own = command.get_option_no_throw(name);
            const std::string where = ::testing::PrintToString(words);
            if (own)
            {
                ++ownOptionsSeen;
                EXPECT_EQ(own->count(), 1u) << where;
                EXPECT_EQ(line.App.get_option(name)->count(), 0u) << where;
            }
            else
            {
                EXPECT_EQ(line.App.get_option(name)->count(), 1u) << where;
            }
        }
    }
    EXPECT_GE(ownOptionsSeen, 2); // user add and user modify have their own --password
}

TEST(CliCommandLine, AGlobalOptionAfterTheCommandIsTheGlobalOne)
{
    CommandLine line;
    EXPECT_EQ(ParseOn(line, {"status", "--json", "--port", "4000"}), "");
    EXPECT_TRUE(line.Options.Json);
    EXPECT_EQ(line.Options.Server.Port, 4000);
    EXPECT_TRUE(line.Action);

    CommandLine add;
    EXPECT_EQ(ParseOn(add, {"--password", "login", "user", "add", "bob", "--password", "new"}), "");
    EXPECT_EQ(add.Options.Password, "login");
}

TEST(CliCommandLine, MistakesAreNamed)
{
    const std::vector<std::pair<Words, std::string>> mistakes = {
        {{"--bogus", "version"}, "unknown option --bogus"},
        {{"status", "--bogus=1"}, "unknown option --bogus"},
        {{"user", "add", "bob", "--bogus"}, "unknown option --bogus"},
        {{"frobnicate"}, "unknown command frobnicate"},
        {{"user", "frobnicate"}, "unknown command frobnicate"},
        {{"version", "extra"}, "unexpected argument extra"},
    };
    for (const auto& [words, message] : mistakes)
    {
        CommandLine line;
        EXPECT_EQ(ParseOn(line, words), message) << ::testing::PrintToString(words);
    }
}

} // namespace
} // namespace korvel::cli
