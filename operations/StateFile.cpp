#include "operations/StateFile.h"

#include "engine/wire/Utf8.h"
#include "journal/JsonText.h"
#include "operations/RightNames.h"
#include "operations/ServerState.h"
#include "operations/YamlTree.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

namespace korvel::operations
{

namespace
{

using Json = nlohmann::ordered_json;

int LineOf(const YamlNode& node)
{
    return node.Line;
}

bool IsVariableName(const std::string& name)
{
    return !name.empty() && !std::isdigit(static_cast<unsigned char>(name.front())) &&
           std::all_of(name.begin(), name.end(),
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; });
}

// The variables the CLI reads its own login from.
bool IsLoginVariable(const std::string& name)
{
    return name == "KORVEL_PASSWORD";
}

// A name inside a message, as a person can tell it from any other.
std::string Quoted(const std::string& name)
{
    return "'" + ShownName(name) + "'";
}

// Reads one state file, collecting every mistake with its line.
class Reader
{
public:
    explicit Reader(std::string directory) : directory_(std::move(directory)) {}

    StateFileReading Read(const std::string& text)
    {
        YamlNode root;
        try
        {
            root = ParseYaml(text);
        }
        catch (const YamlSyntaxError& error)
        {
            result_.Mistakes.push_back({error.Line, error.Message});
            return std::move(result_);
        }
        if (root.IsMap())
            ForEachPair(root, "section",
                        [&](const std::string& section, const YamlNode& key, const YamlNode& value)
                        {
                            if (section == "users")
                                ReadUsers(value);
                            else if (section == "databases")
                                ReadDatabases(value);
                            else if (section == "rights")
                                ReadRights(value);
                            else if (section == "config")
                                ReadConfig(value);
                            else
                                Mistake(key, "unknown section " + Quoted(section) +
                                                 ": the sections are users, databases, rights and config");
                        });
        else if (!root.IsNull())
            Mistake(root, "a state file is a mapping of the sections users, databases, rights and config");
        std::stable_sort(result_.Mistakes.begin(), result_.Mistakes.end(),
                         [](const auto& a, const auto& b) { return a.Line < b.Line; });
        return std::move(result_);
    }

private:
    void Mistake(const YamlNode& node, std::string message)
    {
        result_.Mistakes.push_back({LineOf(node), std::move(message)});
    }

    // Calls each(key text, key, value) for the pairs of a mapping; a key given twice is a mistake.
    template <typename Each> void ForEachPair(const YamlNode& map, const std::string& what, Each each)
    {
        std::map<std::string, int> seen;
        for (std::size_t at = 0; at + 1 < map.Items.size(); at += 2)
        {
            const YamlNode& key = map.Items[at];
            if (!key.IsScalar())
            {
                Mistake(key, "a " + what + " name is expected here");
                continue;
            }
            auto [first, added] = seen.emplace(key.Text, LineOf(key));
            if (!added)
                Mistake(key, Quoted(key.Text) + " is given twice (first on line " +
                                 std::to_string(first->second) + ")");
            else
                each(key.Text, key, map.Items[at + 1]);
        }
    }

    // A text of at most 255 bytes, as the server keeps it.
    std::optional<std::string> Text(const YamlNode& node, const std::string& what)
    {
        if (!node.IsScalar())
        {
            Mistake(node, what + ": a text is expected");
            return std::nullopt;
        }
        if (node.Text.size() > MaxProtocolString)
        {
            Mistake(node, what + ": over " + std::to_string(MaxProtocolString) + " bytes (the server keeps " +
                              std::to_string(MaxProtocolString) + ")");
            return std::nullopt;
        }
        return node.Text;
    }

    std::optional<std::string> Name(const YamlNode& node, const std::string& what)
    {
        auto name = Text(node, what);
        if (name && name->empty())
        {
            Mistake(node, what + ": a name cannot be empty");
            return std::nullopt;
        }
        return name;
    }

    std::optional<bool> Flag(const YamlNode& node, const std::string& what)
    {
        if (auto flag = node.IsScalar() ? YamlFlag(node.Text) : std::nullopt)
            return flag;
        Mistake(node, what + ": true or false is expected");
        return std::nullopt;
    }

