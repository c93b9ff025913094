// What the Log page searches for: plain text (case-insensitive unless asked otherwise) or a regular
// expression, tested on a line's bytes and located in a shown line for highlighting.
#pragma once

#include <QList>
#include <QRegularExpression>
#include <QString>

#include <string>
#include <string_view>
#include <utility>

namespace korvel::admin
{

class LogLineMatcher
{
public:
    LogLineMatcher() = default;
    LogLineMatcher(const QString& pattern, bool regularExpression, bool caseSensitive);

    bool Empty() const { return pattern_.isEmpty(); }
    // A regular expression that does not compile matches nothing; this says why.
    QString Error() const;
    bool Matches(std::string_view line) const;
    // Start and length of every match in a shown line.
    QList<std::pair<int, int>> Ranges(const QString& text) const;

private:
    QString pattern_;
    bool regularExpression_ = false;
    Qt::CaseSensitivity caseSensitivity_ = Qt::CaseInsensitive;
    QRegularExpression expression_;
    // Plain text the bytes are searched for directly: the pattern's UTF-8, lower-cased when the search
    // ignores case and the pattern is ASCII (other patterns go through QString).
    std::string bytes_;
    bool bytesSearch_ = false;
};

} // namespace korvel::admin
