// Prints a command's result: as one line of JSON, or as readable text (key: value lines for an object, a
// table for a list of objects, one line per item for a list of values).
#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvel::cli
{

// Keys keep the order in which a command sets them.
using Json = nlohmann::ordered_json;

// JSON text; a string that is not UTF-8 keeps its bytes (journal/JsonText.h).
std::string ToJsonText(const Json& value);
// The readable text form; empty for an empty object or list.
std::string ToReadableText(const Json& value);

// Rows of cells as columns padded to their widest cell on the terminal (a character that takes two columns
// counts twice, an accent none); the first row is the header. Each cell is shown as ShownName shows it.
std::string TextTable(const std::vector<std::vector<std::string>>& rows);
// How many terminal columns UTF-8 text takes; a byte that is not UTF-8 counts as one.
std::size_t DisplayWidth(std::string_view text);

// The text printed for a command's result: JSON on one line, or the readable form.
std::string ResultText(const Json& value, bool json);
// `sentence` ("No sessions.") for an empty list whose readable form goes to a terminal: a person sees that
// nothing was found, while a script reading a pipe still gets no lines. Nothing otherwise.
std::optional<std::string> EmptyListText(const Json& list, const std::string& sentence);
// Writes all of `text` to the file descriptor; raises std::runtime_error naming the cause when it cannot
// (a closed pipe, a full disk).
void WriteOutput(int fd, const std::string& text);
// Writes `text` as the file an --output option names, replacing it at once: never through a symbolic link nor
// into a directory others can write (files/OwnFiles.h); a new file is the user's alone. Raises
// std::runtime_error naming the file and the cause.
void WriteOutputFile(const std::string& path, const std::string& text);

} // namespace korvel::cli