    std::optional<std::uint16_t> Number(const YamlNode& node, const std::string& what)
    {
        unsigned value = 0;
        const std::string text = node.IsScalar() ? node.Text : "";
        auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (text.empty() || error != std::errc() || end != text.data() + text.size() || value > 65535)
        {
            Mistake(node, what + ": a number from 0 to 65535 is expected");
            return std::nullopt;
        }
        return static_cast<std::uint16_t>(value);
    }

    std::optional<StringList> List(const YamlNode& node, const std::string& what)
    {
        if (!node.IsSequence())
        {
            Mistake(node, what + ": a list is expected ([] for none)");
            return std::nullopt;
        }
        StringList items;
        for (const YamlNode& item : node.Items)
            if (auto text = Text(item, what))
                items.push_back(*text);
        return items.size() == node.Items.size() ? std::optional(items) : std::nullopt;
    }

    // Each entry of a users or databases list: a mapping whose fields `read` takes; `name` is required.
    template <typename Entry, typename ReadField>
    std::optional<std::vector<Entry>> Entries(const YamlNode& list, const std::string& kind,
                                              const std::string& fields, ReadField readField)
    {
        if (!list.IsSequence())
        {
            Mistake(list, kind + "s: a list of " + kind + "s is expected");
            return std::nullopt;
        }
        std::vector<Entry> entries;
        std::map<std::string, int> names;
        for (const YamlNode& node : list.Items)
        {
            if (!node.IsMap())
            {
                Mistake(node, "a " + kind + " is a mapping of " + fields);
                continue;
            }
            Entry entry;
            entry.Line = LineOf(node);
            bool named = false;
            ForEachPair(node, "field",
                        [&](const std::string& field, const YamlNode& key, const YamlNode& value)
                        {
                            if (field == "name")
                            {
                                auto name = Name(value, "name");
                                entry.Name = name.value_or("");
                                named = true;
                            }
                            else if (!readField(entry, field, value))
                                Mistake(key, "unknown field " + Quoted(field) + " of a " + kind + ": use " +
                                                 fields);
                        });
            if (!named)
                Mistake(node, "a " + kind + " needs a name");
            if (entry.Name.empty())
                continue;
            auto [first, added] = names.emplace(entry.Name, entry.Line);
            if (!added)
                Mistake(node, kind + " " + Quoted(entry.Name) + " is listed twice (first on line " +
                                  std::to_string(first->second) + ")");
            entries.push_back(std::move(entry));
        }
        return entries;
    }

    void ReadUsers(const YamlNode& list)
    {
        auto users = Entries<WantedUser>(
            list, "user", "name, description, administrator, password_env or password_file",
            [&](WantedUser& user, const std::string& field, const YamlNode& value)
            {
                if (field == "description")
                    user.Description = Text(value, field);
                else if (field == "administrator")
                    user.Administrator = Flag(value, field);
                else if (field == "password")
                    Mistake(value, "a password is given only by reference: password_env: VARIABLE or "
                                   "password_file: PATH");
                else if (field == "password_env" || field == "password_file")
                    ReadPassword(user, field, value);
                else
                    return false;
                return true;
            });
        if (users)
            result_.State.Users = std::move(users);
    }

    void ReadPassword(WantedUser& user, const std::string& field, const YamlNode& value)
    {
        // A variable's name and a file's path are no server values: their own limits, not 255 bytes.
        const std::size_t limit = field == "password_env" ? MaxVariableNameBytes : MaxPathBytes;
        if (!value.IsScalar() || value.Text.size() > limit)
        {
            Mistake(value, field + ": " +
                               (value.IsScalar() ? "over " + std::to_string(limit) + " bytes"
                                                 : "a text is expected"));
            return;
        }
        const std::optional<std::string> reference = value.Text;
        PasswordSource& password = user.Password;
        if (password.From != PasswordSource::Kind::None)
        {
            Mistake(value, "give password_env or password_file, not both");
            return;
        }
        password.Reference = *reference;
        password.From =
            field == "password_env" ? PasswordSource::Kind::Environment : PasswordSource::Kind::File;
        if (field == "password_env" && !IsVariableName(*reference))
            Mistake(value, "password_env: " + Quoted(*reference) + " is not a variable name");
        else if (field == "password_env" && IsLoginVariable(*reference))
            Mistake(value, "password_env: " + *reference +
                               " holds the password korvel-admin-cli logs in with; give each user a "
                               "variable of its own");
        else if (auto mistake = ResolvePassword(password, directory_))
            Mistake(value, *mistake);
    }

