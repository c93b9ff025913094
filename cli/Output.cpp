#include "cli/Output.h"

#include "cli/Interrupt.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <unistd.h>
#include <vector>

namespace korvel::cli
{

namespace
{

// A value inside text output: strings as they are, lists joined with commas, anything else as JSON.
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
    std::vector<std::size_t> widths(columns.size(), 0);
    for (const auto& line : lines)
        for (std::size_t i = 0; i < line.size(); ++i)
            widths[i] = std::max(widths[i], line[i].size());

    std::string text;
    for (const auto& line : lines)
    {
        std::string row;
        for (std::size_t i = 0; i < line.size(); ++i)
            row += line[i] + (i + 1 < line.size() ? std::string(widths[i] - line[i].size() + 2, ' ') : "");
        text += row + "\n";
    }
    return text;
}

} // namespace

std::string ToJsonText(const Json& value)
{
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string ToReadableText(const Json& value)
{
    std::string text;
    if (value.is_object())
    {
        for (const auto& [key, item] : value.items())
            text += key + ": " + Cell(item) + "\n";
    }
    else if (value.is_array() && !value.empty() && value.front().is_object())
    {
        text = Table(value);
    }
    else if (value.is_array())
    {
        for (const Json& item : value)
            text += Cell(item) + "\n";
    }
    else
    {
        text = Cell(value) + "\n";
    }
    return text;
}

std::string ResultText(const Json& value, bool json)
{
    return json ? ToJsonText(value) + "\n" : ToReadableText(value);
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

} // namespace korvel::cli
