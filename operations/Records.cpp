#include "operations/Records.h"

#include <nlohmann/json.hpp>

namespace korvel::operations
{

namespace
{

constexpr const char* PasswordField = "password";

} // namespace

std::string QuotedText(const std::string& text)
{
    return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string ListText(const StringList& items)
{
    return nlohmann::json(items).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string FlagText(bool value)
{
    return value ? "true" : "false";
}

std::vector<FieldChange> UserFieldChanges(const UserValues& before, const UserValues& after)
{
    std::vector<FieldChange> changes;
    if (before.Administrator != after.Administrator)
        changes.push_back({"administrator", FlagText(before.Administrator), FlagText(after.Administrator)});
    if (before.Description != after.Description)
        changes.push_back({"description", QuotedText(before.Description), QuotedText(after.Description)});
    if (before.Password != after.Password)
        changes.push_back({PasswordField, before.Password.empty() ? "none" : "set",
                           after.Password.empty() ? "emptied" : "changed"});
    return changes;
}

std::vector<FieldChange> DatabaseFieldChanges(const DatabaseValues& before, const DatabaseValues& after)
{
    std::vector<FieldChange> changes;
    if (before.Directory != after.Directory)
        changes.push_back({"directory", QuotedText(before.Directory), QuotedText(after.Directory)});
    if (before.Description != after.Description)
        changes.push_back({"description", QuotedText(before.Description), QuotedText(after.Description)});
    return changes;
}

std::string UserText(const UserValues& user)
{
    return "administrator " + FlagText(user.Administrator) + "; description " + QuotedText(user.Description) +
           (user.Password.empty() ? "; no password" : "; password set");
}

nlohmann::ordered_json UserJson(const UserValues& user)
{
    return {{"administrator", user.Administrator},
            {"description", user.Description},
            {PasswordField, user.Password.empty() ? "none" : "set"}};
}

nlohmann::ordered_json DatabaseJson(const DatabaseValues& database)
{
    return {{"directory", database.Directory}, {"description", database.Description}};
}

std::string DatabaseText(const DatabaseValues& database)
{
    return "directory " + QuotedText(database.Directory) + "; description " +
           QuotedText(database.Description);
}

std::string FieldChangeText(const FieldChange& change)
{
    if (change.Field == PasswordField)
        return "password " + change.After;
    return change.Field + " " + change.Before + " -> " + change.After;
}

std::string ChangeText(const std::vector<FieldChange>& changes)
{
    std::string text;
    for (const FieldChange& change : changes)
        text += (text.empty() ? "" : "; ") + FieldChangeText(change);
    return text;
}

} // namespace korvel::operations
