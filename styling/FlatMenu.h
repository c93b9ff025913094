// Menu painting of the flat look: an icon column 24 pixels wide, a highlighted selection box, check marks and
// thin separators.
#pragma once

class QPainter;
class QStyle;
class QStyleOptionMenuItem;
class QWidget;

namespace korvel::styling
{

constexpr int MenuIconColumnWidth = 24;

void DrawFlatMenuItem(const QStyle& style, const QStyleOptionMenuItem& option, QPainter& painter,
                      const QWidget* widget);
void DrawFlatMenuBarItem(const QStyle& style, const QStyleOptionMenuItem& option, QPainter& painter,
                         const QWidget* widget);

} // namespace korvel::styling
