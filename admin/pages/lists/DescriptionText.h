// A description as the server holds it (bytes, lines broken by CR LF when another client wrote it), behind
// the multi-line edit that shows it. The edit shows every line break as one; bytes the user did not change go
// back unchanged, and the breaks of a changed text are written as the text's own (CR LF unless it came with
// LF only). The edit takes at most 255 bytes counted as they will be sent: a change that does not fit (typed,
// pasted or dropped) is refused whole, with the cursor and the rest of the text where they were.
#pragma once

#include <QObject>
#include <QString>

#include <string>

class QPlainTextEdit;

namespace korvel::admin
{

class DescriptionText : public QObject
{
public:
    // Owned by `memo`.
    explicit DescriptionText(QPlainTextEdit* memo);

    void Show(const std::string& bytes);
    void Clear() { Show({}); }
    // What goes to the server.
    std::string Bytes() const;

private:
    std::string BytesOf(const QString& shown) const;
    void NoteChange(int position, int removed, int added);
    void RefuseWhatDoesNotFit();

    QPlainTextEdit* memo_;
    std::string loaded_;
    QString shown_;
    std::string lineBreak_ = "\r\n";
    QString accepted_; // the text after the last change that fitted
    struct Change
    {
        int Position = 0;
        int Removed = 0;
        int Added = 0;
    } change_;
    bool ignoreChanges_ = false; // while showing a server text or taking back a change
};

} // namespace korvel::admin
