#include "cli/Names.h"

#include "cli/Conversions.h"
#include "cli/UsageError.h"

#include <algorithm>
#include <stdexcept>

namespace korvel::cli
{

namespace
{

std::string TooLong(const std::string& name)
{
    return "the name '" + name.substr(0, 20) + "...' has " + std::to_string(name.size()) +
           " bytes; a name has at most " + std::to_string(MaxNameBytes);
}

} // namespace

CLI::Validator NameCheck()
{
    return CLI::Validator(
        [](const std::string& name) { return name.size() > MaxNameBytes ? TooLong(name) : ""; }, "NAME");
}

CLI::Option* AddNamesOption(CLI::App& command, const std::string& name, std::vector<std::string>& occurrences,
                            const std::string& description)
{
    return command.add_option(name, occurrences, description)->allow_extra_args(false);
}

StringList ListedNames(const std::vector<std::string>& occurrences, const std::string& option)
{
    StringList names = occurrences.size() == 1 ? SplitList(occurrences.front()) : occurrences;
    for (const std::string& name : names)
        if (name.size() > MaxNameBytes)
            throw UsageError(option + ": " + TooLong(name));
    return names;
}

void RefuseAmbiguousList(const std::vector<std::string>& occurrences, const StringList& known,
                         const std::string& option)
{
    if (occurrences.size() != 1 || occurrences.front().find(',') == std::string::npos ||
        std::find(known.begin(), known.end(), occurrences.front()) == known.end())
        return;
    throw std::runtime_error("'" + occurrences.front() +
                             "' is a name on the server and also a list of names; " + "give " + option +
                             " once for each name (" + option + " '" + occurrences.front() + "' " + option +
                             " OTHER, or the same name twice for it alone)");
}

} // namespace korvel::cli
