// The server log: DIR/server.log, one timestamped line per event, written through at once so that a kill -9
// loses no line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace korvel::server
{

class ServerLog
{
public:
    // Opens (creating, mode 0600) the log file without following a link; throws std::system_error when it
    // cannot. An empty path keeps the log in memory only (fuzzing and unit use).
    explicit ServerLog(const std::string& path);
    ~ServerLog();
    ServerLog(const ServerLog&) = delete;
    ServerLog& operator=(const ServerLog&) = delete;

    // Appends "YYYY-MM-DD HH:MM:SS text" (local time). Control characters inside the text
    // (line breaks, zero bytes) become blanks.
    void Write(std::string_view text);

    // The last `maxBytes` of the log, starting at a line boundary.
    std::string Tail(std::int64_t maxBytes) const;

private:
    int fd_ = -1;
    std::string memory_;
};

} // namespace korvel::server
