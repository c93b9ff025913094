#include "admin/common/HelpFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <optional>

namespace korvel::admin
{

namespace
{

std::optional<HelpFile>& RegisteredHelpFile()
{
    static std::optional<HelpFile> helpFile;
    return helpFile;
}

QString DefaultHelpFilePath()
{
    QFileInfo program(QCoreApplication::applicationFilePath());
    QString baseName = program.fileName();
    if (baseName.endsWith(".exe", Qt::CaseInsensitive))
        baseName.chop(4);
    return program.absolutePath() + "/" + baseName + ".hlp";
}

} // namespace

HelpFile HelpFile::Load(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return Parse(QString::fromUtf8(file.readAll()));
}

HelpFile HelpFile::Parse(const QString& content)
{
    static const QRegularExpression header(R"(^\[(\d+)\]\s*$)");
    HelpFile help;
    HelpTopic* topic = nullptr;
    bool titleRead = false;
    for (const QString& line : content.split('\n'))
    {
        QRegularExpressionMatch match = header.match(line);
        if (match.hasMatch())
        {
            topic = &help.topics_[match.captured(1).toInt()];
            *topic = {};
            titleRead = false;
        }
        else if (!topic)
            continue; // comments before the first topic
        else if (!titleRead)
        {
            topic->Title = line.trimmed();
            titleRead = true;
        }
        else
            topic->Text += line.trimmed() + '\n';
    }
    for (HelpTopic& each : help.topics_)
        each.Text = each.Text.trimmed();
    return help;
}

QString HelpFile::PopupText(int context) const
{
    auto found = topics_.constFind(context);
    if (found == topics_.constEnd())
        return {};
    QString html = "<b>" + found->Title.toHtmlEscaped() + "</b>";
    for (const QString& paragraph : found->Text.split("\n\n", Qt::SkipEmptyParts))
        html += "<p>" + paragraph.simplified().toHtmlEscaped() + "</p>";
    return html;
}

void RegisterHelpFile(const QString& path)
{
    RegisteredHelpFile() = HelpFile::Load(path);
}

const HelpFile& ApplicationHelpFile()
{
    std::optional<HelpFile>& helpFile = RegisteredHelpFile();
    if (!helpFile)
        helpFile = HelpFile::Load(DefaultHelpFilePath());
    return *helpFile;
}

bool HelpFileLoaded()
{
    return RegisteredHelpFile().has_value();
}

} // namespace korvel::admin
