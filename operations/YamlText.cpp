// The YAML form of an exported state file (StateFile.h), written with yaml-cpp.
#include "operations/StateFile.h"

#include "engine/wire/Utf8.h"
#include "journal/Journal.h"

#include <yaml-cpp/yaml.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <set>

namespace korvel::operations
{

namespace
{

using Json = nlohmann::ordered_json;

// Texts written plain read back as the same text in every YAML reader: a letter, "_" or "/" first, then
// letters, digits and "_./-", and no word that YAML 1.1 reads as a flag or null.
bool NeedsQuotes(const std::string& text)
{
    static const std::set<std::string> words = {"y", "n", "yes", "no", "on", "off", "true", "false", "null"};
    std::string lower = text;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    auto plain = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || std::strchr("_./-", c); };
    return text.empty() || words.count(lower) ||
           !(std::isalpha(static_cast<unsigned char>(text.front())) || text.front() == '_' ||
             text.front() == '/') ||
           !std::all_of(text.begin(), text.end(), plain);
}

// A text that is not UTF-8, as a double-quoted scalar that keeps its bytes: yaml-cpp's emitter would
// write U+FFFD for each byte that is no character, and two such names would read back as one. Readers keep
// the bytes of a quoted scalar as they are; only the quote, the backslash and control bytes are escaped.
std::string RawQuoted(const std::string& text)
{
    std::string quoted = "\"";
    for (const char c : text)
    {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\')
            quoted += {'\\', c};
        else if (byte < 0x20 || byte == 0x7F)
        {
            static const char hex[] = "0123456789ABCDEF";
            quoted += {'\\', 'x', hex[byte >> 4], hex[byte & 15]};
        }
        else
            quoted += c;
    }
    return quoted + "\"";
}

// Texts that are not UTF-8 go in as placeholders, replaced by RawQuoted once the document is written.
struct RawTexts
{
    std::string Nonce;                                         // in no placeholder a name could match
    std::vector<std::pair<std::string, std::string>> Replaced; // placeholder, quoted text
};

void EmitText(YAML::Emitter& out, const std::string& text, RawTexts& raw)
{
    if (!IsUtf8(text))
    {
        const std::string placeholder =
            "korvel-raw-" + raw.Nonce + "-" + std::to_string(raw.Replaced.size()) + "-end";
        raw.Replaced.emplace_back(placeholder, RawQuoted(text));
        out << placeholder;
        return;
    }
    if (NeedsQuotes(text))
        out << YAML::DoubleQuoted;
    out << text;
}

void Emit(YAML::Emitter& out, const Json& value, RawTexts& raw)
{
    if (value.is_object())
    {
        out << YAML::BeginMap;
        for (const auto& [key, item] : value.items())
        {
            out << YAML::Key;
            EmitText(out, key, raw);
            out << YAML::Value;
            Emit(out, item, raw);
        }
        out << YAML::EndMap;
    }
    else if (value.is_array())
    {
        // Lists of texts (addresses) stay on one line; lists of entries are a block.
        const bool flat =
            std::none_of(value.begin(), value.end(), [](const Json& item) { return item.is_structured(); });
        if (flat)
            out << YAML::Flow;
        out << YAML::BeginSeq;
        for (const Json& item : value)
            Emit(out, item, raw);
        out << YAML::EndSeq;
    }
    else if (value.is_string())
        EmitText(out, value.get<std::string>(), raw);
    else if (value.is_boolean())
        out << YAML::TrueFalseBool << value.get<bool>();
    else
        out << value.get<std::int64_t>();
}

} // namespace

std::string YamlText(const nlohmann::ordered_json& document)
{
    RawTexts raw;
    raw.Nonce = journal::NewRunId();
    YAML::Emitter out;
    Emit(out, document, raw);
    std::string text = std::string(out.c_str()) + "\n";
    for (const auto& [placeholder, quoted] : raw.Replaced)
        if (const std::size_t at = text.find(placeholder); at != std::string::npos)
            text.replace(at, placeholder.size(), quoted);
    return text;
}

} // namespace korvel::operations
