// "Did you mean" for a command or option the parser does not know: the known names closest to what was typed.
#pragma once

#include <string>
#include <vector>

namespace korvel::cli
{

// Edits (insert, delete, replace, swap two neighbours) that turn `from` into `to`.
std::size_t EditDistance(const std::string& from, const std::string& to);

// " (did you mean X?)", or " (did you mean X or Y?)" on a tie, for the `known` names within a typo's reach of
// `typed` (leading dashes aside) or starting with it; empty when none is.
std::string DidYouMean(const std::string& typed, const std::vector<std::string>& known);

} // namespace korvel::cli
