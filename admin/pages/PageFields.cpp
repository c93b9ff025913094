#include "admin/pages/PageFields.h"

#include "admin/common/Accessible.h"
#include "admin/common/Help.h"
#include "engine/wire/Utf8.h"

#include <QApplication>
#include <QCache>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextLayout>
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
    row.Row = new QWidget(parent);
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
    auto* button = MakeNamed<QPushButton>(parent, name, helpContext);
    button->setText(caption);
    button->setAutoDefault(false);
    return button;
}

QLineEdit* MakeLineEdit(QWidget* parent, const char* name, int helpContext)
{
    return MakeNamed<QLineEdit>(parent, name, helpContext);
}

QPlainTextEdit* MakeMemo(QWidget* parent, const char* name, int helpContext)
{
    auto* memo = MakeNamed<QPlainTextEdit>(parent, name, helpContext);
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo->setTabChangesFocus(true);
    // Its frame covers all of it, so filling its background first changes no pixel; but being opaque, its
    // repaint at each switch between view and edit mode no longer repaints the group box beneath it.
    memo->setAutoFillBackground(true);
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

namespace
{

// All that decides where the style puts a row's text and how it breaks it into lines.
struct RowTextKey
{
    QString Text;
    QFont Font;
    QSize Size;
    Qt::LayoutDirection Direction = Qt::LeftToRight;
    Qt::Alignment Alignment;
    bool DecorationSelected = false;
    const QStyle* Style = nullptr;

    bool operator==(const RowTextKey&) const = default;
};

size_t qHash(const RowTextKey& key, size_t seed = 0)
{
    return qHashMulti(seed, key.Text, key.Font, key.Size.width(), int(key.Direction), key.Style);
}

// A row's text as the style would draw it, or no layout when the style's own paint is needed (the text
// takes more than one line or is elided).
struct RowText
{
    std::unique_ptr<QTextLayout> Layout;
    QPointF Offset; // of the layout from the row's top left corner
};

// Lays the text out as the style does when it draws an item view's text (the text rect less its margins,
// no wrapping, aligned and elided within it), keeping the layout only when it draws the text unchanged.
RowText* LayOutRowText(const QStyleOptionViewItem& item, const QStyle* style)
{
    auto* row = new RowText;
    const QWidget* widget = item.widget;
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    const QRect textRect =
        style->subElementRect(QStyle::SE_ItemViewItemText, &item, widget).adjusted(margin, 0, -margin, 0);
    QTextOption textOption;
    textOption.setWrapMode(QTextOption::ManualWrap);
    textOption.setTextDirection(item.direction);
    textOption.setAlignment(QStyle::visualAlignment(item.direction, item.displayAlignment));
    auto layout = std::make_unique<QTextLayout>(item.text, item.font);
    layout->setTextOption(textOption);
    // Else the layout keeps only its lines, and each paint would shape the text again.
    layout->setCacheEnabled(true);
    layout->beginLayout();
    for (qreal height = 0;;)
    {
        QTextLine line = layout->createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(textRect.width());
        line.setPosition(QPointF(0, height));
        height += line.height();
    }
    layout->endLayout();
    const QRect layoutRect = QStyle::alignedRect(Qt::LayoutDirectionAuto, item.displayAlignment,
                                                 layout->boundingRect().size().toSize(), textRect);
    const QTextLine line = layout->lineAt(0);
    const bool unchanged = layout->lineCount() == 1 && line.textLength() == item.text.size() &&
                           line.naturalTextWidth() <= textRect.width() &&
                           line.height() + layoutRect.top() > textRect.top();
    if (unchanged)
    {
        row->Layout = std::move(layout);
        row->Offset = QPointF(textRect.x(), layoutRect.top()) - QPointF(item.rect.topLeft());
    }
    return row;
}

// The rows whose look is the style's in full: they paint seldom (one at a time) or lay out differently.
bool StylePaintsRow(const QStyleOptionViewItem& item, const QStyle* style, const QPainter* painter)
{
    using Feature = QStyleOptionViewItem::ViewItemFeature;
    constexpr QStyle::State styled = QStyle::State_Selected | QStyle::State_HasFocus | QStyle::State_Editing;
    return (item.state & styled) || item.text.isEmpty() || !item.icon.isNull() ||
           item.features != (item.features & (Feature::HasDisplay | Feature::Alternate)) ||
           painter->hasClipping() || style->name().compare(u"fusion", Qt::CaseInsensitive) != 0;
}

} // namespace

// The layouts of the rows painted last, a few screens' worth.
class RowTextLayouts : public QCache<RowTextKey, RowText>
{
public:
    RowTextLayouts() : QCache(256) {}
};

FixedRowDelegate::FixedRowDelegate(QObject* parent, int width)
    : QStyledItemDelegate(parent), width_(width), layouts_(std::make_unique<RowTextLayouts>())
{
}

FixedRowDelegate::~FixedRowDelegate() = default;

QSize FixedRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const int width = width_ > 0 ? width_ : QStyledItemDelegate::sizeHint(option, index).width();
    return {width, RowHeight};
}

void FixedRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const
{
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    if (StylePaintsRow(item, style, painter))
    {
        style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);
        return;
    }
    RowTextKey key{item.text,
                   item.font,
                   item.rect.size(),
                   item.direction,
                   item.displayAlignment,
                   item.showDecorationSelected,
                   style};
    RowText* text = layouts_->object(key);
    if (!text)
    {
        text = LayOutRowText(item, style);
        layouts_->insert(key, text);
    }
    if (!text->Layout)
    {
        style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);
        return;
    }
    // What the style draws for such a row: its background, then its text in the text colour.
    painter->save();
    painter->setClipRect(item.rect);
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &item, painter, widget);
    QPalette::ColorGroup group = QPalette::Disabled;
    if (item.state & QStyle::State_Enabled)
        group = item.state & QStyle::State_Active ? QPalette::Normal : QPalette::Inactive;
    painter->setPen(item.palette.color(group, QPalette::Text));
    text->Layout->draw(painter, QPointF(item.rect.topLeft()) + text->Offset);
    painter->restore();
}

} // namespace korvel::admin
