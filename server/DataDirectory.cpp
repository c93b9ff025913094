#include "server/DataDirectory.h"

#include "server/ServerCore.h"
#include "server/Store.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
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

} // namespace

DataDirectoryLock::DataDirectoryLock(const std::filesystem::path& dataDir)
{
    std::filesystem::create_directories(dataDir);
    auto path = (dataDir / "korvel.lock").string();
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0)
        Fail("cannot open " + path);
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0)
    {
        int error = errno;
        ::close(fd_);
        errno = error;
        if (error == EWOULDBLOCK)
            throw DataDirectoryInUse();
        Fail("cannot lock " + path);
    }
}

DataDirectoryLock::~DataDirectoryLock()
{
    ::close(fd_); // releases the lock
}

std::filesystem::path PasswordFile(const std::filesystem::path& dataDir)
{
    return dataDir / "initial-admin-password";
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
    if (name.empty())
        throw std::invalid_argument("--reset-admin: a user name is needed");
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
