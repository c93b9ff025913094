#include "admin/IniFile.h"

#include <QFile>
#include <QSaveFile>

#include <stdexcept>

namespace korvel::admin
{

namespace
{

bool IsSectionLine(const QString& line)
{
    QString trimmed = line.trimmed();
    return trimmed.startsWith('[') && trimmed.endsWith(']');
}

QString SectionName(const QString& line)
{
    QString trimmed = line.trimmed();
    return trimmed.mid(1, trimmed.size() - 2).trimmed();
}

// The key of a "key=value" line, or a null string for any other line.
QString KeyOf(const QString& line)
{
    qsizetype equals = line.indexOf('=');
    if (equals <= 0 || line.trimmed().startsWith(';'))
        return {};
    return line.left(equals).trimmed();
}

} // namespace

IniFile::IniFile(QString path) : path_(std::move(path))
{
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return;
    lines_ = QString::fromUtf8(file.readAll()).split('\n');
    if (!lines_.isEmpty() && lines_.constLast().isEmpty())
        lines_.removeLast();
}

qsizetype IniFile::FindSection(const QString& section) const
{
    for (qsizetype i = 0; i < lines_.size(); ++i)
        if (IsSectionLine(lines_[i]) && SectionName(lines_[i]).compare(section, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

qsizetype IniFile::FindKey(qsizetype sectionLine, const QString& key) const
{
    for (qsizetype i = sectionLine + 1; i < lines_.size() && !IsSectionLine(lines_[i]); ++i)
        if (KeyOf(lines_[i]).compare(key, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

qsizetype IniFile::SectionEnd(qsizetype sectionLine) const
{
    qsizetype end = sectionLine + 1;
    for (qsizetype i = sectionLine + 1; i < lines_.size() && !IsSectionLine(lines_[i]); ++i)
        if (!lines_[i].trimmed().isEmpty())
            end = i + 1;
    return end;
}

std::optional<QString> IniFile::Value(const QString& section, const QString& key) const
{
    qsizetype sectionLine = FindSection(section);
    qsizetype keyLine = sectionLine < 0 ? -1 : FindKey(sectionLine, key);
    if (keyLine < 0)
        return std::nullopt;
    const QString& line = lines_[keyLine];
    return line.mid(line.indexOf('=') + 1).trimmed();
}

QString IniFile::ReadString(const QString& section, const QString& key, const QString& defaultValue) const
{
    return Value(section, key).value_or(defaultValue);
}

std::optional<int> IniFile::ParseInteger(const QString& text)
{
    bool ok = false;
    int value = 0;
    if (text.size() > 2 && (text.startsWith("0x") || text.startsWith("0X")))
    {
        // Hexadecimal values are 32-bit patterns: 0xFFFFFFFF reads as -1.
        uint bits = text.mid(2).toUInt(&ok, 16);
        value = static_cast<int>(bits);
    }
    else
        value = text.toInt(&ok, 10);
    return ok ? std::optional<int>(value) : std::nullopt;
}

int IniFile::ReadInteger(const QString& section, const QString& key, int defaultValue) const
{
    std::optional<QString> text = Value(section, key);
    if (!text)
        return defaultValue;
    return ParseInteger(*text).value_or(defaultValue);
}

bool IniFile::ReadBool(const QString& section, const QString& key, bool defaultValue) const
{
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void IniFile::WriteString(const QString& section, const QString& key, const QString& value)
{
    // Line breaks would split the entry into lines of their own.
    QString flat = value;
    flat.replace('\r', ' ').replace('\n', ' ');
    QString entry = key + "=" + flat;
    qsizetype sectionLine = FindSection(section);
    if (sectionLine < 0)
    {
        if (!lines_.isEmpty() && !lines_.constLast().trimmed().isEmpty())
            lines_ << QString();
        lines_ << "[" + section + "]" << entry;
        return;
    }
    qsizetype keyLine = FindKey(sectionLine, key);
    if (keyLine >= 0)
        lines_[keyLine] = KeyOf(lines_[keyLine]) + "=" + flat; // the key keeps its spelling
    else
        lines_.insert(SectionEnd(sectionLine), entry);
}

void IniFile::WriteInteger(const QString& section, const QString& key, int value)
{
    WriteString(section, key, QString::number(value));
}

void IniFile::WriteBool(const QString& section, const QString& key, bool value)
{
    WriteString(section, key, value ? "1" : "0");
}

void IniFile::UpdateFile() const
{
    QSaveFile file(path_);
    if (file.open(QIODevice::WriteOnly | QIODevice::Text))
    {
        file.write(lines_.join('\n').toUtf8());
        file.write("\n");
        if (file.commit())
            return;
    }
    throw std::runtime_error("Cannot write the settings file " + path_.toStdString() + ": " +
                             file.errorString().toStdString());
}

} // namespace korvel::admin