    void ReadDatabases(const YamlNode& list)
    {
        auto databases = Entries<WantedDatabase>(
            list, "database", "name, directory and description",
            [&](WantedDatabase& database, const std::string& field, const YamlNode& value)
            {
                if (field == "directory")
                    database.Directory = Text(value, field).value_or("");
                else if (field == "description")
                    database.Description = Text(value, field);
                else
                    return false;
                return true;
            });
        if (!databases)
            return;
        for (const WantedDatabase& database : *databases)
            if (database.Directory.empty())
                result_.Mistakes.push_back(
                    {database.Line, "database " + Quoted(database.Name) + " needs a directory"});
        result_.State.Databases = std::move(databases);
    }

    void ReadRights(const YamlNode& map)
    {
        if (!map.IsMap())
        {
            Mistake(map, "rights: a mapping of users to their rights on each database is expected");
            return;
        }
        std::vector<WantedPair> pairs;
        ForEachPair(map, "user",
                    [&](const std::string& user, const YamlNode&, const YamlNode& databases)
                    {
                        if (!databases.IsMap())
                        {
                            Mistake(databases, "rights of " + Quoted(user) +
                                                   ": a mapping of databases to rights is expected");
                            return;
                        }
                        ForEachPair(databases, "database",
                                    [&](const std::string& database, const YamlNode&, const YamlNode& value)
                                    {
                                        if (auto rights = Rights(value, user, database))
                                            pairs.push_back({user, database, *rights, LineOf(value)});
                                    });
                    });
        result_.State.Rights = std::move(pairs);
    }

