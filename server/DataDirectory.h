// The reference server's data directory: one process at a time holds it, it and the server's files in it are
// the owner's alone, and the administrator's password file is replaced without following a planted link or
// reusing a file someone else created.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace korvel::server
{

class Store;

// Raised when another process holds the data directory.
class DataDirectoryInUse : public std::runtime_error
{
public:
    DataDirectoryInUse() : std::runtime_error("data directory in use") {}
};

// Raised when a directory that must hold an installation holds none.
class NoKorvelData : public std::runtime_error
{
public:
    explicit NoKorvelData(const std::filesystem::path& dir)
        : std::runtime_error("no KORVEL data in " + dir.string())
    {
    }
};

// The data directory, held for the object's life by an exclusive flock on the directory itself: renaming or
// replacing a file in it cannot get round the lock, and the kernel drops it when the process ends, however it
// ends. The directory is opened without following a link, and refused when it is a link, belongs to another
// user or is writable by others. On opening, the directory is made 0700 and the server's files in it 0600
// (the database holds every password; files created later get that mode from the process umask,
// KeepCreatedFilesPrivate); a file the server opens in place may not be a symbolic link or anything but a
// plain file.
class DataDirectory
{
public:
    enum class Missing
    {
        Create, // a normal start: a new directory becomes a new installation
        Refuse  // recovery: a directory without a database is refused, and nothing is created
    };

    DataDirectory(std::filesystem::path path, Missing missing);
    ~DataDirectory();
    DataDirectory(const DataDirectory&) = delete;
    DataDirectory& operator=(const DataDirectory&) = delete;

    std::string DatabasePath() const;
    std::string LogPath() const;
    // What opening tightened, one sentence each, for the log and the console.
    const std::vector<std::string>& Tightened() const { return tightened_; }

private:
    // Refuses a directory of another user, or without a database when it must have one; then makes the
    // directory and the server's files private and refuses a link or special file where a file is opened.
    void Secure(Missing missing);

    std::filesystem::path path_;
    int fd_ = -1;
    std::vector<std::string> tightened_;
};

// The file that holds the administrator's first (or reset) password.
std::filesystem::path PasswordFile(const std::filesystem::path& dataDir);

// Writes `password` to a new file (O_EXCL|O_NOFOLLOW, mode 0600) and renames it over the password file.
void PublishPassword(const std::filesystem::path& dataDir, const std::string& password);

// Makes `name` an administrator with a new random password, adding the user when missing. Returns the
// password.
std::string ResetAdministrator(Store& store, const std::string& name);

} // namespace korvel::server
