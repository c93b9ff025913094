// The server's persistent state in SQLite: users, databases, database users and the configuration. Every
// change is one committed transaction before the call returns, so a reply sent after it is never lost.
// The administrators' names are also kept in memory, changed with the commit that changes them, so that the
// check every administration request makes reads no file.
#pragma once

#include "engine/wire/AdminTypes.h"

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_set>

struct sqlite3;
struct sqlite3_stmt;

namespace korvel::server
{

struct UserRecord
{
    std::string Name;
    std::string Password;
    std::string Description;
    bool Administrator = false;
};

struct DatabaseRecord
{
    std::string Name;
    std::string Description;
    std::string Directory;
};

class StoreError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

class Store
{
public:
    // Opens (creating when missing) the database file; ":memory:" keeps everything in memory.
    explicit Store(const std::string& path);
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    bool HasUsers();
    int AdministratorCount() const { return static_cast<int>(administrators_.size()); }
    bool IsAdministrator(const std::string& name) const { return administrators_.contains(name); }

    StringList UserNames();
    std::optional<UserRecord> FindUser(const std::string& name);
    // Each returns false when the row to add exists or the row to change or delete does not.
    bool AddUser(const UserRecord& user);
    bool ModifyUser(const UserRecord& user);
    // Also removes the user's rights on every database.
    bool DeleteUser(const std::string& name);

    StringList DatabaseNames();
    std::optional<DatabaseRecord> FindDatabase(const std::string& name);
    bool AddDatabase(const DatabaseRecord& database);
    bool ModifyDatabase(const DatabaseRecord& database);
    // Also removes the database's users.
    bool DeleteDatabase(const std::string& name);

    StringList DatabaseUserNames(const std::string& database);
    std::optional<std::uint8_t> FindDatabaseUser(const std::string& database, const std::string& user);
    bool AddDatabaseUser(const std::string& database, const std::string& user, std::uint8_t rights);
    bool ModifyDatabaseUser(const std::string& database, const std::string& user, std::uint8_t rights);
    bool DeleteDatabaseUser(const std::string& database, const std::string& user);

    ServerConfig LoadConfig();
    void SaveConfig(const ServerConfig& config);

private:
    class Statement;
    void Execute(const char* sql);
    StringList Names(const char* sql, const std::string* key = nullptr);
    // Runs a change in one transaction; returns whether it touched a row.
    bool Change(const char* sql, std::initializer_list<std::string> texts, std::optional<int> number = {});
    // Runs several changes as one committed transaction, rolled back when one fails.
    template <typename Work> bool InTransaction(Work work);
    // Follows a committed change of the user's administrator flag.
    void NoteAdministrator(const std::string& name, bool administrator);

    sqlite3* db_ = nullptr;
    std::unordered_set<std::string> administrators_;
};

} // namespace korvel::server
