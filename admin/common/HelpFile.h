// The help file shipped beside the program: one topic per help context number.
//
// Format: a line "[N]" starts the topic of context number N; its first following line is the title, the lines
// after it the text (a blank line separates paragraphs). Lines starting with "#" before the first topic are
// comments.
#pragma once

#include <QHash>
#include <QString>

namespace korvel::admin
{

struct HelpTopic
{
    QString Title;
    QString Text;
};

class HelpFile
{
public:
    // Reads `path`; a missing or unreadable file gives an empty help file.
    static HelpFile Load(const QString& path);
    static HelpFile Parse(const QString& content);

    bool Contains(int context) const { return topics_.contains(context); }
    HelpTopic Topic(int context) const { return topics_.value(context); }
    // The topic as rich text for a What's This pop-up; empty when the number has no topic.
    QString PopupText(int context) const;
    int TopicCount() const { return static_cast<int>(topics_.size()); }

private:
    QHash<int, HelpTopic> topics_;
};

// The application's help file: by default the program's base name + ".hlp" beside the program.
void RegisterHelpFile(const QString& path);
const HelpFile& ApplicationHelpFile();
// Whether the help file was registered or loaded already: until then nothing reads it.
bool HelpFileLoaded();

} // namespace korvel::admin
