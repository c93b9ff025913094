#include "journal/Journal.h"

#include "files/OwnFiles.h"
#include "journal/JsonText.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvel::journal
{

namespace
{

using Json = nlohmann::ordered_json;

JournalError Failure(const std::string& what, const std::string& path)
{
    return JournalError("Cannot " + what + " the journal " + path + ": " + std::strerror(errno));
}

// The journal is private: a directory or file of ours that others may read is made the account's alone.
void Tighten(int fd, mode_t mode)
{
    struct stat status
    {
    };
    if (fstat(fd, &status) == 0 && (status.st_mode & 077) != 0)
        fchmod(fd, mode);
}

std::string Text(const Json& object, const char* key)
{
    auto found = object.find(key);
    return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

} // namespace

std::string Now()
{
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    const auto millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d+00:00", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(millis));
    return text;
}

std::string NewRunId()
{
    std::random_device random;
    char text[17];
    std::snprintf(text, sizeof text, "%08x%08x", random(), random());
    return text;
}

std::string ToJsonLine(const Entry& entry)
{
    Json line{{"time", entry.Time},
              {"server", entry.From.Server},
              {"profile", entry.From.Profile},
              {"user", entry.From.User},
              {"program", entry.From.Program},
              {"operation", entry.Operation},
              {"object", entry.Object},
              {"change", entry.Change},
              {"result", entry.Ok        ? "ok"
                         : entry.Unknown ? "unknown"
                                         : "error"}};
    if (!entry.Ok)
    {
        line["code"] = entry.ErrorCode;
        line["message"] = entry.ErrorMessage;
    }
    if (entry.Database)
        line["object"] = Json{{"user", entry.Object}, {"database", *entry.Database}};
    if (entry.From.Run)
        line["run"] = Json{
            {"id", entry.From.Run->Id}, {"file", entry.From.Run->File}, {"sha256", entry.From.Run->Sha256}};
    return DumpJson(line);
}

std::optional<Entry> FromJsonLine(std::string_view line)
{
    Json object = ParseJson(line);
    if (!object.is_object() || !object.contains("time") || !object.contains("operation"))
        return std::nullopt;
    Entry entry;
    entry.Time = Text(object, "time");
    entry.From = {Text(object, "server"), Text(object, "profile"), Text(object, "user"),
                  Text(object, "program")};
    if (auto run = object.find("run"); run != object.end() && run->is_object())
        entry.From.Run = journal::Run{Text(*run, "id"), Text(*run, "file"), Text(*run, "sha256")};
    entry.Operation = Text(object, "operation");
    if (auto pair = object.find("object"); pair != object.end() && pair->is_object())
    {
        entry.Object = Text(*pair, "user");
        entry.Database = Text(*pair, "database");
    }
    else
        entry.Object = Text(object, "object");
    entry.Change = Text(object, "change");
    const std::string result = Text(object, "result");
    entry.Ok = result == "ok";
    entry.Unknown = result == "unknown";
    if (!entry.Ok)
    {
        auto code = object.find("code");
        entry.ErrorCode = code != object.end() && code->is_number_integer() ? code->get<int>() : 0;
        entry.ErrorMessage = Text(object, "message");
    }
    return entry;
}

std::string DefaultPath()
{
    std::string base;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state == '/')
        base = state;
    else if (const char* home = std::getenv("HOME"); home && *home == '/')
        base = std::string(home) + "/.local/state";
    else
        return {}; // never beside whatever directory the program happens to run in
    return base + "/korvel-admin/journal.jsonl";
}

Journal::Journal(std::string path) : path_(std::move(path)) {}

Journal::~Journal()
{
    if (fd_ >= 0)
    {
        fdatasync(fd_);
        close(fd_);
    }
}

void Journal::Open()
{
    std::lock_guard lock(mutex_);
    if (fd_ >= 0)
        return;
    if (path_.empty())
        throw JournalError("Cannot open the journal: neither HOME nor XDG_STATE_HOME names an absolute "
                           "directory to keep it in");
    try
    {
        // Created and checked first, so that an existing directory of ours is tightened too.
        Tighten(files::OpenOwnDirectory(files::DirectoryOf(path_), true)->Get(), 0700);
        files::Descriptor fd = files::OpenOwnFile(path_, O_RDWR | O_APPEND | O_CREAT, 0600);
        Tighten(fd.Get(), 0600);
        fd_ = fd.Release();
    }
    catch (const files::FileError& error)
    {
        throw JournalError(std::string("Cannot open the journal: ") + error.what());
    }
}

void Journal::Append(const Entry& entry)
{
    Open();
    std::lock_guard lock(mutex_);
    Write(ToJsonLine(entry) + "\n");
}

void Journal::Write(const std::string& line)
{
    // The lock keeps other processes' lines out of this one's; it goes with the process, however it ends.
    while (flock(fd_, LOCK_EX) != 0)
        if (errno != EINTR)
            throw Failure("lock", path_);
    struct Unlock
    {
        int Fd;
        ~Unlock() { flock(Fd, LOCK_UN); }
    } unlock{fd_};
    DropCutLine();
    // O_APPEND puts the write at the end whole; a second one only after a short write (a full disk).
    std::size_t written = 0;
    while (written < line.size())
    {
        const ssize_t result = write(fd_, line.data() + written, line.size() - written);
        if (result < 0 && errno == EINTR)
            continue;
        if (result <= 0)
            throw Failure("write to", path_);
        written += static_cast<std::size_t>(result);
    }
}

void Journal::DropCutLine()
{
    // With the lock held nobody is writing, so an end without a line break is a line cut short: its writer
    // was killed between two pages of it, or the disk was full. It goes, so every line stays whole.
    struct stat status
    {
    };
    if (fstat(fd_, &status) != 0 || status.st_size == 0)
        return;
    off_t end = status.st_size;
    // Almost always the file ends in a line break: one byte read says so, not a page of the file per line.
    char lastByte = 0;
    if (pread(fd_, &lastByte, 1, end - 1) != 1)
        throw Failure("read", path_);
    if (lastByte == '\n')
        return;
    char chunk[4096];
    while (end > 0)
    {
        const off_t start =
            end > static_cast<off_t>(sizeof chunk) ? end - static_cast<off_t>(sizeof chunk) : 0;
        const ssize_t got = pread(fd_, chunk, static_cast<std::size_t>(end - start), start);
        if (got != end - start)
            throw Failure("read", path_);
        for (ssize_t at = got - 1; at >= 0; --at)
            if (chunk[at] == '\n')
            {
                if (ftruncate(fd_, start + at + 1) != 0)
                    throw Failure("repair", path_);
                return;
            }
        end = start;
    }
    if (ftruncate(fd_, 0) != 0)
        throw Failure("repair", path_);
}

} // namespace korvel::journal
