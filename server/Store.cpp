#include "server/Store.h"

#include <sqlite3.h>
#include <string_view>
#include <vector>

namespace korvel::server
{

namespace
{

const char* const Schema = R"(
CREATE TABLE IF NOT EXISTS users(name TEXT PRIMARY KEY, password TEXT NOT NULL, description TEXT NOT NULL,
    administrator INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS databases(name TEXT PRIMARY KEY, description TEXT NOT NULL, directory TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS database_users(database TEXT NOT NULL, user TEXT NOT NULL, rights INTEGER NOT NULL,
    PRIMARY KEY(database, user));
CREATE TABLE IF NOT EXISTS config(key TEXT PRIMARY KEY, value);
CREATE TABLE IF NOT EXISTS address_lists(list INTEGER NOT NULL, position INTEGER NOT NULL, address TEXT NOT NULL,
    PRIMARY KEY(list, position));
)";

// The first configuration of a new server.
ServerConfig DefaultConfig()
{
    ServerConfig config;
    config.DeadSessionInterval = 30;
    config.DeadSessionExpires = 300;
    config.MaxDeadSessions = 100;
    return config;
}

struct NumberSetting
{
    const char* Key;
    std::uint16_t ServerConfig::*Field;
};

const NumberSetting NumberSettings[] = {
    {"MaxConnections", &ServerConfig::MaxConnections},
    {"ConnectionTimeout", &ServerConfig::ConnectionTimeout},
    {"DeadSessionInterval", &ServerConfig::DeadSessionInterval},
    {"DeadSessionExpires", &ServerConfig::DeadSessionExpires},
    {"MaxDeadSessions", &ServerConfig::MaxDeadSessions},
};

} // namespace

// A prepared statement, finalized on scope exit.
class Store::Statement
{
public:
    Statement(sqlite3* db, const char* sql) : db_(db)
    {
        if (sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr) != SQLITE_OK)
            throw StoreError(sqlite3_errmsg(db));
    }
    ~Statement() { sqlite3_finalize(statement_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& Bind(const std::string& text)
    {
        sqlite3_bind_blob(statement_, ++bound_, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& Bind(int number)
    {
        sqlite3_bind_int(statement_, ++bound_, number);
        return *this;
    }
    // True while a row is available.
    bool Step()
    {
        int result = sqlite3_step(statement_);
        if (result != SQLITE_ROW && result != SQLITE_DONE)
            throw StoreError(sqlite3_errmsg(db_));
        return result == SQLITE_ROW;
    }
    std::string Text(int column)
    {
        auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement_, column));
        return bytes ? std::string(bytes, static_cast<std::size_t>(sqlite3_column_bytes(statement_, column)))
                     : std::string{};
    }
    int Number(int column) { return sqlite3_column_int(statement_, column); }

private:
    sqlite3* db_;
    sqlite3_stmt* statement_ = nullptr;
    int bound_ = 0;
};

Store::Store(const std::string& path)
{
    // Never through a link; SQLite creates the -wal and -shm files beside it with the database's own mode.
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW,
                        nullptr) != SQLITE_OK)
    {
        std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        throw StoreError("cannot open " + path + ": " + message);
    }
    // WAL with NORMAL sync: a committed change survives the process being killed at any point.
    Execute("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;");
    Execute(Schema);
    for (auto& name : Names("SELECT name FROM users WHERE administrator <> 0"))
        administrators_.insert(std::move(name));
}

Store::~Store()
{
    sqlite3_close(db_);
}

void Store::Execute(const char* sql)
{
    char* error = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK)
    {
        std::string message = error ? error : "unknown error";
        sqlite3_free(error);
        throw StoreError(message);
    }
}

StringList Store::Names(const char* sql, const std::string* key)
{
    Statement statement(db_, sql);
    if (key)
        statement.Bind(*key);
    StringList names;
    while (statement.Step())
        names.push_back(statement.Text(0));
    return names;
}

bool Store::Change(const char* sql, std::initializer_list<std::string> texts, std::optional<int> number)
{
    Statement statement(db_, sql);
    for (const auto& text : texts)
        statement.Bind(text);
    if (number)
        statement.Bind(*number);
    statement.Step();
    return sqlite3_changes(db_) > 0;
}

template <typename Work> bool Store::InTransaction(Work work)
{
    Execute("BEGIN IMMEDIATE");
    try
    {
        bool result = work();
        Execute("COMMIT");
        return result;
    }
    catch (...)
    {
        Execute("ROLLBACK");
        throw;
    }
}

bool Store::HasUsers()
{
    Statement statement(db_, "SELECT 1 FROM users LIMIT 1");
    return statement.Step();
}

void Store::NoteAdministrator(const std::string& name, bool administrator)
{
    if (administrator)
        administrators_.insert(name);
    else
        administrators_.erase(name);
}

StringList Store::UserNames()
{
    return Names("SELECT name FROM users ORDER BY name");
}

std::optional<UserRecord> Store::FindUser(const std::string& name)
{
    Statement statement(db_, "SELECT password, description, administrator FROM users WHERE name = ?");
    statement.Bind(name);
    if (!statement.Step())
        return std::nullopt;
    return UserRecord{name, statement.Text(0), statement.Text(1), statement.Number(2) != 0};
}

