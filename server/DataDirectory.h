// The reference server's data directory: one process at a time holds it, and the administrator's password
// file is replaced without following a planted link or reusing a file someone else created.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

namespace korvel::server
{

class Store;

// Raised when another process holds the data directory.
class DataDirectoryInUse : public std::runtime_error
{
public:
    DataDirectoryInUse() : std::runtime_error("data directory in use") {}
};

// An exclusive flock on the lock file in the data directory (created with the directory when missing), held
// for the object's life; the kernel drops it when the process ends, however it ends.
class DataDirectoryLock
{
public:
    explicit DataDirectoryLock(const std::filesystem::path& dataDir);
    ~DataDirectoryLock();
    DataDirectoryLock(const DataDirectoryLock&) = delete;
    DataDirectoryLock& operator=(const DataDirectoryLock&) = delete;

private:
    int fd_ = -1;
};

// The file that holds the administrator's first (or reset) password.
std::filesystem::path PasswordFile(const std::filesystem::path& dataDir);

// Writes `password` to a new file (O_EXCL|O_NOFOLLOW, mode 0600) and renames it over the password file.
void PublishPassword(const std::filesystem::path& dataDir, const std::string& password);

// Makes `name` an administrator with a new random password, adding the user when missing. Returns the
// password.
std::string ResetAdministrator(Store& store, const std::string& name);

} // namespace korvel::server
