// Names of users and databases on the command line. The server keeps at most 255 bytes of a name and a longer
// one would be cut on the way, so that a command could reach another user: such a name is a usage error.
#pragma once

#include "engine/wire/Message.h"

#include <CLI/CLI.hpp>

#include <cstddef>
#include <string>
#include <vector>

namespace korvel::cli
{

inline constexpr std::size_t MaxNameBytes = 255;

// Checks an option or argument that is one name.
CLI::Validator NameCheck();

// Adds an option that names users or databases and may be repeated (see ListedNames).
CLI::Option* AddNamesOption(CLI::App& command, const std::string& name, std::vector<std::string>& occurrences,
                            const std::string& description);

// The names of an option that may be repeated: given once, its text is a comma-separated list (for names
// without commas); given more than once, each occurrence is one name verbatim. Raises UsageError for a name
// over MaxNameBytes.
StringList ListedNames(const std::vector<std::string>& occurrences, const std::string& option);

// A single occurrence read as a list that is also, verbatim, one of the `known` names: which was meant cannot
// be told, so nothing is done (a runtime error naming the way to say it).
void RefuseAmbiguousList(const std::vector<std::string>& occurrences, const StringList& known,
                         const std::string& option);

} // namespace korvel::cli
