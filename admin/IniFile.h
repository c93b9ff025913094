// A small INI file reader and writer that works key by key, as the settings file needs: section names in
// square brackets, "key=value" lines, keys found without regard to case and kept as written (spaces
// included), and every line it does not touch (unknown sections and keys, comments) kept in place.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace korvel::admin
{

class IniFile
{
public:
    // Reads `path` when it exists; a missing or unreadable file reads as empty.
    explicit IniFile(QString path);

    const QString& FileName() const { return path_; }

    std::optional<QString> Value(const QString& section, const QString& key) const;
    QString ReadString(const QString& section, const QString& key, const QString& defaultValue) const;
    // Decimal, or hexadecimal after "0x"/"0X"; anything that is not a 32-bit number gives the default.
    int ReadInteger(const QString& section, const QString& key, int defaultValue) const;
    // True when the integer is not 0.
    bool ReadBool(const QString& section, const QString& key, bool defaultValue) const;

    void WriteString(const QString& section, const QString& key, const QString& value);
    void WriteInteger(const QString& section, const QString& key, int value);
    void WriteBool(const QString& section, const QString& key, bool value);

    // Writes the file (all or nothing, through a temporary file). Raises std::runtime_error on failure.
    void UpdateFile() const;

    // The text an integer value stands for, or nothing: "12006", "-3", "0x2EE6".
    static std::optional<int> ParseInteger(const QString& text);

private:
    // Index of the line "[section]", or -1.
    qsizetype FindSection(const QString& section) const;
    // Index of the key's line inside the section starting at `sectionLine`, or -1.
    qsizetype FindKey(qsizetype sectionLine, const QString& key) const;
    // Index one past the section's last non-blank line.
    qsizetype SectionEnd(qsizetype sectionLine) const;

    QString path_;
    QStringList lines_;
};

} // namespace korvel::admin
