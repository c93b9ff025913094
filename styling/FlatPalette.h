// The colours of the flat look, taken from the widget's palette so the system's colours win.
#pragma once

#include <QColor>
#include <QPalette>

namespace korvel::styling
{

inline QColor BorderColour(const QPalette& palette)
{
    return palette.color(QPalette::Mid);
}
inline QColor FocusColour(const QPalette& palette)
{
    return palette.color(QPalette::Highlight);
}
// A light tint of the selection colour for hovered buttons and selected menu items.
inline QColor HoverColour(const QPalette& palette)
{
    QColor tint = palette.color(QPalette::Highlight);
    tint.setAlpha(48);
    return tint;
}

} // namespace korvel::styling
