#include "admin/window/VersionInfo.h"

#include "admin/window/VersionResource.h" // generated

namespace korvel::admin
{

VersionInfo VersionInfo::OfThisProgram()
{
    return {KORVEL_VERSION_PRODUCT_NAME, KORVEL_VERSION_ORIGINAL_FILE_NAME, KORVEL_VERSION_FILE_VERSION};
}

QString VersionInfo::SettingsBaseName() const
{
    qsizetype dot = OriginalFileName.lastIndexOf('.');
    qsizetype separator = std::max(OriginalFileName.lastIndexOf('/'), OriginalFileName.lastIndexOf('\\'));
    return dot > separator ? OriginalFileName.left(dot) : OriginalFileName;
}

} // namespace korvel::admin
