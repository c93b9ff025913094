#include "settings/IniFile.h"

#include "files/OwnFiles.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <stdexcept>

namespace korvel::settings
{

namespace
{

std::string_view Trimmed(std::string_view text)
{
    const char* blanks = " \t\r";
    std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    std::size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
    {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

bool IsSectionLine(std::string_view line)
{
    std::string_view trimmed = Trimmed(line);
    return trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.back() == ']';
}

std::string_view SectionName(std::string_view line)
{
    std::string_view trimmed = Trimmed(line);
    return Trimmed(trimmed.substr(1, trimmed.size() - 2));
}

// The key of a "key=value" line, or nothing for any other line ("=x" and " = x" have no key: written back,
// the second would read as the first).
std::optional<std::string_view> KeyOf(std::string_view line)
{
    std::size_t equals = line.find('=');
    if (equals == std::string_view::npos || Trimmed(line).starts_with(';'))
        return std::nullopt;
    const std::string_view key = Trimmed(line.substr(0, equals));
    if (key.empty())
        return std::nullopt;
    return key;
}

} // namespace

IniFile::IniFile(std::string path) : path_(std::move(path))
{
    std::ifstream file(path_, std::ios::binary);
    if (!file)
        return;
    std::string text;
    char chunk[1 << 16];
    while (file.read(chunk, sizeof chunk) || file.gcount() > 0)
    {
        text.append(chunk, static_cast<std::size_t>(file.gcount()));
        if (text.size() > MaxFileBytes)
            throw std::runtime_error("The settings file " + path_ + " is larger than " +
                                     std::to_string(MaxFileBytes >> 20) + " MiB; it is not read");
    }
    Parse(text);
}

IniFile::IniFile(std::string path, std::string_view text) : path_(std::move(path))
{
    Parse(text);
}

void IniFile::Parse(std::string_view text)
{
    while (!text.empty())
    {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        lines_.emplace_back(line);
        text.remove_prefix(std::min(end + 1, text.size()));
    }
}

std::ptrdiff_t IniFile::FindSection(std::string_view section) const
{
    for (std::size_t i = 0; i < lines_.size(); ++i)
        if (IsSectionLine(lines_[i]) && SameName(SectionName(lines_[i]), section))
            return static_cast<std::ptrdiff_t>(i);
    return -1;
}

std::ptrdiff_t IniFile::FindKey(std::ptrdiff_t sectionLine, std::string_view key) const
{
    for (std::size_t i = sectionLine + 1; i < lines_.size() && !IsSectionLine(lines_[i]); ++i)
    {
        std::optional<std::string_view> lineKey = KeyOf(lines_[i]);
        if (lineKey && SameName(*lineKey, key))
            return static_cast<std::ptrdiff_t>(i);
    }
    return -1;
}

std::ptrdiff_t IniFile::SectionEnd(std::ptrdiff_t sectionLine) const
{
    std::ptrdiff_t end = sectionLine + 1;
    for (std::size_t i = sectionLine + 1; i < lines_.size() && !IsSectionLine(lines_[i]); ++i)
        if (!Trimmed(lines_[i]).empty())
            end = static_cast<std::ptrdiff_t>(i) + 1;
    return end;
}

std::optional<std::string> IniFile::Value(std::string_view section, std::string_view key) const
{
    std::ptrdiff_t sectionLine = FindSection(section);
    std::ptrdiff_t keyLine = sectionLine < 0 ? -1 : FindKey(sectionLine, key);
    if (keyLine < 0)
        return std::nullopt;
    std::string_view line = lines_[keyLine];
    return std::string(Trimmed(line.substr(line.find('=') + 1)));
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const
{
    return Value(section, key).value_or(std::string(defaultValue));
}

std::optional<int> IniFile::ParseInteger(std::string_view text)
{
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
    {
        // Hexadecimal values are 32-bit patterns: 0xFFFFFFFF reads as -1.
        std::uint32_t bits = 0;
        auto [end, error] = std::from_chars(text.data() + 2, text.data() + text.size(), bits, 16);
        if (error != std::errc() || end != text.data() + text.size())
            return std::nullopt;
        return static_cast<int>(bits);
    }
    std::string_view digits = text;
    if (digits.starts_with('+'))
        digits.remove_prefix(1);
    int value = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 10);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size())
        return std::nullopt;
    return value;
}

int IniFile::ReadInteger(std::string_view section, std::string_view key, int defaultValue) const
{
    std::optional<std::string> text = Value(section, key);
    if (!text)
        return defaultValue;
    return ParseInteger(*text).value_or(defaultValue);
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool defaultValue) const
{
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

std::vector<std::string> IniFile::Sections() const
{
    std::vector<std::string> names;
    for (const std::string& line : lines_)
        if (IsSectionLine(line))
            names.emplace_back(SectionName(line));
    return names;
}

std::vector<std::string> IniFile::Keys(std::string_view section) const
{
    std::vector<std::string> keys;
    std::ptrdiff_t sectionLine = FindSection(section);
    if (sectionLine < 0)
        return keys;
    for (std::size_t i = sectionLine + 1; i < lines_.size() && !IsSectionLine(lines_[i]); ++i)
        if (std::optional<std::string_view> key = KeyOf(lines_[i]))
            keys.emplace_back(*key);
    return keys;
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value)
{
    // Line breaks would split the entry into lines of their own.
    std::string flat(value);
    for (char& c : flat)
        if (c == '\r' || c == '\n')
            c = ' ';
    std::ptrdiff_t sectionLine = FindSection(section);
    if (sectionLine < 0)
    {
        if (!lines_.empty() && !Trimmed(lines_.back()).empty())
            lines_.emplace_back();
        lines_.push_back("[" + std::string(section) + "]");
        lines_.push_back(std::string(key) + "=" + flat);
        return;
    }
    std::ptrdiff_t keyLine = FindKey(sectionLine, key);
    if (keyLine >= 0)
        lines_[keyLine] = std::string(*KeyOf(lines_[keyLine])) + "=" + flat; // the key keeps its spelling
    else
        lines_.insert(lines_.begin() + SectionEnd(sectionLine), std::string(key) + "=" + flat);
}

void IniFile::WriteInteger(std::string_view section, std::string_view key, int value)
{
    WriteString(section, key, std::to_string(value));
}

void IniFile::WriteBool(std::string_view section, std::string_view key, bool value)
{
    WriteString(section, key, value ? "1" : "0");
}

void IniFile::DeleteKey(std::string_view section, std::string_view key)
{
    std::ptrdiff_t sectionLine = FindSection(section);
    std::ptrdiff_t keyLine = sectionLine < 0 ? -1 : FindKey(sectionLine, key);
    if (keyLine >= 0)
        lines_.erase(lines_.begin() + keyLine);
}

void IniFile::EraseSection(std::string_view section)
{
    std::ptrdiff_t sectionLine = FindSection(section);
    if (sectionLine < 0)
        return;
    std::size_t end = sectionLine + 1;
    while (end < lines_.size() && !IsSectionLine(lines_[end]))
        ++end;
    lines_.erase(lines_.begin() + sectionLine, lines_.begin() + static_cast<std::ptrdiff_t>(end));
}

void IniFile::UpdateFile(unsigned newFileMode) const
{
    std::string text;
    for (const std::string& line : lines_)
        text += line + "\n";
    try
    {
        files::ReplaceFile(path_, text, static_cast<mode_t>(newFileMode));
    }
    catch (const files::FileError& error)
    {
        throw std::runtime_error(std::string("Cannot write the settings file: ") + error.what());
    }
}

void UpdateIniFile(const std::string& path, const std::function<bool(IniFile&)>& change, unsigned newFileMode)
{
    std::optional<files::FileLock> lock;
    try
    {
        lock.emplace(path);
    }
    catch (const files::FileError& error)
    {
        throw std::runtime_error(std::string("Cannot write the settings file: ") + error.what());
    }
    IniFile ini(path);
    if (change(ini))
        ini.UpdateFile(newFileMode);
}

} // namespace korvel::settings
