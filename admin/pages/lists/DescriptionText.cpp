#include "admin/pages/lists/DescriptionText.h"

#include "engine/wire/Utf8.h"

#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

namespace korvel::admin
{

DescriptionText::DescriptionText(QPlainTextEdit* memo) : QObject(memo), memo_(memo)
{
    QTextDocument* document = memo->document();
    connect(document, &QTextDocument::contentsChange, this,
            [this](int position, int removed, int added) { NoteChange(position, removed, added); });
    // Taken back once the document has finished the change, not from inside its notification.
    connect(document, &QTextDocument::contentsChanged, this, [this] { RefuseWhatDoesNotFit(); });
}

void DescriptionText::Show(const std::string& bytes)
{
    loaded_ = bytes;
    const bool lfOnly = bytes.find('\n') != std::string::npos && bytes.find("\r\n") == std::string::npos;
    lineBreak_ = lfOnly ? "\n" : "\r\n";
    const QString text = QString::fromStdString(bytes);
    // The same text again (a record read again after its save, say) is not laid out again: the memo only
    // starts over as setPlainText would leave it, at the top with nothing to undo.
    if (text == shown_ && memo_->toPlainText() == shown_)
    {
        memo_->document()->clearUndoRedoStacks();
        memo_->document()->setModified(false);
        memo_->moveCursor(QTextCursor::Start);
        return;
    }
    ignoreChanges_ = true;
    memo_->setPlainText(text);
    ignoreChanges_ = false;
    shown_ = memo_->toPlainText();
    accepted_ = shown_;
}

std::string DescriptionText::Bytes() const
{
    return BytesOf(memo_->toPlainText());
}

std::string DescriptionText::BytesOf(const QString& shown) const
{
    if (shown == shown_)
        return loaded_;
    std::string bytes;
    const QStringList lines = shown.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i)
    {
        if (i > 0)
            bytes += lineBreak_;
        bytes += lines[i].toStdString();
    }
    return bytes;
}

void DescriptionText::NoteChange(int position, int removed, int added)
{
    if (!ignoreChanges_)
        change_ = {position, removed, added};
}

void DescriptionText::RefuseWhatDoesNotFit()
{
    if (ignoreChanges_)
        return;
    const QString text = memo_->toPlainText();
    if (BytesOf(text).size() <= MaxProtocolString)
    {
        accepted_ = text;
        return;
    }
    // The document may count its final paragraph separator in both lengths; the difference is exact.
    const int grown = static_cast<int>(text.size() - accepted_.size());
    const int added = std::min(change_.Added, static_cast<int>(text.size()) - change_.Position);
    const int removed = std::max(0, added - grown);
    QTextCursor undo(memo_->document());
    ignoreChanges_ = true;
    undo.joinPreviousEditBlock();
    undo.setPosition(change_.Position);
    undo.setPosition(change_.Position + added, QTextCursor::KeepAnchor);
    undo.insertText(accepted_.mid(change_.Position, removed));
    undo.endEditBlock();
    ignoreChanges_ = false;
    QTextCursor cursor(memo_->document());
    cursor.setPosition(change_.Position);
    memo_->setTextCursor(cursor);
}

} // namespace korvel::admin
