// The window's language: its own texts and Qt's, translated for a locale (the system's at start).
#pragma once

#include <QLocale>

namespace korvel::admin
{

// Installs on the application the window's translation for `locale` and Qt's own (qtbase, where Debian's
// qt6-translations-l10n is installed), replacing any installed before. English needs neither. Returns whether
// the window's own translation was found.
bool InstallTranslations(const QLocale& locale);

} // namespace korvel::admin
