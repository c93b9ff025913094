// JSON text that keeps names as the bytes they are. JSON strings are Unicode, and names are bytes that need
// not be UTF-8: each byte of a string that is not UTF-8 is written as the escape \udc80..\udcff (a lone low
// surrogate, the form Python's "surrogateescape" reads and writes), so the exact bytes come back, and a
// string that is UTF-8 is written as nlohmann writes it. No Qt.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>

namespace korvel::journal
{

std::string DumpJson(const nlohmann::ordered_json& value, int indent = -1);
// What nlohmann::ordered_json::parse(text, nullptr, false) gives, with \udc80..\udcff read back as bytes:
// a discarded value when the text is not JSON.
nlohmann::ordered_json ParseJson(std::string_view text);
// JSON text with each \udc80..\udcff escape replaced by the byte it stands for, for a reader that takes
// JSON as YAML (state files): YAML has no escape for a byte, but keeps one written raw in a quoted scalar.
std::string WithRawBytes(std::string_view text);

} // namespace korvel::journal
