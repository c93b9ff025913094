#include "styling/FlatMenu.h"

#include "styling/FlatPalette.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionMenuItem>

namespace korvel::styling
{

namespace
{

void DrawCheckMark(QPainter& painter, const QRect& box, const QColor& colour)
{
    QPointF centre = QRectF(box).center();
    QPolygonF tick{centre + QPointF(-4, 0), centre + QPointF(-1, 3), centre + QPointF(4, -3)};
    painter.setPen(QPen(colour, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPolyline(tick);
}

void DrawSelectionBox(QPainter& painter, const QRect& rect, const QPalette& palette)
{
    painter.setPen(FocusColour(palette));
    painter.setBrush(HoverColour(palette));
    painter.drawRect(rect.adjusted(0, 0, -1, -1));
}

} // namespace

void DrawFlatMenuItem(const QStyle& style, const QStyleOptionMenuItem& option, QPainter& painter,
                      const QWidget* widget)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    const QPalette& palette = option.palette;
    const QRect& rect = option.rect;
    QRect iconColumn(rect.left(), rect.top(), MenuIconColumnWidth, rect.height());
    painter.fillRect(rect, palette.color(QPalette::Base));
    painter.fillRect(iconColumn, palette.color(QPalette::Button));

    if (option.menuItemType == QStyleOptionMenuItem::Separator)
    {
        int y = rect.center().y();
        painter.setPen(BorderColour(palette));
        painter.drawLine(iconColumn.right() + 4, y, rect.right() - 2, y);
        painter.restore();
        return;
    }

    bool selected = (option.state & QStyle::State_Selected) && (option.state & QStyle::State_Enabled);
    if (selected)
        DrawSelectionBox(painter, rect.adjusted(1, 0, -1, 0), palette);

    QColor textColour = palette.color(
        option.state & QStyle::State_Enabled ? QPalette::Active : QPalette::Disabled, QPalette::Text);
    if (option.checked)
        DrawCheckMark(painter, iconColumn, textColour);
    else if (!option.icon.isNull())
    {
        int size = style.pixelMetric(QStyle::PM_SmallIconSize, &option, widget);
        QRect iconRect(0, 0, size, size);
        iconRect.moveCenter(iconColumn.center());
        option.icon.paint(&painter, iconRect);
    }

    QRect textRect = rect.adjusted(MenuIconColumnWidth + 8, 0, -8, 0);
    QString text = option.text;
    QString shortcut;
    if (int tab = text.indexOf('\t'); tab >= 0)
    {
        shortcut = text.mid(tab + 1);
        text = text.left(tab);
    }
    painter.setPen(textColour);
    int flags = Qt::AlignVCenter | Qt::TextShowMnemonic | Qt::TextSingleLine;
    if (!style.styleHint(QStyle::SH_UnderlineShortcut, &option, widget))
        flags |= Qt::TextHideMnemonic;
    painter.drawText(textRect, flags | Qt::AlignLeft, text);
    if (!shortcut.isEmpty())
        painter.drawText(textRect, flags | Qt::AlignRight, shortcut);
    if (option.menuItemType == QStyleOptionMenuItem::SubMenu)
    {
        QStyleOption arrow = option;
        arrow.rect = QRect(rect.right() - 14, rect.top(), 10, rect.height());
        style.drawPrimitive(QStyle::PE_IndicatorArrowRight, &arrow, &painter, widget);
    }
    painter.restore();
}

void DrawFlatMenuBarItem(const QStyle& style, const QStyleOptionMenuItem& option, QPainter& painter,
                         const QWidget* widget)
{
    painter.save();
    painter.fillRect(option.rect, option.palette.color(QPalette::Window));
    if (option.state & (QStyle::State_Selected | QStyle::State_Sunken))
        DrawSelectionBox(painter, option.rect, option.palette);
    int flags = Qt::AlignCenter | Qt::TextShowMnemonic | Qt::TextSingleLine;
    if (!style.styleHint(QStyle::SH_UnderlineShortcut, &option, widget))
        flags |= Qt::TextHideMnemonic;
    painter.setPen(option.palette.color(QPalette::WindowText));
    painter.drawText(option.rect, flags, option.text);
    painter.restore();
}

} // namespace korvel::styling
