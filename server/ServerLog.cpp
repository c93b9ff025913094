#include "server/ServerLog.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace korvel::server
{

namespace
{

std::string TimeStamp()
{
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S ", &local);
    return text;
}

// Drops the partial first line of a tail that was cut in the middle of the log.
std::string FromLineStart(std::string text, bool cut)
{
    if (!cut)
        return text;
    auto lineEnd = text.find('\n');
    return lineEnd == std::string::npos ? std::string{} : text.substr(lineEnd + 1);
}

} // namespace

ServerLog::ServerLog(const std::string& path)
{
    if (path.empty())
        return;
    // Read back through the same descriptor (GETLOG): a name swapped meanwhile is never opened.
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0)
        throw std::system_error(errno, std::generic_category(), "cannot open " + path);
}

ServerLog::~ServerLog()
{
    if (fd_ >= 0)
        ::close(fd_);
}

void ServerLog::Write(std::string_view text)
{
    std::string line = TimeStamp();
    // Names come from clients: a line break would forge a line, and a zero byte ends the text that GETLOG
    // carries, hiding every later line from the administrator.
    for (const char c : text)
        line.push_back(static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? ' ' : c);
    line.push_back('\n');
    if (fd_ < 0)
    {
        memory_ += line;
        return;
    }
    // One write per line with O_APPEND: lines never interleave and each reaches the file before we go on.
    std::size_t written = 0;
    while (written < line.size())
    {
        ssize_t n = ::write(fd_, line.data() + written, line.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        written += static_cast<std::size_t>(n);
    }
}

std::string ServerLog::Tail(std::int64_t maxBytes) const
{
    if (maxBytes <= 0)
        return {};
    if (fd_ < 0)
    {
        bool cut = static_cast<std::int64_t>(memory_.size()) > maxBytes;
        return FromLineStart(cut ? memory_.substr(memory_.size() - maxBytes) : memory_, cut);
    }
    struct stat info
    {
    };
    std::string text;
    if (::fstat(fd_, &info) == 0)
    {
        std::int64_t start = std::max<std::int64_t>(0, info.st_size - maxBytes);
        text.resize(static_cast<std::size_t>(info.st_size - start));
        ssize_t n = ::pread(fd_, text.data(), text.size(), start);
        text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        text = FromLineStart(std::move(text), start > 0);
    }
    return text;
}

} // namespace korvel::server
