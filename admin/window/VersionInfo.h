// The program's version information, generated into the build from the project's CMake settings.
#pragma once

#include <QString>

namespace korvel::admin
{

struct VersionInfo
{
    QString ProductName;
    QString OriginalFileName;
    QString FileVersion;

    static VersionInfo OfThisProgram();
    // OriginalFileName without its extension (the part from the last dot after the last separator).
    QString SettingsBaseName() const;
};

} // namespace korvel::admin
