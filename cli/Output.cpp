#include "cli/Output.h"

#include "cli/Interrupt.h"
#include "engine/wire/Utf8.h"
#include "files/OwnFiles.h"
#include "journal/JsonText.h"

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstring>
#include <cwchar>
#include <locale.h>
#include <stdexcept>
#include <unistd.h>
#include <vector>
#include <wchar.h>

namespace korvel::cli
{

namespace
{

// A value inside text output: strings as they are, lists joined with commas, anything else as JSON. What
// is printed goes through ShownName, so that a person can tell any two names apart.
std::string Cell(const Json& value)
{
    if (value.is_string())
        return value.get<std::string>();
    if (value.is_array())
    {
        std::string joined;
        for (const Json& item : value)
            joined += (joined.empty() ? "" : ",") + Cell(item);
        return joined;
    }
    return ToJsonText(value);
}

std::string Table(const Json& rows)
{
    std::vector<std::string> columns;
    for (const auto& [key, cell] : rows.front().items())
        columns.push_back(key);
    std::vector<std::vector<std::string>> lines{columns};
    for (const Json& row : rows)
    {
        std::vector<std::string>& line = lines.emplace_back();
        for (const std::string& column : columns)
            line.push_back(row.contains(column) ? Cell(row.at(column)) : "");
    }
    return TextTable(lines);
}

} // namespace

std::size_t DisplayWidth(std::string_view text)
{
    // wcwidth knows the widths of a UTF-8 locale's characters whatever locale the program runs in.
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    const locale_t previous = utf8 ? uselocale(utf8) : nullptr;
    std::size_t width = 0;
    std::mbstate_t state{};
    for (std::size_t at = 0; at < text.size();)
    {
        wchar_t character = 0;
        const std::size_t used = std::mbrtowc(&character, text.data() + at, text.size() - at, &state);
        if (!utf8 || used == static_cast<std::size_t>(-1) || used == static_cast<std::size_t>(-2) ||
            used == 0)
        {
            state = {};
            ++width;
            ++at;
            continue;
        }
        width += static_cast<std::size_t>(std::max(::wcwidth(character), 0));
        at += used;
    }
    if (previous)
        uselocale(previous);
    return width;
}

std::string TextTable(const std::vector<std::vector<std::string>>& cells)
{
    std::vector<std::vector<std::string>> rows;
    for (const auto& row : cells)
    {
        std::vector<std::string>& shown = rows.emplace_back();
        for (const std::string& cell : row)
            shown.push_back(ShownName(cell));
    }
    std::vector<std::size_t> widths;
    for (const auto& row : rows)
    {
        widths.resize(std::max(widths.size(), row.size()), 0);
        for (std::size_t i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], DisplayWidth(row[i]));
    }
    std::string text;
    for (const auto& row : rows)
    {
        for (std::size_t i = 0; i < row.size(); ++i)
        {
            text += row[i];
            if (i + 1 < row.size())
                text += std::string(widths[i] - DisplayWidth(row[i]) + 2, ' ');
        }
        text += "\n";
    }
    return text;
}

std::string ToJsonText(const Json& value)
{
    return journal::DumpJson(value);
}

std::string ToReadableText(const Json& value)
{
    std::string text;
    if (value.is_object())
    {
        for (const auto& [key, item] : value.items())
            text += ShownName(key) + ": " + ShownName(Cell(item)) + "\n";
    }
    else if (value.is_array() && !value.empty() && value.front().is_object())
    {
        text = Table(value);
    }
    else if (value.is_array())
    {
        for (const Json& item : value)
            text += ShownName(Cell(item)) + "\n";
    }
    else
    {
        text = ShownName(Cell(value)) + "\n";
    }
    return text;
}

std::string ResultText(const Json& value, bool json)
{
    return json ? ToJsonText(value) + "\n" : ToReadableText(value);
}

std::optional<std::string> EmptyListText(const Json& list, const std::string& sentence)
{
    if (!list.is_array() || !list.empty() || !::isatty(STDOUT_FILENO))
        return std::nullopt;
    return sentence + "\n";
}

void WriteOutput(int fd, const std::string& text)
{
    for (std::size_t written = 0; written < text.size();)
    {
        ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR)
        {
            ThrowIfInterrupted(); // a reader that stopped reading must not hold the program after a signal
            continue;
        }
        if (n <= 0)
            throw std::runtime_error(std::string("Cannot write the output: ") +
                                     (n < 0 ? std::strerror(errno) : "nothing was written"));
        written += static_cast<std::size_t>(n);
    }
}

void WriteOutputFile(const std::string& path, const std::string& text)
{
    try
    {
        files::ReplaceFile(path, text, 0600);
    }
    catch (const files::FileError& error)
    {
        throw std::runtime_error(std::string("Cannot write the output file: ") + error.what());
    }
}

} // namespace korvel::cli
