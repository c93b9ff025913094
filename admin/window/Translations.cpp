#include "admin/window/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>

namespace korvel::admin
{

bool InstallTranslations(const QLocale& locale)
{
    // Kept for the life of the program: an installed translator must outlive its use.
    static std::unique_ptr<QTranslator> own;
    static std::unique_ptr<QTranslator> qt;
    for (auto* translator : {own.get(), qt.get()})
        if (translator)
            QCoreApplication::removeTranslator(translator);
    own = std::make_unique<QTranslator>();
    qt = std::make_unique<QTranslator>();
    // The window's translations are embedded (admin/CMakeLists.txt); Qt's live where Qt keeps them.
    if (qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qt.get());
    const bool found = own->load(locale, QStringLiteral("korvel-admin"), QStringLiteral("_"),
                                 QStringLiteral(":/translations"));
    if (found)
        QCoreApplication::installTranslator(own.get());
    return found;
}

} // namespace korvel::admin
