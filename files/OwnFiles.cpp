#include "files/OwnFiles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace korvel::files
{

namespace
{

std::string NameOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

FileError SystemError(const std::string& path)
{
    return FileError(path + ": " + std::strerror(errno));
}

std::string Octal(mode_t mode)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

// Creates each missing directory on the way to `directory`, for the user alone, as mkdir -p -m 0700 would.
void MakeDirectories(const std::string& directory)
{
    for (std::size_t slash = directory.find('/', 1); slash != std::string::npos;
         slash = directory.find('/', slash + 1))
        if (mkdir(directory.substr(0, slash).c_str(), 0700) != 0 && errno != EEXIST)
            throw SystemError(directory.substr(0, slash));
    if (mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST)
        throw SystemError(directory);
}

// Refuses a file found at `path` that is to be written unless it is a regular file of the user.
void CheckWritable(const std::string& path, const struct stat& status)
{
    if (S_ISLNK(status.st_mode))
        throw FileError(path + " is a symbolic link, which is not followed");
    if (!S_ISREG(status.st_mode))
        throw FileError(path + " is not a regular file");
    if (status.st_uid != geteuid())
        throw FileError(path + " belongs to another user (uid " + std::to_string(status.st_uid) + ")");
}

// A new file beside the one it is to replace, removed again unless it took that one's place.
class TemporaryFile
{
public:
    TemporaryFile(int directory, const std::string& name, const std::string& path) : directory_(directory)
    {
        std::minstd_rand random(std::random_device{}());
        const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
        for (int attempt = 0; attempt < 100 && !fd_; ++attempt)
        {
            name_ = name + ".";
            for (int i = 0; i < 6; ++i)
                name_ += letters[random() % (sizeof letters - 1)];
            fd_ = Descriptor(
                openat(directory, name_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
            if (!fd_ && errno != EEXIST)
                throw SystemError(path);
        }
        if (!fd_)
            throw SystemError(path);
    }
    ~TemporaryFile()
    {
        if (!renamed_)
            unlinkat(directory_, name_.c_str(), 0);
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    void Write(std::string_view content, mode_t mode, const std::string& path)
    {
        for (std::size_t written = 0; written < content.size();)
        {
            const ssize_t n = write(fd_.Get(), content.data() + written, content.size() - written);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                throw SystemError(path);
            written += static_cast<std::size_t>(n);
        }
        if (fchmod(fd_.Get(), mode) != 0 || fsync(fd_.Get()) != 0 || close(fd_.Release()) != 0)
            throw SystemError(path);
    }

    void RenameTo(const std::string& name, const std::string& path)
    {
        if (renameat(directory_, name_.c_str(), directory_, name.c_str()) != 0)
            throw SystemError(path);
        renamed_ = true;
        // The rename itself reaches the disk with the directory.
        fsync(directory_);
    }

private:
    int directory_;
    std::string name_;
    Descriptor fd_;
    bool renamed_ = false;
};

} // namespace

Descriptor::~Descriptor()
{
    if (fd_ >= 0)
        close(fd_);
}

Descriptor& Descriptor::operator=(Descriptor&& other) noexcept
{
    if (this != &other)
    {
        if (fd_ >= 0)
            close(fd_);
        fd_ = other.Release();
    }
    return *this;
}

int Descriptor::Release()
{
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

std::string DirectoryOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::optional<Descriptor> OpenOwnDirectory(const std::string& directory, bool create)
{
    if (create)
        MakeDirectories(directory);
    Descriptor fd(open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd && errno == ENOENT && !create)
        return std::nullopt;
    struct stat status
    {
    };
    if (!fd || fstat(fd.Get(), &status) != 0)
        throw SystemError(directory);
    if (status.st_uid != geteuid())
        throw FileError("the directory " + directory + " belongs to another user (uid " +
                        std::to_string(status.st_uid) + ")");
    if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        throw FileError("the directory " + directory + " can be written by other users (mode " +
                        Octal(status.st_mode) + "); it should be 0700");
    return fd;
}

Descriptor OpenOwnFile(const std::string& path, int flags, mode_t newFileMode)
{
    std::optional<Descriptor> directory = OpenOwnDirectory(DirectoryOf(path), (flags & O_CREAT) != 0);
    if (!directory)
        return {};
    // Not blocking, so that a FIFO planted there cannot hold the open; O_TRUNC waits for the checks.
    Descriptor fd(openat(directory->Get(), NameOf(path).c_str(),
                         (flags & ~O_TRUNC) | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, newFileMode));
    if (!fd && errno == ENOENT && (flags & O_CREAT) == 0)
        return {};
    if (!fd && errno == ELOOP)
        throw FileError(path + " is a symbolic link, which is not followed");
    struct stat status
    {
    };
    if (!fd || fstat(fd.Get(), &status) != 0)
        throw SystemError(path);
    if ((flags & O_ACCMODE) != O_RDONLY)
        CheckWritable(path, status);
    else if (!S_ISREG(status.st_mode))
        throw FileError(path + " is not a regular file");
    if ((flags & O_NONBLOCK) == 0 && fcntl(fd.Get(), F_SETFL, fcntl(fd.Get(), F_GETFL) & ~O_NONBLOCK) == -1)
        throw SystemError(path);
    if ((flags & O_TRUNC) != 0 && ftruncate(fd.Get(), 0) != 0)
        throw SystemError(path);
    return fd;
}

void ReplaceFile(const std::string& path, std::string_view content, mode_t newFileMode)
{
    const std::string name = NameOf(path);
    std::optional<Descriptor> found = OpenOwnDirectory(DirectoryOf(path), false);
    if (!found)
        throw FileError(DirectoryOf(path) + ": " + std::strerror(ENOENT));
    const Descriptor directory = std::move(*found);
    mode_t mode = newFileMode;
    struct stat existing
    {
    };
    if (fstatat(directory.Get(), name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0)
    {
        CheckWritable(path, existing);
        mode = existing.st_mode & 07777;
    }
    else if (errno != ENOENT)
        throw SystemError(path);
    TemporaryFile temporary(directory.Get(), name, path);
    temporary.Write(content, mode, path);
    temporary.RenameTo(name, path);
}

FileLock::FileLock(const std::string& path) : lock_(OpenOwnFile(path + ".lock", O_RDWR | O_CREAT, 0600))
{
    while (flock(lock_.Get(), LOCK_EX) != 0)
        if (errno != EINTR)
            throw SystemError(path + ".lock");
}

} // namespace korvel::files
