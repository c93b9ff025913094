// The flat look of the window: flat borders and surfaces for panels, frames, group boxes, edits, buttons,
// check boxes, scroll bars and menus, in the system's palette colours, over Qt's Fusion style. Keyboard focus
// is visible on every control. A widget whose "tag" property is 999 (or one inside such a widget's own
// drawing) is drawn by the plain Fusion style, untouched.
#pragma once

#include "styling/ThemeIcons.h"

#include <QProxyStyle>

class QApplication;

namespace korvel::styling
{

// The tag that leaves a widget unstyled.
constexpr int UnstyledTag = 999;

class FlatStyle : public QProxyStyle
{
public:
    FlatStyle();

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget = nullptr) const override;
    int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                    const QWidget* widget = nullptr) const override;
    int styleHint(StyleHint hint, const QStyleOption* option = nullptr, const QWidget* widget = nullptr,
                  QStyleHintReturn* returnData = nullptr) const override;
    // Message box and dialog button icons: the desktop's theme, or Fusion's for all (see ThemeIcons).
    QIcon standardIcon(StandardPixmap icon, const QStyleOption* option = nullptr,
                       const QWidget* widget = nullptr) const override;

private:
    bool DrawFlatPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                           const QWidget* widget) const;
    bool DrawFlatControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                         const QWidget* widget) const;

    mutable ThemeIcons themeIcons_;
};

// Makes FlatStyle the application's style (owned by the application).
void ApplyFlatStyle(QApplication& application);

// Whether `widget` asked to be left unstyled.
bool IsUnstyled(const QWidget* widget);

} // namespace korvel::styling
