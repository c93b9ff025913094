#include "admin/pages/PageFields.h"

#include "admin/common/Accessible.h"
#include "admin/common/Help.h"
#include "engine/wire/Utf8.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QValidator>

#include <algorithm>

namespace korvel::admin
{

QString FromStd(const std::string& text)
{
    // Most names are ASCII, which needs no look at each character.
    if (std::all_of(text.begin(), text.end(),
                    [](char byte) { return static_cast<unsigned char>(byte) < 0x80; }))
        return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    QString converted;
    std::size_t run = 0;
    auto flush = [&](std::size_t end)
    { converted += QString::fromUtf8(text.data() + run, static_cast<qsizetype>(end - run)); };
    for (std::size_t at = 0; at < text.size(); ++at)
    {
        if (const std::size_t length = Utf8CharLength(std::string_view(text).substr(at)); length > 0)
        {
            at += length - 1;
            continue;
        }
        flush(at);
        converted += QChar(static_cast<char16_t>(0xDC00 + static_cast<unsigned char>(text[at])));
        run = at + 1;
    }
    flush(text.size());
    return converted;
}

std::string ToStd(const QString& text)
{
    std::string bytes;
    qsizetype run = 0;
    auto flush = [&](qsizetype end) { bytes += text.mid(run, end - run).toStdString(); };
    for (qsizetype at = 0; at < text.size(); ++at)
    {
        const char16_t unit = text[at].unicode();
        if (QChar::isHighSurrogate(unit) && at + 1 < text.size() && text[at + 1].isLowSurrogate())
            ++at;
        else if (unit >= 0xDC80 && unit <= 0xDCFF)
        {
            flush(at);
            bytes += static_cast<char>(unit - 0xDC00);
            run = at + 1;
        }
    }
    flush(text.size());
    return bytes;
}

QString ShownText(const QString& name)
{
    return QString::fromStdString(ShownName(ToStd(name)));
}

void ShowName(QLineEdit* field, const QString& name)
{
    field->setText(ShownText(name));
    field->setProperty("korvelName", name);
}

QString NameIn(const QLineEdit* field)
{
    const QVariant kept = field->property("korvelName");
    return field->isReadOnly() && kept.isValid() && field->text() == ShownText(kept.toString())
               ? kept.toString()
               : field->text();
}
namespace
{

bool FitsProtocolString(const QString& text)
{
    return static_cast<std::size_t>(text.toUtf8().size()) <= MaxProtocolString;
}

class ProtocolStringValidator : public QValidator
{
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override
    {
        return FitsProtocolString(input) ? Acceptable : Invalid;
    }
};

template <typename Control> Control* MakeNamed(QWidget* parent, const char* name, int helpContext)
{
    auto* control = new Control(parent);
    control->setObjectName(QLatin1String(name));
    SetHelpContext(control, helpContext);
    return control;
}

// A control whose own drawing covers all of it, or whose background is the window colour its group box
// shows anyway: filling that background first changes no pixel, but being opaque, its change at a switch
// between view and edit mode repaints it alone, not also the group box and the page beneath it.
template <typename Control> Control* Opaque(Control* control)
{
    control->setAutoFillBackground(true);
    return control;
}

} // namespace

void SetFieldEditable(QWidget* field, bool editable)
{
    QWidget* surface = field; // what shows the base colour
    if (auto* edit = qobject_cast<QLineEdit*>(field))
        edit->setReadOnly(!editable);
    else if (auto* memo = qobject_cast<QPlainTextEdit*>(field))
    {
        memo->setReadOnly(!editable);
        // Only a memo's text area shows it: its frame, the same in both modes, is then not repainted.
        surface = memo->viewport();
    }
    const QBrush base = QApplication::palette(field).brush(editable ? QPalette::Base : QPalette::Window);
    // A field already in the mode keeps its palette: setting it again would make Qt resolve and propagate it.
    if (surface->palette().brush(QPalette::Base) != base)
    {
        QPalette palette = surface->palette();
        palette.setBrush(QPalette::Base, base);
        surface->setPalette(palette);
    }
    field->setFocusPolicy(editable ? Qt::StrongFocus : Qt::ClickFocus);
}

void LimitToProtocolString(QLineEdit* field)
{
    field->setValidator(new ProtocolStringValidator(field));
}

StringList MemoLines(const QPlainTextEdit* memo)
{
    QStringList lines = memo->toPlainText().split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    StringList result;
    result.reserve(lines.size());
    for (const QString& line : lines)
        result.push_back(ToStd(line));
    return result;
}

void SetMemoLines(QPlainTextEdit* memo, const StringList& lines)
{
    QString text;
    for (const std::string& line : lines)
        text += FromStd(line) + QLatin1Char('\n');
    memo->setPlainText(text);
}

void SetCheckBoxEditable(QCheckBox* box, QLabel* label, bool editable)
{
    box->setEnabled(editable);
    box->setText(editable ? label->text() : QString());
    label->setVisible(!editable);
}

void CheckBoxRow::KeepSize() const
{
    const bool editable = Label->isHidden();
    QSize size;
    for (const bool mode : {false, true})
    {
        SetCheckBoxEditable(Box, Label, mode);
        Row->layout()->invalidate();
        size = size.expandedTo(Row->layout()->sizeHint());
    }
    SetCheckBoxEditable(Box, Label, editable);
    Row->setFixedSize(size);
}

CheckBoxRow MakeCheckBoxRow(QWidget* parent, const char* name, const QString& caption, int helpContext)
{
    CheckBoxRow row;
    row.Row = Opaque(new QWidget(parent));
    row.Box = MakeCheckBox(row.Row, name, helpContext);
    row.Label = MakeLabel(row.Row, caption, row.Box, helpContext);
    auto* layout = new QHBoxLayout(row.Row);
    layout->setContentsMargins({});
    layout->addWidget(row.Label);
    layout->addWidget(row.Box);
    layout->addStretch();
    row.KeepSize();
    return row;
}

void LayOutButtonBar(QWidget* bar, std::initializer_list<std::initializer_list<QPushButton*>> places)
{
    Opaque(bar);
    auto* layout = new QGridLayout(bar);
    layout->setContentsMargins({});
    layout->setSizeConstraint(QLayout::SetFixedSize);
    int column = 0;
    for (const std::initializer_list<QPushButton*> place : places)
    {
        for (QPushButton* button : place)
        {
            QSizePolicy policy = button->sizePolicy();
            policy.setRetainSizeWhenHidden(true);
            button->setSizePolicy(policy);
            layout->addWidget(button, 0, column);
        }
        ++column;
    }
}

QGroupBox* MakePageFrame(QWidget* page, const QString& caption)
{
    auto* frame = new QGroupBox(caption, page);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(frame);
    return frame;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, int helpContext)
{
    auto* button = Opaque(MakeNamed<QPushButton>(parent, name, helpContext));
    button->setText(caption);
    button->setAutoDefault(false);
    return button;
}

QLineEdit* MakeLineEdit(QWidget* parent, const char* name, int helpContext)
{
    return Opaque(MakeNamed<QLineEdit>(parent, name, helpContext));
}

QPlainTextEdit* MakeMemo(QWidget* parent, const char* name, int helpContext)
{
    auto* memo = Opaque(MakeNamed<QPlainTextEdit>(parent, name, helpContext));
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo->setTabChangesFocus(true);
    return memo;
}

QCheckBox* MakeCheckBox(QWidget* parent, const char* name, int helpContext)
{
    return MakeNamed<QCheckBox>(parent, name, helpContext);
}

QLabel* MakeLabel(QWidget* parent, const QString& caption, QWidget* buddy, int helpContext)
{
    auto* label = new QLabel(caption, parent);
    label->setBuddy(buddy);
    NameByLabel(buddy, caption);
    if (helpContext != 0)
        SetHelpContext(label, helpContext);
    return label;
}

} // namespace korvel::admin
