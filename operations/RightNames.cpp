#include "operations/RightNames.h"

#include <algorithm>
#include <array>

namespace korvel::operations
{

namespace
{

constexpr std::array<std::string_view, 7> Names = {"read",   "insert", "update", "delete",
                                                   "create", "alter",  "drop"};

} // namespace

std::string_view RightName(TUserRight right)
{
    return Names[right];
}

StringList RightNames(TUserRights rights)
{
    StringList names;
    for (std::size_t bit = 0; bit < Names.size(); ++bit)
        if (rights.Contains(static_cast<TUserRight>(bit)))
            names.emplace_back(Names[bit]);
    return names;
}

std::optional<TUserRight> FindRight(std::string_view name)
{
    auto found = std::ranges::find(Names, name);
    if (found == Names.end())
        return std::nullopt;
    return static_cast<TUserRight>(found - Names.begin());
}

} // namespace korvel::operations
