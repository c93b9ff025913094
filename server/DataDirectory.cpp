#include "server/DataDirectory.h"

#include "server/ServerCore.h"
#include "server/Store.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace korvel::server
{

namespace
{

[[noreturn]] void Fail(const std::string& what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

constexpr const char* DatabaseName = "korvel.db";
constexpr const char* LogName = "server.log";
constexpr const char* PasswordName = "initial-admin-password";

// The server's files: opened in place (by the server, or by SQLite beside its database), or replaced by
// rename, where a planted link is harmless.
struct OwnFile
{
    const char* Name;
    bool OpenedInPlace;
};
const OwnFile OwnFiles[] = {{DatabaseName, true},        {"korvel.db-wal", true}, {"korvel.db-shm", true},
                            {"korvel.db-journal", true}, {LogName, true},         {PasswordName, false}};

// The server would otherwise tighten and fill whatever directory the link names.
void RefuseLink(const std::filesystem::path& path)
{
    std::error_code ignored;
    if (std::filesystem::is_symlink(path, ignored))
        throw std::runtime_error(path.string() +
                                 " is a symbolic link: give the data directory's own path, not a link to it");
}

std::string ModeChange(const std::filesystem::path& path, mode_t from, mode_t to)
{
    char modes[32];
    std::snprintf(modes, sizeof modes, "%04o to %04o", static_cast<unsigned>(from & 07777),
                  static_cast<unsigned>(to));
    return "Tightened " + path.string() + " from mode " + modes;
}

} // namespace

DataDirectory::DataDirectory(std::filesystem::path path, Missing missing) : path_(std::move(path))
{
    // A trailing slash would make the kernel follow a final link even with O_NOFOLLOW.
    if (!path_.has_filename() && path_.has_parent_path() && path_ != path_.root_path())
        path_ = path_.parent_path();
    RefuseLink(path_);
    if (missing == Missing::Create)
        std::filesystem::create_directories(path_);
    // Never through a link planted meanwhile: every later change is made through this descriptor only.
    fd_ = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd_ < 0)
    {
        if (errno == ENOENT && missing == Missing::Refuse)
            throw NoKorvelData(path_);
        RefuseLink(path_);
        Fail("cannot open " + path_.string());
    }
    try
    {
        if (::flock(fd_, LOCK_EX | LOCK_NB) != 0)
        {
            if (errno == EWOULDBLOCK)
                throw DataDirectoryInUse();
            Fail("cannot lock " + path_.string());
        }
        Secure(missing);
    }
    catch (...)
    {
        ::close(fd_);
        throw;
    }
}

DataDirectory::~DataDirectory()
{
    ::close(fd_); // releases the lock
}

std::string DataDirectory::DatabasePath() const
{
    return (path_ / DatabaseName).string();
}

std::string DataDirectory::LogPath() const
{
    return (path_ / LogName).string();
}

void DataDirectory::Secure(Missing missing)
{
    struct stat info
    {
    };
    if (::fstat(fd_, &info) != 0)
        Fail("cannot inspect " + path_.string());
    // Whoever owns the directory can swap its files at will.
    if (info.st_uid != ::geteuid())
        throw std::runtime_error(path_.string() + " belongs to another user");
    // Anyone who could write in it may have planted files already; tightening now would not undo that.
    if (info.st_mode & (S_IWGRP | S_IWOTH))
        throw std::runtime_error(path_.string() +
                                 " is writable by other users: make it the server user's alone (chmod 700)");
    if (missing == Missing::Refuse && ::faccessat(fd_, DatabaseName, F_OK, AT_SYMLINK_NOFOLLOW) != 0)
        throw NoKorvelData(path_);
    // Private first: from then on nobody else can plant or swap a file while the rest is checked.
    if ((info.st_mode & 07777) != 0700)
    {
        if (::fchmod(fd_, 0700) != 0)
            Fail("cannot change the mode of " + path_.string());
        tightened_.push_back(ModeChange(path_, info.st_mode, 0700));
    }
    for (const OwnFile& file : OwnFiles)
    {
        const auto path = path_ / file.Name;
        if (::fstatat(fd_, file.Name, &info, AT_SYMLINK_NOFOLLOW) != 0)
        {
            if (errno != ENOENT)
                Fail("cannot inspect " + path.string());
            continue;
        }
        if (!S_ISREG(info.st_mode))
        {
            if (file.OpenedInPlace)
                throw std::runtime_error(
                    path.string() +
                    " is a symbolic link or a special file: the server opens only plain files");
            continue;
        }
        if ((info.st_mode & 07777) == 0600)
            continue;
        if (::fchmodat(fd_, file.Name, 0600, 0) != 0)
            Fail("cannot change the mode of " + path.string());
        tightened_.push_back(ModeChange(path, info.st_mode, 0600));
    }
}

std::filesystem::path PasswordFile(const std::filesystem::path& dataDir)
{
    return dataDir / PasswordName;
}

void PublishPassword(const std::filesystem::path& dataDir, const std::string& password)
{
    // A fresh name each time: O_EXCL then never meets a leftover, and a link planted at the final name is
    // replaced by the rename rather than written through.
    auto target = PasswordFile(dataDir);
    auto temporary = target.string() + "." + RandomPassword().substr(0, 8);
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        Fail("cannot create " + temporary);
    std::string text = password + "\n";
    bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    if (::close(fd) != 0 || !written)
    {
        ::unlink(temporary.c_str());
        Fail("cannot write " + temporary);
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0)
    {
        int error = errno;
        ::unlink(temporary.c_str());
        errno = error;
        Fail("cannot rename " + temporary);
    }
}

std::string ResetAdministrator(Store& store, const std::string& name)
{
    UserRecord user{name, RandomPassword(), "Administrator", true};
    if (auto existing = store.FindUser(name))
    {
        user.Description = existing->Description;
        store.ModifyUser(user);
    }
    else
    {
        store.AddUser(user);
    }
    return user.Password;
}

} // namespace korvel::server
