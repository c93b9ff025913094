#include "styling/ThemeIcons.h"

#include <array>
#include <utility>

namespace korvel::styling
{
namespace
{

constexpr std::array<std::pair<QStyle::StandardPixmap, const char*>, 10> ThemeNames = {{
    {QStyle::SP_MessageBoxInformation, "dialog-information"},
    {QStyle::SP_MessageBoxWarning, "dialog-warning"},
    {QStyle::SP_MessageBoxCritical, "dialog-error"},
    {QStyle::SP_MessageBoxQuestion, "dialog-question"},
    {QStyle::SP_DialogOkButton, "dialog-ok"},
    {QStyle::SP_DialogCancelButton, "dialog-cancel"},
    {QStyle::SP_DialogYesButton, "dialog-ok"},
    {QStyle::SP_DialogNoButton, "dialog-cancel"},
    {QStyle::SP_DialogCloseButton, "window-close"},
    {QStyle::SP_DialogSaveButton, "document-save"},
}};

} // namespace

const char* ThemeIconName(QStyle::StandardPixmap icon)
{
    for (const auto& [pixmap, name] : ThemeNames)
        if (pixmap == icon)
            return name;
    return nullptr;
}

std::optional<QIcon> ThemeIcons::Icon(QStyle::StandardPixmap icon)
{
    const char* name = ThemeIconName(icon);
    if (name == nullptr)
        return std::nullopt;
    if (!themeComplete_)
    {
        themeComplete_ = true;
        for (const auto& [pixmap, themeName] : ThemeNames)
            themeComplete_ = *themeComplete_ && QIcon::hasThemeIcon(QLatin1String(themeName));
    }
    if (!*themeComplete_)
        return std::nullopt;
    return QIcon::fromTheme(QLatin1String(name));
}

} // namespace korvel::styling
