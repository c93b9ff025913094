// The rights by name, as `rights --json`, state files and the Ansible collection write them: read, insert,
// update, delete, create, alter, drop.
#pragma once

#include "engine/wire/Message.h"
#include "session/UserRights.h"

#include <optional>
#include <string_view>

namespace korvel::operations
{

std::string_view RightName(TUserRight right);
// The names of the rights held, in bit order.
StringList RightNames(TUserRights rights);
// The right of a lower-case name; nothing for any other text.
std::optional<TUserRight> FindRight(std::string_view name);

} // namespace korvel::operations
