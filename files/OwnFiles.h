// Files this program writes for the person running it: the journal, profiles, settings, the trace file and
// exports. Another local user must not be able to turn a write of ours into a write of theirs, so:
// - a file is opened without following a final symbolic link, and must be a regular file of the running user
//   when written;
// - it lives in a directory of the running user that nobody else can write (the directory's own path may go
//   through symbolic links: what counts is the directory it reaches);
// - a missing directory is created for the user alone (0700), with its missing parents;
// - a file rewritten as a whole is replaced at once (a temporary file beside it, synced, renamed over it), so
//   a reader sees the old or the new text, never half of one;
// - writers in several processes take an advisory lock on "<file>.lock" beside the file.
// Every refusal is a FileError naming the path and what is wrong with it. No Qt.
#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace korvel::files
{

class FileError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// A file descriptor, closed when it goes.
class Descriptor
{
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor();
    Descriptor(Descriptor&& other) noexcept : fd_(other.Release()) {}
    Descriptor& operator=(Descriptor&& other) noexcept;
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int Get() const { return fd_; }
    // The caller closes it from now on.
    int Release();
    explicit operator bool() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// The directory part of `path`: "." for a bare name.
std::string DirectoryOf(const std::string& path);

// Opens the directory after checking it is the running user's and not writable by anyone else; with
// `create`, missing directories are made first (0700). Nothing when it is missing and not created.
std::optional<Descriptor> OpenOwnDirectory(const std::string& directory, bool create);

// Opens `path` with open(2)'s `flags` in a directory checked as OpenOwnDirectory does (created when O_CREAT
// is given): never through a final symbolic link, never anything but a regular file, and, when opened for
// writing, only a file of the running user (O_TRUNC cuts it only once that is checked). A file that is
// missing and not created gives an empty Descriptor.
Descriptor OpenOwnFile(const std::string& path, int flags, mode_t newFileMode = 0600);

// Replaces the whole file with `content` at once, in a directory that exists. A new file gets `newFileMode`,
// an existing one keeps its mode; a symbolic link or anything but a regular file of the user at `path` is
// refused, not replaced.
void ReplaceFile(const std::string& path, std::string_view content, mode_t newFileMode = 0600);

// An exclusive advisory lock for writing `path`, across processes, held from construction to destruction.
// It is taken on "<path>.lock" (0600; left in place, since removing it would let two writers lock two files).
class FileLock
{
public:
    explicit FileLock(const std::string& path);

private:
    Descriptor lock_;
};

} // namespace korvel::files
