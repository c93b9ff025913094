#include "admin/window/ProgramFiles.h"

#include "admin/common/Dialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace korvel::admin
{

namespace
{

QString WithSeparator(QString dir)
{
    dir = dir.trimmed();
    if (!dir.isEmpty() && !dir.endsWith('/'))
        dir += '/';
    return dir;
}

// $XDG_STATE_HOME, by default ~/.local/state (Qt 6.4 has no name for it).
QString StateHome()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || QDir::isRelativePath(state))
        state = QDir::homePath() + "/.local/state";
    return state;
}

} // namespace

ProgramFiles ProgramFiles::OfThisProgram()
{
    ProgramFiles files = OfProgram(QCoreApplication::applicationFilePath());
    files.SettingsFile = qEnvironmentVariable("KORVEL_ADMIN_SETTINGS");
    return files;
}

ProgramFiles ProgramFiles::OfProgram(const QString& programPath)
{
    QFileInfo program(programPath);
    ProgramFiles files;
    files.ProgramDir = programPath.contains('/') ? WithSeparator(program.path()) : QString();
    files.ProgramBaseName = program.fileName();
    if (files.ProgramBaseName.endsWith(".exe", Qt::CaseInsensitive))
        files.ProgramBaseName.chop(4);
    // The install rules put the data directory at the same place relative to bin/ under any prefix.
    const QString dataDir = program.absolutePath() + "/" KORVEL_BIN_TO_DATA "/korvel-admin";
    if (!files.ProgramDir.isEmpty() && QFileInfo(dataDir).isDir())
        files.InstalledDataDir = WithSeparator(QDir::cleanPath(dataDir));
    return files;
}

QString ProgramFiles::WritableDir(const QString& fallback, Dialogs& dialogs) const
{
    if (InstalledDataDir.isEmpty() &&
        dialogs.IsDirectoryWritable(ProgramDir.isEmpty() ? QDir::currentPath() : ProgramDir))
        return ProgramDir;
    QDir().mkpath(fallback);
    return WithSeparator(fallback);
}

QString ProgramFiles::HelpFileName() const
{
    return (InstalledDataDir.isEmpty() ? ProgramDir : InstalledDataDir) + ProgramBaseName + ".hlp";
}

QString ProgramFiles::DialogStartDir() const
{
    if (InstalledDataDir.isEmpty())
        return ProgramDir;
    return WithSeparator(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
}

QString ProgramFiles::TraceFileName(qint64 processId, Dialogs& dialogs) const
{
    return WritableDir(StateHome() + "/korvel-admin", dialogs) + ProgramBaseName +
           QString::number(processId) + ".LOG";
}

QString ProgramFiles::SettingsFileName(const QString& settingsBaseName, Dialogs& dialogs) const
{
    if (!SettingsFile.isEmpty())
        return SettingsFile;
    QString config =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/korvel-admin";
    return WritableDir(config, dialogs) + settingsBaseName.trimmed() + ".ini";
}

} // namespace korvel::admin
