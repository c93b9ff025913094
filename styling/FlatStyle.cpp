#include "styling/FlatStyle.h"

#include "styling/FlatMenu.h"
#include "styling/FlatPalette.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QGroupBox>
#include <QPainter>
#include <QStyleFactory>
#include <QStyleOption>
#include <QWidget>

#include <algorithm>
#include <optional>
#include <utility>

namespace korvel::styling
{

namespace
{

// Fusion's room between a group box's title and its frame.
constexpr int GroupBoxTopMargin = 2;

// A one-pixel line just inside `rect`, as four filled edges: the raster engine fills a rectangle many times
// faster than it strokes one, and at any pixel ratio the line stays inside the rectangle, whole.
void DrawFlatBorder(QPainter& painter, const QRect& rect, const QColor& colour)
{
    if (rect.width() <= 2 || rect.height() <= 2)
        return painter.fillRect(rect, colour);
    painter.fillRect(QRect(rect.left(), rect.top(), rect.width(), 1), colour);
    painter.fillRect(QRect(rect.left(), rect.bottom(), rect.width(), 1), colour);
    painter.fillRect(QRect(rect.left(), rect.top() + 1, 1, rect.height() - 2), colour);
    painter.fillRect(QRect(rect.right(), rect.top() + 1, 1, rect.height() - 2), colour);
}

void DrawFlatSurface(QPainter& painter, const QRect& rect, const QColor& fill, const QColor& border)
{
    painter.fillRect(rect.adjusted(1, 1, -1, -1), fill);
    DrawFlatBorder(painter, rect, border);
}

void DrawFlatButton(QPainter& painter, const QStyleOption& option, bool isDefault)
{
    const QPalette& palette = option.palette;
    QColor fill = palette.color(QPalette::Button);
    QColor border = BorderColour(palette);
    if (option.state & (QStyle::State_Sunken | QStyle::State_On))
        fill = fill.darker(112);
    if ((option.state & QStyle::State_MouseOver) && (option.state & QStyle::State_Enabled))
        border = FocusColour(palette);
    if (isDefault || (option.state & QStyle::State_HasFocus))
        border = FocusColour(palette);
    DrawFlatSurface(painter, option.rect, fill, border);
    if ((option.state & QStyle::State_MouseOver) && (option.state & QStyle::State_Enabled))
        painter.fillRect(option.rect.adjusted(1, 1, -1, -1), HoverColour(palette));
}

// A scroll bar in Fusion's places: the groove a shade darker than the window, the arrow buttons and the
// handle as flat buttons. There is no handle when there is nothing to scroll.
void DrawFlatScrollBar(const QStyle& style, const QStyleOptionSlider& bar, QPainter& painter,
                       const QWidget* widget)
{
    painter.fillRect(bar.rect, bar.palette.color(QPalette::Window).darker(106));
    const bool vertical = bar.orientation == Qt::Vertical;
    const bool reversed = !vertical && bar.direction == Qt::RightToLeft;
    const QStyle::PrimitiveElement back =
        reversed ? QStyle::PE_IndicatorArrowRight : QStyle::PE_IndicatorArrowLeft;
    const QStyle::PrimitiveElement forth =
        reversed ? QStyle::PE_IndicatorArrowLeft : QStyle::PE_IndicatorArrowRight;
    const std::pair<QStyle::SubControl, std::optional<QStyle::PrimitiveElement>> parts[] = {
        {QStyle::SC_ScrollBarSubLine, vertical ? QStyle::PE_IndicatorArrowUp : back},
        {QStyle::SC_ScrollBarAddLine, vertical ? QStyle::PE_IndicatorArrowDown : forth},
        {QStyle::SC_ScrollBarSlider, std::nullopt},
    };
    for (const auto& [control, arrow] : parts)
    {
        if (!(bar.subControls & control) || (!arrow && bar.maximum == bar.minimum))
            continue;
        QStyleOption button = bar;
        button.rect = style.subControlRect(QStyle::CC_ScrollBar, &bar, control, widget);
        if (!(bar.activeSubControls & control))
            button.state &= ~(QStyle::State_Sunken | QStyle::State_MouseOver);
        DrawFlatButton(painter, button, false);
        if (arrow)
            style.drawPrimitive(*arrow, &button, &painter, widget);
    }
}

void DrawFlatIndicator(QPainter& painter, const QStyleOption& option, bool round)
{
    const QPalette& palette = option.palette;
    bool enabled = option.state & QStyle::State_Enabled;
    // Keyboard focus shows on the box as well as around the caption, as the mouse hover does.
    bool marked =
        (option.state & QStyle::State_HasFocus) || ((option.state & QStyle::State_MouseOver) && enabled);
    QColor border = marked ? FocusColour(palette) : palette.color(QPalette::Dark);
    QColor fill = palette.color(enabled ? QPalette::Base : QPalette::Window);
    // A disabled mark stays readable: view-mode pages show their values in disabled check boxes.
    QColor mark = palette.color(QPalette::Active, QPalette::Text);
    if (!enabled)
        mark.setAlpha(150);
    QRectF box = QRectF(option.rect).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(border);
    painter.setBrush(fill);
    if (round)
    {
        painter.drawEllipse(box);
        if (option.state & QStyle::State_On)
        {
            painter.setPen(Qt::NoPen);
            painter.setBrush(mark);
            painter.drawEllipse(box.center(), box.width() / 4.5, box.height() / 4.5);
        }
    }
    else
    {
        painter.drawRect(box);
        if (option.state & (QStyle::State_On | QStyle::State_NoChange))
        {
            QPointF c = box.center();
            qreal s = box.width() / 4;
            painter.setPen(QPen(mark, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            painter.drawPolyline(
                QPolygonF{c + QPointF(-s, 0), c + QPointF(-s / 3, s * 0.8), c + QPointF(s, -s)});
        }
    }
    painter.restore();
}

} // namespace

bool IsUnstyled(const QWidget* widget)
{
    return widget && widget->property("tag").toInt() == UnstyledTag;
}

FlatStyle::FlatStyle() : QProxyStyle(QStyleFactory::create("Fusion")) {}

bool FlatStyle::DrawFlatPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                  const QWidget* widget) const
{
    const QPalette& palette = option->palette;
    switch (element)
    {
    case PE_PanelLineEdit:
        DrawFlatSurface(*painter, option->rect,
                        palette.color(option->state & State_Enabled ? QPalette::Base : QPalette::Window),
                        option->state & State_HasFocus ? FocusColour(palette) : BorderColour(palette));
        return true;
    case PE_FrameGroupBox:
    {
        // The frame sits where Fusion puts it, under the title; inside it is the window's own colour, so an
        // opaque control in a group box fills its background with exactly what the box shows.
        const auto* box = qobject_cast<const QGroupBox*>(widget);
        const bool titled = !box || box->isCheckable() || !box->title().isEmpty();
        const int top = (titled ? std::max(pixelMetric(PM_ExclusiveIndicatorHeight, option, widget),
                                           option->fontMetrics.height())
                                : 0) +
                        GroupBoxTopMargin;
        DrawFlatBorder(*painter, option->rect.adjusted(0, top, 0, 0), BorderColour(palette));
        return true;
    }
    case PE_FrameLineEdit:
    case PE_Frame:
    case PE_FrameMenu:
    case PE_FrameTabWidget:
        DrawFlatBorder(*painter, option->rect, BorderColour(palette));
        return true;
    case PE_PanelButtonCommand:
    {
        const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option);
        DrawFlatButton(*painter, *option, button && (button->features & QStyleOptionButton::DefaultButton));
        return true;
    }
    case PE_IndicatorCheckBox:
        DrawFlatIndicator(*painter, *option, false);
        return true;
    case PE_IndicatorRadioButton:
        DrawFlatIndicator(*painter, *option, true);
        return true;
    case PE_FrameFocusRect:
        // Item views keep Fusion's; elsewhere (check box and radio button captions, tabs) a thin line in the
        // focus colour, so keyboard focus is always visible.
        if (qobject_cast<const QAbstractItemView*>(widget))
            return false;
        DrawFlatBorder(*painter, option->rect, FocusColour(palette));
        return true;
    default:
        return false;
    }
}

bool FlatStyle::DrawFlatControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                                const QWidget* widget) const
{
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (element == CE_MenuItem && item)
    {
        DrawFlatMenuItem(*this, *item, *painter, widget);
        return true;
    }
    if (element == CE_MenuBarItem && item)
    {
        DrawFlatMenuBarItem(*this, *item, *painter, widget);
        return true;
    }
    if (element == CE_MenuBarEmptyArea)
    {
        painter->fillRect(option->rect, option->palette.color(QPalette::Window));
        return true;
    }
    return false;
}

void FlatStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                              const QWidget* widget) const
{
    if (IsUnstyled(widget) || !DrawFlatPrimitive(element, option, painter, widget))
        QProxyStyle::drawPrimitive(element, option, painter, widget);
}

void FlatStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                            const QWidget* widget) const
{
    if (IsUnstyled(widget) || !DrawFlatControl(element, option, painter, widget))
        QProxyStyle::drawControl(element, option, painter, widget);
}

void FlatStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                   QPainter* painter, const QWidget* widget) const
{
    const auto* bar = qstyleoption_cast<const QStyleOptionSlider*>(option);
    if (control == CC_ScrollBar && bar && !IsUnstyled(widget))
        return DrawFlatScrollBar(*this, *bar, *painter, widget);
    QProxyStyle::drawComplexControl(control, option, painter, widget);
}

int FlatStyle::pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const
{
    // Metrics are asked for by the thousand while a window is built: the widget's tag is looked up only for
    // the few the flat look changes.
    switch (metric)
    {
    case PM_MenuPanelWidth:
    case PM_MenuBarPanelWidth:
    case PM_MenuHMargin:
    case PM_MenuVMargin:
        if (!IsUnstyled(widget))
            return 1;
        break;
    default:
        break;
    }
    return QProxyStyle::pixelMetric(metric, option, widget);
}

int FlatStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                         QStyleHintReturn* returnData) const
{
    if (hint == SH_LineEdit_PasswordCharacter)
        return '*';
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

QIcon FlatStyle::standardIcon(StandardPixmap icon, const QStyleOption* option, const QWidget* widget) const
{
    if (std::optional<QIcon> themed = themeIcons_.Icon(icon))
        return *themed;
    return QProxyStyle::standardIcon(icon, option, widget);
}

void ApplyFlatStyle(QApplication& application)
{
    // The desktop's palette stays: the flat look changes shapes and frames, not the user's colours.
    application.setStyle(new FlatStyle);
}

} // namespace korvel::styling