    // Letters (RI), "" for none, "-" for not a database user, or a list of names ([read, insert]).
    std::optional<PairRights> Rights(const YamlNode& value, const std::string& user,
                                     const std::string& database)
    {
        const std::string what = "rights of " + Quoted(user) + " on " + Quoted(database);
        if (value.IsScalar())
        {
            if (auto letters = ParseRightsLetters(value.Text))
                return *letters;
        }
        else if (value.IsSequence())
        {
            TUserRights rights;
            for (const YamlNode& item : value.Items)
            {
                std::string name = item.IsScalar() ? item.Text : "";
                std::transform(name.begin(), name.end(), name.begin(),
                               [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
                auto right = FindRight(name);
                if (!right)
                {
                    Mistake(item, what + ": unknown right " + Quoted(name) +
                                      ": use read, insert, update, delete, create, alter or drop");
                    return std::nullopt;
                }
                rights.Include(*right);
            }
            return PairRights{rights};
        }
        Mistake(value, what + ": letters RIUDCAX (\"\" for no rights, \"-\" for not a database user) or a "
                              "list of rights names are expected");
        return std::nullopt;
    }

    void ReadConfig(const YamlNode& map)
    {
        if (!map.IsMap())
        {
            Mistake(map, "config: a mapping of configuration values is expected");
            return;
        }
        WantedConfig config;
        ForEachPair(map, "configuration value",
                    [&](const std::string& name, const YamlNode& key, const YamlNode& value)
                    {
                        const ConfigField* field = FindConfigField(name);
                        if (!field)
                        {
                            Mistake(key, "unknown configuration value " + Quoted(name) + ": use " +
                                             ConfigFieldNames());
                            return;
                        }
                        bool read = std::visit(
                            [&](auto member)
                            {
                                using Value = std::remove_reference_t<decltype(config.Values.*member)>;
                                std::optional<Value> parsed;
                                if constexpr (std::is_same_v<Value, bool>)
                                    parsed = Flag(value, name);
                                else if constexpr (std::is_same_v<Value, std::uint16_t>)
                                    parsed = Number(value, name);
                                else if constexpr (std::is_same_v<Value, std::string>)
                                    parsed = Text(value, name);
                                else
                                    parsed = List(value, name);
                                if (parsed)
                                    config.Values.*member = std::move(*parsed);
                                return parsed.has_value();
                            },
                            field->Member);
                        if (read)
                            config.Fields.push_back(field);
                    });
        result_.State.Config = std::move(config);
    }

    std::string directory_;
    StateFileReading result_;
};

} // namespace

std::optional<std::string> ResolvePassword(PasswordSource& source, const std::string& directory)
{
    source.Value.reset();
    const std::string& reference = source.Reference;
    if (source.From == PasswordSource::Kind::Environment)
    {
        const char* set = std::getenv(reference.c_str());
        // A secret a CI system does not have is often passed as "": never a password to set.
        if (set && !*set)
            return "password_env: " + reference + " is set but empty";
        if (set)
            source.Value = set;
    }
    else if (source.From == PasswordSource::Kind::File)
    {
        const std::string full =
            reference.starts_with('/') || directory.empty() ? reference : directory + "/" + reference;
        std::ifstream file(full, std::ios::binary);
        std::string line; // the first line, without its line break
        if (!file || (!std::getline(file, line) && !file.eof()))
            return "password_file: cannot read " + full + ": " + std::strerror(errno);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        source.Value = line;
    }
    if (source.Value && source.Value->size() > MaxProtocolString)
        return std::string("the password ") +
               (source.From == PasswordSource::Kind::Environment ? "in " : "of ") + reference + " is over " +
               std::to_string(MaxProtocolString) + " bytes";
    return std::nullopt;
}

StateFileReading ReadStateFile(const std::string& text, const std::string& directory)
{
    // JSON (as export --json writes it) keeps a byte that is not UTF-8 as an escape YAML cannot read.
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first != std::string::npos && text[first] == '{')
        return Reader(directory).Read(journal::WithRawBytes(text));
    return Reader(directory).Read(text);
}

std::map<std::string, std::string> PasswordVariables(const StringList& names)
{
    std::map<std::string, std::string> variables;
    std::set<std::string> taken;
    for (const std::string& name : names)
    {
        std::string base = "KORVEL_PASSWORD_";
        for (std::size_t at = 0; at < name.size(); ++at)
        {
            const unsigned char c = static_cast<unsigned char>(name[at]);
            base += std::isalnum(c) && c < 0x80 ? static_cast<char>(std::toupper(c)) : '_';
            // One "_" for a whole multi-byte character.
            while (c >= 0x80 && at + 1 < name.size() &&
                   (static_cast<unsigned char>(name[at + 1]) & 0xC0) == 0x80)
                ++at;
        }
        std::string variable = base;
        for (int suffix = 2; taken.count(variable); ++suffix)
            variable = base + "_" + std::to_string(suffix);
        taken.insert(variable);
        variables.emplace(name, variable);
    }
    return variables;
}

nlohmann::ordered_json ExportDocument(const ServerState& state)
{
    Json document;
    StringList userNames;
    for (auto user = state.Users.begin(); user != state.Users.end(); ++user)
        userNames.push_back(user->first);
    const auto variables = PasswordVariables(userNames);
    Json& users = document["users"] = Json::array();
    for (const auto& [name, user] : state.Users)
        users.push_back(Json{{"name", name},
                             {"description", user.Description},
                             {"administrator", user.Administrator},
                             {"password_env", variables.at(name)}});
    Json& databases = document["databases"] = Json::array();
    for (const auto& [name, database] : state.Databases)
        databases.push_back(
            Json{{"name", name}, {"directory", database.Directory}, {"description", database.Description}});
    Json& rights = document["rights"] = Json::object();
    for (const std::string& user : userNames)
        for (auto database = state.Databases.begin(); database != state.Databases.end(); ++database)
            if (const PairRights pair = state.Rights.Rights(user, database->first))
                rights[user][database->first] = pair->Empty() ? std::string() : RightsLetters(pair);
    Json& config = document["config"] = Json::object();
    for (const ConfigField& field : ConfigFields())
        std::visit([&](auto member) { config[std::string(field.Name)] = state.Config.*member; },
                   field.Member);
    return document;
}

} // namespace korvel::operations
