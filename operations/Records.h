// The records a server keeps (users and databases, as one request reads or sends them) and what a change does
// to one, field by field, as plan lines and journal entries say it. Values are shown as JSON writes them
// ("text", 100, true, ["a","b"]); a password never by its value: "set" or "none" for what a user has,
// "changed" or "emptied" for what a change does to it.
#pragma once

#include "engine/wire/Message.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace korvel::operations
{

struct UserValues
{
    std::string Name;
    std::string Password;
    std::string Description;
    bool Administrator = false;
    bool operator==(const UserValues&) const = default;
};

struct DatabaseValues
{
    std::string Name;
    std::string Description;
    std::string Directory;
    bool operator==(const DatabaseValues&) const = default;
};

// One field's change; Before and After are shown values (see above).
struct FieldChange
{
    std::string Field;
    std::string Before;
    std::string After;
};

std::string QuotedText(const std::string& text);
std::string ListText(const StringList& items);
std::string FlagText(bool value);

// Fields in a fixed order: administrator, description, password.
std::vector<FieldChange> UserFieldChanges(const UserValues& before, const UserValues& after);
// directory, description.
std::vector<FieldChange> DatabaseFieldChanges(const DatabaseValues& before, const DatabaseValues& after);
// A new record's values: "administrator false; description \"\"; password set" (or "no password").
std::string UserText(const UserValues& user);
std::string DatabaseText(const DatabaseValues& database);
// The same as JSON: {"administrator": false, "description": "", "password": "set"}.
nlohmann::ordered_json UserJson(const UserValues& user);
nlohmann::ordered_json DatabaseJson(const DatabaseValues& database);

// "administrator false -> true", or "password changed" ("password emptied").
std::string FieldChangeText(const FieldChange& change);
// The fields' texts joined by "; ".
std::string ChangeText(const std::vector<FieldChange>& changes);

} // namespace korvel::operations
