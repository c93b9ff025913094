// Where the program's own files live: the settings file, the trace file and the help file are named after the
// program and kept beside it, or in the user's XDG directories when the program's directory is not writable.
// An installed copy (bin/ with share/korvel-admin/ beside it) lives by the desktop's rules instead: settings
// and trace in the XDG directories, the help file from its data directory, dialogs starting in Documents.
#pragma once

#include <QString>

namespace korvel::admin
{

class Dialogs;

struct ProgramFiles
{
    QString ProgramDir;      // ends in a separator unless empty
    QString ProgramBaseName; // the file name; a final ".exe" (any case) removed, any other extension kept
    // The settings file to use instead of the one beside the program, when not empty: a demo or a test keeps
    // its settings apart from the user's. Taken from KORVEL_ADMIN_SETTINGS by OfThisProgram.
    QString SettingsFile;
    // The installed copy's data directory, ending in a separator; empty for a copy run from its build tree.
    QString InstalledDataDir = {};

    static ProgramFiles OfThisProgram();
    static ProgramFiles OfProgram(const QString& programPath);

    // ProgramDir + base name + process id + ".LOG", or the XDG state directory when ProgramDir is not
    // writable.
    QString TraceFileName(qint64 processId, Dialogs& dialogs) const;
    // SettingsFile when set; else ProgramDir + settings base name + ".ini", or the XDG configuration
    // directory when ProgramDir is not writable.
    QString SettingsFileName(const QString& settingsBaseName, Dialogs& dialogs) const;
    QString HelpFileName() const;
    // Where the save-file and folder dialogs start: ProgramDir, or Documents for an installed copy.
    QString DialogStartDir() const;

private:
    // ProgramDir when writable and not installed, else `fallback` (created when missing) with a separator.
    QString WritableDir(const QString& fallback, Dialogs& dialogs) const;
};

} // namespace korvel::admin
