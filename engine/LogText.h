// The server's log as one block of the bytes the server sent, with the position of every line: a million-line
// log costs its own size plus four bytes a line, never a string per line. Lines end at CR LF, LF or CR; a
// last line without a line break is kept; a zero byte is kept as a byte of its line, so it hides nothing.
#pragma once

#include "engine/wire/Message.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace korvel
{

class LogText
{
public:
    std::string_view Text() const { return {reinterpret_cast<const char*>(buffer_.Data()) + offset_, size_}; }
    std::size_t LineCount() const { return starts_.empty() ? 0 : starts_.size() - 1; }
    // The line's bytes without its line break.
    std::string_view Line(std::size_t line) const;
    // Where the line starts in Text(); LineStart(LineCount()) is the text's size.
    std::size_t LineStart(std::size_t line) const { return line < starts_.size() ? starts_[line] : size_; }
    // The first line from `firstLine` on that holds a zero byte, if any.
    std::optional<std::size_t> ZeroByteLine(std::size_t firstLine = 0) const;

    void Clear();
    // Takes over `buffer`, whose bytes [offset, offset + size) are the text, without copying them, and
    // finds its lines. `buffer` receives the block this text held before, for reuse.
    void Adopt(MessageBuffer& buffer, std::size_t offset, std::size_t size);
    // This text followed by the lines of `latest` from `firstLine` on, as a new text: this one is left as it
    // is, so another thread may go on reading it. When this text is exactly the part of `latest` before that
    // line (the log only grew), the block of `latest` is taken over and nothing is copied; otherwise this
    // text's bytes and the new lines' are copied into a new block.
    LogText Appended(LogText& latest, std::size_t firstLine) const;

private:
    // Adds the starts of the lines in Text() from byte `from` on, and the end sentinel.
    void IndexLines(std::size_t from);

    MessageBuffer buffer_;
    std::size_t offset_ = 0;
    std::size_t size_ = 0;
    // One entry per line plus the end of the text; empty for an empty text.
    std::vector<std::uint32_t> starts_;
};

// How much of the end of the held log a re-read looks for.
inline constexpr std::size_t LogOverlapBytes = 64 * 1024;

// The first line of `latest` (a fresh read of the whole log) that `held` does not have yet. The log only
// grows, so the last LogOverlapBytes of `held` are looked for first at the same place in `latest`, and only
// when they are not there searched for from its end (where a run of identical lines would match too late).
// Empty when they are not found, as when the server's log was cut; `latest.LineCount()` when nothing is new.
std::optional<std::size_t> FindNewLines(const LogText& held, const LogText& latest);

} // namespace korvel
