// A state file: the users, databases, rights and configuration a server should hold, in YAML (or JSON, which
// reads as YAML). Reading it checks every entry and names the line of each mistake, before any server is
// asked. A section left out is not managed, and neither is a field left out of an entry (the server's value
// stays); a password is given only by reference (password_env: VARIABLE or password_file: PATH).
//
//     users:
//       - name: carol
//         description: "Sales"
//         administrator: false
//         password_env: KORVEL_PASSWORD_CAROL
//     databases:
//       - name: Sales
//         directory: /data/sales
//     rights:
//       carol:
//         Sales: RI            # letters RIUDCAX, "" for no rights, "-" for not a database user
//         Stock: [read, update]
//     config:
//       max_connections: 100
//       authorized_addresses: [10.0.0.*]
//
// Export writes the same form from a server (ExportDocument), every password as a password_env placeholder.
#pragma once

#include "engine/wire/AdminTypes.h"
#include "operations/ConfigFields.h"
#include "operations/RightsMatrix.h"

#include <nlohmann/json.hpp>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace korvel::operations
{

struct ServerState;

struct PasswordSource
{
    enum class Kind
    {
        None, // not managed: an existing user keeps its password
        Environment,
        File
    };
    Kind From = Kind::None;
    std::string Reference;            // the variable's name or the file's path, as written
    std::optional<std::string> Value; // nothing when the variable is not set
};

struct WantedUser
{
    std::string Name;
    std::optional<std::string> Description;
    std::optional<bool> Administrator;
    PasswordSource Password;
    int Line = 0;
};

struct WantedDatabase
{
    std::string Name;
    std::string Directory;
    std::optional<std::string> Description;
    int Line = 0;
};

struct WantedPair
{
    std::string User;
    std::string Database;
    PairRights Rights; // no value: not a database user
    int Line = 0;
};

struct WantedConfig
{
    ServerConfig Values;                    // the fields given; the others are not read
    std::vector<const ConfigField*> Fields; // in the file's order
};

struct StateFile
{
    std::optional<std::vector<WantedUser>> Users;
    std::optional<std::vector<WantedDatabase>> Databases;
    std::optional<std::vector<WantedPair>> Rights;
    std::optional<WantedConfig> Config;
};

struct Mistake
{
    int Line = 0; // from 1
    std::string Message;
};

struct StateFileReading
{
    StateFile State;
    std::vector<Mistake> Mistakes; // in line order; the state is not to be used when there is one
};

// A bigger state file is refused before it is read.
inline constexpr std::size_t MaxStateFileBytes = 64u << 20;
// A password_env variable's name (an environment name: a user name of 255 bytes makes a longer placeholder)
// and a password_file's path (PATH_MAX).
inline constexpr std::size_t MaxVariableNameBytes = 4096;
inline constexpr std::size_t MaxPathBytes = 4096;

// `text` is YAML or JSON (its \udc80..\udcff escapes read as the bytes they stand for). Relative
// password_file paths start at `directory`; password_env variables are read from the environment now.
StateFileReading ReadStateFile(const std::string& text, const std::string& directory);

// Reads the password `source` names (the variable now, or the file's first line; a relative path starts at
// `directory`) into its Value. The mistake's text when it cannot: set but empty, an unreadable file, too
// long.
std::optional<std::string> ResolvePassword(PasswordSource& source, const std::string& directory);

// The placeholder variable of each user's password: KORVEL_PASSWORD_ and the name upper-cased, every
// character outside A-Z and 0-9 as "_"; a name that would take a variable already given gets "_2", "_3", ...
// in the order of `names`.
std::map<std::string, std::string> PasswordVariables(const StringList& names);

// The state of `state` as a state file holds it: users (passwords as password_env placeholders), databases,
// rights (letters) and all nine configuration values.
nlohmann::ordered_json ExportDocument(const ServerState& state);
// The document as YAML; a text that a reader could take for a number, a flag or null is double-quoted.
std::string YamlText(const nlohmann::ordered_json& document);

} // namespace korvel::operations
