#include "admin/pages/log/LogLineMatcher.h"

#include <algorithm>
#include <array>

namespace korvel::admin
{
namespace
{

const std::array<unsigned char, 256>& AsciiLower()
{
    static const std::array<unsigned char, 256> table = []
    {
        std::array<unsigned char, 256> lower{};
        for (int c = 0; c < 256; ++c)
            lower[static_cast<std::size_t>(c)] =
                static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        return lower;
    }();
    return table;
}

bool IsAscii(const QString& text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

// `needle` is lower-case ASCII and not empty.
bool ContainsIgnoringAsciiCase(std::string_view haystack, std::string_view needle)
{
    const auto& lower = AsciiLower();
    const auto first = static_cast<unsigned char>(needle[0]);
    if (haystack.size() < needle.size())
        return false;
    const std::size_t last = haystack.size() - needle.size();
    for (std::size_t at = 0; at <= last; ++at)
    {
        if (lower[static_cast<unsigned char>(haystack[at])] != first)
            continue;
        std::size_t i = 1;
        while (i < needle.size() &&
               lower[static_cast<unsigned char>(haystack[at + i])] == static_cast<unsigned char>(needle[i]))
            ++i;
        if (i == needle.size())
            return true;
    }
    return false;
}

} // namespace

LogLineMatcher::LogLineMatcher(const QString& pattern, bool regularExpression, bool caseSensitive)
    : pattern_(pattern), regularExpression_(regularExpression),
      caseSensitivity_(caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive)
{
    if (regularExpression_)
    {
        expression_.setPattern(pattern_);
        expression_.setPatternOptions(caseSensitive ? QRegularExpression::NoPatternOption
                                                    : QRegularExpression::CaseInsensitiveOption);
        expression_.optimize();
        return;
    }
    bytesSearch_ = caseSensitive || IsAscii(pattern_);
    if (bytesSearch_)
        bytes_ = (caseSensitive ? pattern_ : pattern_.toLower()).toStdString();
}

QString LogLineMatcher::Error() const
{
    return regularExpression_ && !expression_.isValid() ? expression_.errorString() : QString();
}

bool LogLineMatcher::Matches(std::string_view line) const
{
    if (Empty())
        return false;
    if (bytesSearch_)
        return caseSensitivity_ == Qt::CaseSensitive ? line.find(bytes_) != std::string_view::npos
                                                     : ContainsIgnoringAsciiCase(line, bytes_);
    const QString text = QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
    if (regularExpression_)
        return expression_.isValid() && expression_.match(text).hasMatch();
    return text.contains(pattern_, caseSensitivity_);
}

QList<std::pair<int, int>> LogLineMatcher::Ranges(const QString& text) const
{
    QList<std::pair<int, int>> ranges;
    if (Empty())
        return ranges;
    if (regularExpression_)
    {
        if (!expression_.isValid())
            return ranges;
        for (auto it = expression_.globalMatch(text); it.hasNext();)
        {
            const QRegularExpressionMatch match = it.next();
            if (match.capturedLength() > 0)
                ranges.append(
                    {static_cast<int>(match.capturedStart()), static_cast<int>(match.capturedLength())});
        }
        return ranges;
    }
    for (qsizetype at = text.indexOf(pattern_, 0, caseSensitivity_); at >= 0;
         at = text.indexOf(pattern_, at + pattern_.size(), caseSensitivity_))
        ranges.append({static_cast<int>(at), static_cast<int>(pattern_.size())});
    return ranges;
}

} // namespace korvel::admin
