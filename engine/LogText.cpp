#include "engine/LogText.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace korvel
{

std::string_view LogText::Line(std::size_t line) const
{
    if (line >= LineCount())
        return {};
    const std::string_view text = Text();
    const std::size_t begin = starts_[line];
    std::size_t end = starts_[line + 1];
    // One line break at most: LF, CR LF or CR.
    if (end > begin && text[end - 1] == '\n')
        --end;
    if (end > begin && text[end - 1] == '\r')
        --end;
    return text.substr(begin, end - begin);
}

std::optional<std::size_t> LogText::ZeroByteLine(std::size_t firstLine) const
{
    const std::size_t zero = Text().find('\0', LineStart(firstLine));
    if (zero == std::string_view::npos)
        return std::nullopt;
    // The line whose start is the last one at or before the zero byte.
    return static_cast<std::size_t>(std::upper_bound(starts_.begin(), starts_.end(), zero) -
                                    starts_.begin()) -
           1;
}

void LogText::Clear()
{
    buffer_.Reserve(0);
    offset_ = 0;
    size_ = 0;
    starts_.clear();
}

void LogText::Adopt(MessageBuffer& buffer, std::size_t offset, std::size_t size)
{
    std::swap(buffer_, buffer);
    offset_ = offset;
    size_ = size;
    starts_.clear();
    IndexLines(0);
}

LogText LogText::Appended(LogText& latest, std::size_t firstLine) const
{
    LogText joined;
    firstLine = std::min(firstLine, latest.LineCount());
    const std::size_t from = latest.LineStart(firstLine);
    if (from == size_ &&
        std::memcmp(Text().data(), latest.Text().data(), std::min<std::size_t>(size_, 16)) == 0)
    {
        // The log only grew: the latest block holds this text's lines at the same places.
        std::swap(joined, latest);
        return joined;
    }
    const std::string_view more = latest.Text().substr(from);
    joined.buffer_.Reserve(static_cast<std::int64_t>(size_ + more.size()));
    std::memcpy(joined.buffer_.Data(), Text().data(), size_);
    std::memcpy(joined.buffer_.Data() + size_, more.data(), more.size());
    joined.size_ = size_ + more.size();
    joined.starts_ = starts_;
    if (!joined.starts_.empty())
        joined.starts_.pop_back(); // the old end becomes the first new line's start
    joined.IndexLines(size_);
    return joined;
}

void LogText::IndexLines(std::size_t from)
{
    if (size_ > std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("log larger than 4 GiB");
    const std::string_view text = Text();
    // The next CR and the next LF are each found with one fast search and kept until the scan passes them.
    std::size_t nextCr = text.find('\r', from);
    std::size_t nextLf = text.find('\n', from);
    std::size_t start = from;
    while (start < text.size())
    {
        starts_.push_back(static_cast<std::uint32_t>(start));
        if (nextCr < start)
            nextCr = text.find('\r', start);
        if (nextLf < start)
            nextLf = text.find('\n', start);
        const std::size_t lineBreak = std::min(nextCr, nextLf);
        if (lineBreak == std::string_view::npos)
            break;
        start = lineBreak + (lineBreak == nextCr && nextLf == lineBreak + 1 ? 2 : 1);
    }
    if (!text.empty())
        starts_.push_back(static_cast<std::uint32_t>(text.size()));
}

std::optional<std::size_t> FindNewLines(const LogText& held, const LogText& latest)
{
    const std::string_view heldText = held.Text();
    if (heldText.empty())
        return 0;
    const std::string_view tail =
        heldText.substr(heldText.size() - std::min(heldText.size(), LogOverlapBytes));
    const std::string_view latestText = latest.Text();
    std::size_t end = heldText.size();
    if (latestText.size() < end || latestText.substr(end - tail.size(), tail.size()) != tail)
    {
        const std::size_t found = latestText.rfind(tail);
        if (found == std::string_view::npos)
            return std::nullopt;
        end = found + tail.size();
    }
    // The first line starting at or after the end of the match.
    std::size_t low = 0;
    std::size_t high = latest.LineCount();
    while (low < high)
    {
        const std::size_t middle = (low + high) / 2;
        if (latest.LineStart(middle) < end)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

} // namespace korvel
