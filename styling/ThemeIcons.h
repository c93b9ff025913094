// The standard icons of message boxes and dialog buttons: the desktop's icon theme when it has every one of
// them, else the built-in ones of the underlying style for all of them, so a box never mixes two styles.
#pragma once

#include <QIcon>
#include <QStyle>

#include <optional>

namespace korvel::styling
{

// The theme's names for the standard icons the window shows.
const char* ThemeIconName(QStyle::StandardPixmap icon);

class ThemeIcons
{
public:
    // The theme's icon for `icon`, or nothing when the built-in one is to be used (an icon the theme does not
    // name here, or a theme that lacks any of them). The decision is taken once, on first use.
    std::optional<QIcon> Icon(QStyle::StandardPixmap icon);

private:
    std::optional<bool> themeComplete_;
};

} // namespace korvel::styling
