#include "journal/History.h"

#include "engine/wire/Utf8.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>

namespace korvel::journal
{

namespace
{

// Reads exactly `digits` digits at `at`, moving past them.
std::optional<int> Number(std::string_view text, std::size_t& at, std::size_t digits)
{
    if (at + digits > text.size())
        return std::nullopt;
    int value = 0;
    for (std::size_t i = 0; i < digits; ++i)
    {
        const char c = text[at + i];
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    at += digits;
    return value;
}

bool Take(std::string_view text, std::size_t& at, char expected)
{
    if (at < text.size() && text[at] == expected)
    {
        ++at;
        return true;
    }
    return false;
}

// Z, +HH, +HH:MM or +HHMM (or -) at the end of the text; the offset east of UTC in minutes.
std::optional<int> Offset(std::string_view text, std::size_t& at)
{
    if (at == text.size())
        return 0;
    if (Take(text, at, 'Z') || Take(text, at, 'z'))
        return at == text.size() ? std::optional<int>(0) : std::nullopt;
    const char sign = text[at];
    if (sign != '+' && sign != '-')
        return std::nullopt;
    ++at;
    auto hours = Number(text, at, 2);
    int minutes = 0;
    if (at < text.size())
    {
        Take(text, at, ':');
        auto parsed = Number(text, at, 2);
        if (!parsed)
            return std::nullopt;
        minutes = *parsed;
    }
    if (!hours || *hours > 23 || minutes > 59 || at != text.size())
        return std::nullopt;
    return (sign == '-' ? -1 : 1) * (*hours * 60 + minutes);
}

// No entry of ours comes near this; a longer line is read past, never held whole.
constexpr std::size_t MaxLineBytes = 1 << 20;

// The next line without its break (nothing at the end of the file); `ended` says whether a break ended it,
// `tooLong` whether it was longer than MaxLineBytes (and so cut).
std::optional<std::string> NextLine(std::streambuf& file, bool& ended, bool& tooLong)
{
    std::string line;
    ended = tooLong = false;
    for (int c = file.sbumpc(); c != std::char_traits<char>::eof(); c = file.sbumpc())
    {
        if (c == '\n')
        {
            ended = true;
            return line;
        }
        if (line.size() < MaxLineBytes)
            line += static_cast<char>(c);
        else
            tooLong = true;
    }
    if (line.empty() && !tooLong)
        return std::nullopt;
    return line;
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

} // namespace

std::optional<TimePoint> ParseTime(std::string_view text)
{
    std::size_t at = 0;
    std::tm utc{};
    auto year = Number(text, at, 4);
    bool ok = year && Take(text, at, '-');
    auto month = ok ? Number(text, at, 2) : std::nullopt;
    ok = month && Take(text, at, '-');
    auto day = ok ? Number(text, at, 2) : std::nullopt;
    if (!day || *month < 1 || *month > 12 || *day < 1 || *day > 31)
        return std::nullopt;
    utc.tm_year = *year - 1900;
    utc.tm_mon = *month - 1;
    utc.tm_mday = *day;
    std::chrono::milliseconds fraction{0};
    if (Take(text, at, 'T') || Take(text, at, 't') || Take(text, at, ' '))
    {
        auto hour = Number(text, at, 2);
        auto minute = hour && Take(text, at, ':') ? Number(text, at, 2) : std::nullopt;
        if (!minute || *hour > 23 || *minute > 59)
            return std::nullopt;
        utc.tm_hour = *hour;
        utc.tm_min = *minute;
        if (Take(text, at, ':'))
        {
            auto second = Number(text, at, 2);
            if (!second || *second > 60)
                return std::nullopt;
            utc.tm_sec = *second;
            if (Take(text, at, '.') || Take(text, at, ','))
            {
                int scale = 100;
                const std::size_t first = at;
                for (; at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]));
                     ++at, scale /= 10)
                    fraction += std::chrono::milliseconds((text[at] - '0') * scale);
                if (at == first)
                    return std::nullopt;
            }
        }
    }
    auto offset = Offset(text, at);
    if (!offset)
        return std::nullopt;
    const std::time_t seconds = timegm(&utc);
    // timegm normalises 31 February into March; such a date is a mistake.
    if (utc.tm_mday != *day)
        return std::nullopt;
    return TimePoint(std::chrono::seconds(seconds)) + fraction - std::chrono::minutes(*offset);
}

bool Matches(const Entry& entry, const Filter& filter)
{
    if (!filter.Server.empty() && entry.From.Server != filter.Server &&
        entry.From.Server.substr(0, entry.From.Server.rfind(':')) != filter.Server)
        return false;
    if (!filter.User.empty() && entry.From.User != filter.User)
        return false;
    if (!filter.Run.empty() && (!entry.From.Run || entry.From.Run->Id != filter.Run))
        return false;
    if (!filter.Object.empty() && !Contains(entry.Object, filter.Object) &&
        !(entry.Database && Contains(*entry.Database, filter.Object)))
        return false;
    if (filter.Since || filter.Until)
    {
        auto time = ParseTime(entry.Time);
        if (!time || (filter.Since && *time < *filter.Since) || (filter.Until && *time >= *filter.Until))
            return false;
    }
    return true;
}

History ReadHistory(const std::string& path, const Filter& filter)
{
    History history;
    std::ifstream file(path, std::ios::binary);
    if (!file)
    {
        if (errno == ENOENT)
            return history;
        throw JournalError("Cannot read the journal " + path + ": " + std::strerror(errno));
    }
    bool ended = false;
    bool tooLong = false;
    while (std::optional<std::string> line = NextLine(*file.rdbuf(), ended, tooLong))
    {
        // A last line without its line break is still being written, or was cut short: it is no entry yet.
        if (line->empty() || !ended)
            continue;
        auto entry = tooLong ? std::nullopt : FromJsonLine(*line);
        if (!entry)
            ++history.Unreadable;
        else if (Matches(*entry, filter))
            history.Entries.push_back(std::move(*entry));
    }
    return history;
}

std::string EntryText(const Entry& entry)
{
    // Every field may come from outside (names, descriptions, a hand-edited line): none may forge a line.
    std::string text =
        ShownName(entry.Time) + " " + ShownName(entry.From.Server) + " " + ShownName(entry.From.User);
    if (!entry.From.Profile.empty())
        text += "@" + ShownName(entry.From.Profile);
    text += " (" + ShownName(entry.From.Program) +
            (entry.From.Run ? ", run " + ShownName(entry.From.Run->Id) : std::string()) +
            "): " + ShownName(entry.Operation);
    if (!entry.Object.empty() || entry.Database)
        text += " " + ShownName(entry.Object);
    if (entry.Database)
        text += " on " + ShownName(*entry.Database);
    if (!entry.Change.empty())
        text += ": " + ShownName(entry.Change);
    if (entry.Unknown)
        text += " -- unknown: " + ShownName(entry.ErrorMessage);
    else if (!entry.Ok)
        text += " -- failed: " + ShownName(entry.ErrorMessage);
    return text;
}

std::string HistoryText(const std::vector<Entry>& entries)
{
    std::string text;
    for (const Entry& entry : entries)
        text += EntryText(entry) + "\n";
    return text;
}

} // namespace korvel::journal
