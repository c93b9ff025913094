// A small INI file reader and writer that works key by key, as the settings and profile files need: section
// names in square brackets, "key=value" lines, keys found without regard to ASCII case and kept as written
// (spaces included), and every line it does not touch (unknown sections and keys, comments) kept in place.
// Texts are UTF-8 bytes. Plain C++, so the window, the CLI and the exporter share it.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvel::settings
{

// The window keeps texts of at most this many bytes of UTF-8 in its settings and profile files.
constexpr int MaxSettingBytes = 255;
// A settings or profile file larger than this is no file of ours and is refused, not read.
constexpr std::size_t MaxFileBytes = std::size_t{4} << 20;

class IniFile
{
public:
    // Reads `path` when it exists; a missing or unreadable file reads as empty. Raises std::runtime_error
    // for a file larger than MaxFileBytes.
    explicit IniFile(std::string path);
    // `text` as the content of the file at `path`.
    IniFile(std::string path, std::string_view text);

    const std::string& FileName() const { return path_; }

    std::optional<std::string> Value(std::string_view section, std::string_view key) const;
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) const;
    // Decimal, or hexadecimal after "0x"/"0X"; anything that is not a 32-bit number gives the default.
    int ReadInteger(std::string_view section, std::string_view key, int defaultValue) const;
    // True when the integer is not 0.
    bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) const;

    // The section names in file order, as written.
    std::vector<std::string> Sections() const;
    // The keys of one section in file order, as written.
    std::vector<std::string> Keys(std::string_view section) const;

    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, int value);
    void WriteBool(std::string_view section, std::string_view key, bool value);
    // Removes the key's line; nothing when absent.
    void DeleteKey(std::string_view section, std::string_view key);
    // Removes the section header and every line up to the next section.
    void EraseSection(std::string_view section);

    // Writes the file (all or nothing, through a temporary file renamed over it) with the given permission
    // bits for a new file, never through a symbolic link nor into a directory others can write
    // (files/OwnFiles.h). Raises std::runtime_error on failure.
    void UpdateFile(unsigned newFileMode = 0644) const;

    // The text an integer value stands for, or nothing: "12006", "-3", "0x2EE6".
    static std::optional<int> ParseInteger(std::string_view text);

private:
    void Parse(std::string_view text);
    // Index of the line "[section]", or -1.
    std::ptrdiff_t FindSection(std::string_view section) const;
    // Index of the key's line inside the section starting at `sectionLine`, or -1.
    std::ptrdiff_t FindKey(std::ptrdiff_t sectionLine, std::string_view key) const;
    // Index one past the section's last non-blank line.
    std::ptrdiff_t SectionEnd(std::ptrdiff_t sectionLine) const;

    std::string path_;
    std::vector<std::string> lines_;
};

// Reads the file, lets `change` change it and writes it back (unless `change` returns false: nothing to
// write), under a lock that other processes writing it the same way respect, so that no change made meanwhile
// is lost. Raises what UpdateFile and `change` raise.
void UpdateIniFile(const std::string& path, const std::function<bool(IniFile&)>& change,
                   unsigned newFileMode = 0644);

} // namespace korvel::settings
