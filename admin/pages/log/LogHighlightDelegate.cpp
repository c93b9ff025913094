#include "admin/pages/log/LogHighlightDelegate.h"

#include "admin/pages/log/LogLineMatcher.h"

#include <QApplication>
#include <QPainter>

namespace korvel::admin
{

LogHighlightDelegate::LogHighlightDelegate(QObject* parent, int width,
                                           std::function<const LogLineMatcher*()> matcher)
    : FixedRowDelegate(parent, width), matcher_(std::move(matcher))
{
}

void LogHighlightDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const
{
    const LogLineMatcher* matcher = matcher_();
    if (!matcher || matcher->Empty())
    {
        FixedRowDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const QString text = item.text;
    const QList<std::pair<int, int>> ranges = matcher->Ranges(text);
    if (ranges.isEmpty())
    {
        FixedRowDelegate::paint(painter, option, index);
        return;
    }
    // The row without its text (background, selection, focus), then the matches' backgrounds, then the text.
    item.text.clear();
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);
    item.text = text;
    const QRect textRect =
        style->subElementRect(QStyle::SE_ItemViewItemText, &item, widget).adjusted(2, 0, -2, 0);
    const QFontMetrics metrics(item.font);
    painter->save();
    painter->setClipRect(option.rect);
    for (const auto& [start, length] : ranges)
    {
        const int left = textRect.left() + metrics.horizontalAdvance(text.left(start));
        const int width = metrics.horizontalAdvance(text.mid(start, length));
        painter->fillRect(QRect(left, textRect.top(), width, textRect.height()), HighlightColor());
    }
    const bool selected = item.state & QStyle::State_Selected;
    painter->setPen(item.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    painter->setFont(item.font);
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    // The matches in dark text on their light background, readable in a selected row too.
    painter->setPen(Qt::black);
    for (const auto& [start, length] : ranges)
    {
        const int left = textRect.left() + metrics.horizontalAdvance(text.left(start));
        painter->drawText(QRect(left, textRect.top(), textRect.right() - left, textRect.height()),
                          Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text.mid(start, length));
    }
    painter->restore();
}

} // namespace korvel::admin
