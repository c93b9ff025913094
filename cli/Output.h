// Prints a command's result: as one line of JSON, or as readable text (key: value lines for an object, a
// table for a list of objects, one line per item for a list of values).
#pragma once

#include <nlohmann/json.hpp>

#include <string>

namespace korvel::cli
{

// Keys keep the order in which a command sets them.
using Json = nlohmann::ordered_json;

// JSON text; bytes that are not valid UTF-8 are replaced, never an error.
std::string ToJsonText(const Json& value);
// The readable text form; empty for an empty object or list.
std::string ToReadableText(const Json& value);

// The text printed for a command's result: JSON on one line, or the readable form.
std::string ResultText(const Json& value, bool json);
// Writes all of `text` to the file descriptor; raises std::runtime_error naming the cause when it cannot
// (a closed pipe, a full disk).
void WriteOutput(int fd, const std::string& text);

} // namespace korvel::cli