bool Store::AddUser(const UserRecord& user)
{
    bool added =
        Change("INSERT OR IGNORE INTO users(name, password, description, administrator) VALUES(?, ?, ?, ?)",
               {user.Name, user.Password, user.Description}, user.Administrator ? 1 : 0);
    if (added)
        NoteAdministrator(user.Name, user.Administrator);
    return added;
}

bool Store::ModifyUser(const UserRecord& user)
{
    Statement statement(db_,
                        "UPDATE users SET password = ?, description = ?, administrator = ? WHERE name = ?");
    statement.Bind(user.Password).Bind(user.Description).Bind(user.Administrator ? 1 : 0).Bind(user.Name);
    statement.Step();
    bool changed = sqlite3_changes(db_) > 0;
    if (changed)
        NoteAdministrator(user.Name, user.Administrator);
    return changed;
}

bool Store::DeleteUser(const std::string& name)
{
    bool deleted = InTransaction(
        [&]
        {
            Change("DELETE FROM database_users WHERE user = ?", {name});
            return Change("DELETE FROM users WHERE name = ?", {name});
        });
    if (deleted)
        NoteAdministrator(name, false);
    return deleted;
}

StringList Store::DatabaseNames()
{
    return Names("SELECT name FROM databases ORDER BY name");
}

std::optional<DatabaseRecord> Store::FindDatabase(const std::string& name)
{
    Statement statement(db_, "SELECT description, directory FROM databases WHERE name = ?");
    statement.Bind(name);
    if (!statement.Step())
        return std::nullopt;
    return DatabaseRecord{name, statement.Text(0), statement.Text(1)};
}

bool Store::AddDatabase(const DatabaseRecord& database)
{
    return Change("INSERT OR IGNORE INTO databases(name, description, directory) VALUES(?, ?, ?)",
                  {database.Name, database.Description, database.Directory});
}

bool Store::ModifyDatabase(const DatabaseRecord& database)
{
    return Change("UPDATE databases SET description = ?, directory = ? WHERE name = ?",
                  {database.Description, database.Directory, database.Name});
}

bool Store::DeleteDatabase(const std::string& name)
{
    return InTransaction(
        [&]
        {
            Change("DELETE FROM database_users WHERE database = ?", {name});
            return Change("DELETE FROM databases WHERE name = ?", {name});
        });
}

StringList Store::DatabaseUserNames(const std::string& database)
{
    return Names("SELECT user FROM database_users WHERE database = ? ORDER BY user", &database);
}

std::optional<std::uint8_t> Store::FindDatabaseUser(const std::string& database, const std::string& user)
{
    Statement statement(db_, "SELECT rights FROM database_users WHERE database = ? AND user = ?");
    statement.Bind(database).Bind(user);
    if (!statement.Step())
        return std::nullopt;
    return static_cast<std::uint8_t>(statement.Number(0));
}

bool Store::AddDatabaseUser(const std::string& database, const std::string& user, std::uint8_t rights)
{
    return Change("INSERT OR IGNORE INTO database_users(database, user, rights) VALUES(?, ?, ?)",
                  {database, user}, rights);
}

bool Store::ModifyDatabaseUser(const std::string& database, const std::string& user, std::uint8_t rights)
{
    Statement statement(db_, "UPDATE database_users SET rights = ? WHERE database = ? AND user = ?");
    statement.Bind(rights).Bind(database).Bind(user);
    statement.Step();
    return sqlite3_changes(db_) > 0;
}

bool Store::DeleteDatabaseUser(const std::string& database, const std::string& user)
{
    return Change("DELETE FROM database_users WHERE database = ? AND user = ?", {database, user});
}

ServerConfig Store::LoadConfig()
{
    ServerConfig config = DefaultConfig();
    Statement values(db_, "SELECT key, value FROM config");
    while (values.Step())
    {
        std::string key = values.Text(0);
        if (key == "DenyLogins")
            config.DenyLogins = values.Number(1) != 0;
        else if (key == "TempDirectory")
            config.TempDirectory = values.Text(1);
        for (const auto& setting : NumberSettings)
            if (key == setting.Key)
                config.*setting.Field = static_cast<std::uint16_t>(values.Number(1));
    }
    Statement addresses(db_, "SELECT list, address FROM address_lists ORDER BY list, position");
    while (addresses.Step())
        (addresses.Number(0) == 0 ? config.AuthorizedAddresses : config.BlockedAddresses)
            .push_back(addresses.Text(1));
    return config;
}

void Store::SaveConfig(const ServerConfig& config)
{
    InTransaction(
        [&]
        {
            const char* setValue = "INSERT OR REPLACE INTO config(key, value) VALUES(?, ?)";
            Change(setValue, {"DenyLogins"}, config.DenyLogins ? 1 : 0);
            for (const auto& setting : NumberSettings)
                Change(setValue, {setting.Key}, config.*setting.Field);
            Change(setValue, {"TempDirectory", config.TempDirectory});
            Execute("DELETE FROM address_lists");
            const StringList* lists[] = {&config.AuthorizedAddresses, &config.BlockedAddresses};
            for (int list = 0; list < 2; ++list)
                for (std::size_t position = 0; position < lists[list]->size(); ++position)
                {
                    Statement insert(db_,
                                     "INSERT INTO address_lists(list, position, address) VALUES(?, ?, ?)");
                    insert.Bind(list).Bind(static_cast<int>(position)).Bind((*lists[list])[position]);
                    insert.Step();
                }
            return true;
        });
}

} // namespace korvel::server
