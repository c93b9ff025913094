#include "admin/pages/FixedRowDelegate.h"

#include <QApplication>
#include <QCache>
#include <QPainter>
#include <QTextLayout>

namespace korvel::admin
{

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
