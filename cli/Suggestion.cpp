#include "cli/Suggestion.h"

#include <algorithm>
#include <limits>
#include <string_view>

namespace korvel::cli
{

namespace
{

std::string_view WithoutDashes(std::string_view name)
{
    return name.substr(std::min(name.find_first_not_of('-'), name.size()));
}

// How far a name may be from what was typed and still be what was meant: a short word has room for one slip,
// a longer one for two; more than that suggests names that merely look alike.
std::size_t Reach(std::string_view typed)
{
    return typed.size() <= 4 ? 1 : 2;
}

} // namespace

std::size_t EditDistance(const std::string& from, const std::string& to)
{
    // Three rows of the optimal-string-alignment table: a swapped pair counts as one slip, as people type.
    std::vector<std::size_t> before(to.size() + 1), previous(to.size() + 1), current(to.size() + 1);
    for (std::size_t j = 0; j <= to.size(); ++j)
        previous[j] = j;
    for (std::size_t i = 1; i <= from.size(); ++i)
    {
        current[0] = i;
        for (std::size_t j = 1; j <= to.size(); ++j)
        {
            const std::size_t replace = previous[j - 1] + (from[i - 1] == to[j - 1] ? 0 : 1);
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, replace});
            if (i > 1 && j > 1 && from[i - 1] == to[j - 2] && from[i - 2] == to[j - 1])
                current[j] = std::min(current[j], before[j - 2] + 1);
        }
        before.swap(previous);
        previous.swap(current);
    }
    return previous[to.size()];
}

std::string DidYouMean(const std::string& typed, const std::vector<std::string>& known)
{
    const std::string word(WithoutDashes(typed));
    if (word.empty())
        return {};
    std::size_t best = std::numeric_limits<std::size_t>::max();
    std::vector<std::string> closest;
    for (const std::string& name : known)
    {
        const std::string candidate(WithoutDashes(name));
        std::size_t distance = EditDistance(word, candidate);
        if (distance > Reach(word) && !(word.size() >= 3 && candidate.starts_with(word)))
            continue;
        distance = std::min(distance, Reach(word)); // a name that starts with the word is as good as a slip
        if (distance < best)
            closest.clear();
        if (distance <= best && std::find(closest.begin(), closest.end(), name) == closest.end())
        {
            best = distance;
            closest.push_back(name);
        }
    }
    if (closest.empty())
        return {};
    std::string text = " (did you mean " + closest.front();
    for (std::size_t i = 1; i < closest.size(); ++i)
        text += (i + 1 == closest.size() ? " or " : ", ") + closest[i];
    return text + "?)";
}

} // namespace korvel::cli
