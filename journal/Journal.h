// The journal of changes: one JSON line for every request that changed a server, or tried to, whoever sent
// it (the window, the CLI, and so the Ansible modules, which call the CLI). It lives in
// $XDG_STATE_HOME/korvel-admin/journal.jsonl (default ~/.local/state), the directory 0700 and the file 0600.
//
// Recording one change: fill an Entry (Now() for the time, the login's Origin, what was sent and how it
// ended) and Append it. Several processes may append at once: each line goes in one write under an exclusive
// lock, so lines never mix, and a writer killed at any moment leaves whole lines behind. A line is in the
// file once Append returns; the file is synced to the disk when the journal is destroyed.
//
// Reading: see History.h. No Qt.
#pragma once

#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace korvel::journal
{

// One apply of a state file (or of a plan saved from one): every change it makes carries the same id, so
// `history --run ID` shows them together, with the file they came from.
struct Run
{
    std::string Id;     // 16 hex digits, new for each apply
    std::string File;   // the state file's path as given
    std::string Sha256; // of the state file's bytes, in hex
};

// Where the changes of one login come from.
struct Origin
{
    std::string Server;                   // host:port as the login named it
    std::string Profile;                  // empty when the login used none
    std::string User;                     // the login user
    std::string Program;                  // "korvel-admin", "korvel-admin-cli", ...
    std::optional<journal::Run> Run = {}; // when the changes belong to one apply
};

struct Entry
{
    std::string Time; // ISO 8601 UTC to the millisecond: 2024-05-01T12:00:00.123+00:00
    Origin From;
    std::string Operation; // "add user", "modify database user", "modify config", "stop server", ...
    std::string Object;    // "bob", "Sales", a session id; empty for the configuration and server
    std::optional<std::string> Database; // for a database user: Object is the user, this the database
    std::string Change; // before -> after ("administrator false -> true; password changed"), never a password
    bool Ok = true;
    // Not Ok and no reply came (a deadline or a cancel): the change may have been made. "result": "unknown".
    bool Unknown = false;
    int ErrorCode = 0; // when not Ok: the engine error code, 0 for a failure that has none
    std::string ErrorMessage;
};

// The current time in the journal's form.
std::string Now();
// A new run id: 16 random hex digits.
std::string NewRunId();

// One JSON object without a line break; a database user's object is {"user": ..., "database": ...}, a run
// {"run": {"id": ..., "file": ..., "sha256": ...}}, and text that is not UTF-8 keeps its bytes (JsonText.h).
// A line written as "user@database" reads as one object; a line without "run" belongs to none.
std::string ToJsonLine(const Entry& entry);
// Nothing for a line that is not a journal entry (edited by hand, say).
std::optional<Entry> FromJsonLine(std::string_view line);

// $XDG_STATE_HOME (when absolute, else ~/.local/state) + "/korvel-admin/journal.jsonl"; empty when HOME
// is not an absolute path either (Open then says so).
std::string DefaultPath();

class JournalError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

class Journal
{
public:
    explicit Journal(std::string path = DefaultPath());
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    // Creates the directory (0700) and the file (0600) when missing, and tightens them when they are not.
    // Never through a symbolic link, nor in a directory that is not the account's alone (files/OwnFiles.h).
    // Raises JournalError naming the file and the cause. Append opens too; a caller that must not send a
    // change it cannot record opens first.
    void Open();
    // Safe from several threads.
    void Append(const Entry& entry);
    const std::string& Path() const { return path_; }

private:
    void Write(const std::string& line);
    void DropCutLine();

    std::string path_;
    int fd_ = -1;
    std::mutex mutex_;
};

} // namespace korvel::journal
