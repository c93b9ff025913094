#include "journal/JsonText.h"

#include "engine/wire/Utf8.h"

#include <cctype>
#include <cstdio>

namespace korvel::journal
{

namespace
{

using Json = nlohmann::ordered_json;

bool AllUtf8(const Json& value)
{
    if (value.is_string())
        return IsUtf8(value.get_ref<const std::string&>());
    if (value.is_object())
    {
        for (const auto& [key, item] : value.items())
            if (!IsUtf8(key) || !AllUtf8(item))
                return false;
        return true;
    }
    if (value.is_array())
        for (const Json& item : value)
            if (!AllUtf8(item))
                return false;
    return true;
}

// A string literal; runs of UTF-8 go through nlohmann, every other byte becomes \udcXX.
std::string Literal(std::string_view bytes)
{
    std::string text = "\"";
    std::size_t run = 0;
    auto flush = [&](std::size_t end)
    {
        const std::string part = Json(std::string(bytes.substr(run, end - run))).dump();
        text.append(part, 1, part.size() - 2);
    };
    for (std::size_t at = 0; at < bytes.size(); ++at)
    {
        if (const std::size_t length = Utf8CharLength(bytes.substr(at)); length > 0)
        {
            at += length - 1;
            continue;
        }
        flush(at);
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\udc%02x", static_cast<unsigned char>(bytes[at]));
        text += escape;
        run = at + 1;
    }
    flush(bytes.size());
    return text + "\"";
}

void Write(const Json& value, int indent, int depth, std::string& text)
{
    const std::string inner = indent < 0 ? "" : "\n" + std::string(std::size_t(indent * (depth + 1)), ' ');
    const std::string outer = indent < 0 ? "" : "\n" + std::string(std::size_t(indent * depth), ' ');
    const bool object = value.is_object();
    if (value.is_string())
        text += Literal(value.get_ref<const std::string&>());
    else if ((!object && !value.is_array()) || value.empty())
        text += value.dump();
    else
    {
        text += object ? "{" : "[";
        bool first = true;
        for (auto item = value.begin(); item != value.end(); ++item, first = false)
        {
            text += (first ? "" : ",") + inner;
            if (object)
                text += Literal(item.key()) + (indent < 0 ? ":" : ": ");
            Write(*item, indent, depth + 1, text);
        }
        text += outer + (object ? "}" : "]");
    }
}

// Reads \\ and \udcXX, as FromEscapes left them, back into bytes.
std::string Unescape(const std::string& text)
{
    std::string bytes;
    for (std::size_t at = 0; at < text.size(); ++at)
    {
        if (text[at] == '\\' && at + 1 < text.size() && text[at + 1] == '\\')
            bytes += text[++at];
        else if (text[at] == '\\' && at + 5 < text.size())
        {
            bytes += static_cast<char>(std::stoi(text.substr(at + 4, 2), nullptr, 16));
            at += 5;
        }
        else
            bytes += text[at];
    }
    return bytes;
}

void UnescapeAll(Json& value)
{
    if (value.is_string())
        value = Unescape(value.get_ref<const std::string&>());
    else if (value.is_object())
    {
        Json copy = Json::object();
        for (auto& [key, item] : value.items())
        {
            UnescapeAll(item);
            copy[Unescape(key)] = std::move(item);
        }
        value = std::move(copy);
    }
    else if (value.is_array())
        for (Json& item : value)
            UnescapeAll(item);
}

bool IsHex(char c)
{
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

} // namespace

std::string DumpJson(const Json& value, int indent)
{
    if (AllUtf8(value))
        return value.dump(indent);
    std::string text;
    Write(value, indent, 0, text);
    return text;
}

namespace
{

// Copies `text` to `out`, each escaped backslash ("\\\\") as `backslash` and each \udc80..\udcff that is
// not the second half of a pair as `low(byte)`; true when there was such an escape. Backslashes only occur
// inside strings.
template <typename Low>
bool RewriteEscapes(std::string_view text, std::string& out, std::string_view backslash, Low low)
{
    bool any = false, afterHigh = false;
    for (std::size_t at = 0; at < text.size(); ++at)
    {
        if (text[at] != '\\' || at + 1 == text.size())
        {
            out += text[at];
            afterHigh = false;
            continue;
        }
        const std::string_view next = text.substr(at + 1, 5);
        const bool surrogate = next.size() == 5 && next[0] == 'u' && (next[1] == 'd' || next[1] == 'D') &&
                               next[2] >= '8' && IsHex(next[2]) && IsHex(next[3]) && IsHex(next[4]);
        const bool high = surrogate && std::tolower(static_cast<unsigned char>(next[2])) < 'c';
        const bool lone = surrogate && !high && !afterHigh &&
                          std::tolower(static_cast<unsigned char>(next[2])) == 'c' && next[3] >= '8';
        afterHigh = high;
        // A whole escape at once, so that a high surrogate is still the last thing seen at the next one.
        const std::size_t length = next[0] == 'u' && next.size() == 5 ? 6 : 2;
        if (next[0] == '\\')
            out += backslash;
        else if (lone)
            out += low(static_cast<char>(std::stoi(std::string(next.substr(3, 2)), nullptr, 16)),
                       text.substr(at, length));
        else
            out += text.substr(at, length);
        any = any || lone;
        at += length - 1;
    }
    return any;
}

} // namespace

Json ParseJson(std::string_view text)
{
    // nlohmann refuses a lone surrogate. Every escaped backslash and every \udc80..\udcff is escaped once
    // more, parsed as plain text, and read back after parsing.
    std::string escaped;
    const bool any = RewriteEscapes(text, escaped, "\\\\\\\\",
                                    [](char, std::string_view escape) { return "\\" + std::string(escape); });
    if (!any)
        return Json::parse(text, nullptr, false);
    Json value = Json::parse(escaped, nullptr, false);
    if (!value.is_discarded())
        UnescapeAll(value);
    return value;
}

std::string WithRawBytes(std::string_view text)
{
    std::string out;
    RewriteEscapes(text, out, "\\\\", [](char byte, std::string_view) { return std::string(1, byte); });
    return out;
}

} // namespace korvel::journal
