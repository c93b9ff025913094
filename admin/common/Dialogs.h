// The one seam between the window and the person at the screen: message boxes, the file-save dialog, the
// folder chooser, the login prompt, and the check whether a directory is writable. The window uses the Qt
// implementation; tests install a scripted one so no test waits on a real modal box.
#pragma once

#include <QString>

#include <optional>
#include <string>

class QWidget;

namespace korvel::admin
{

enum class Answer
{
    Yes,
    No,
    Cancel
};

class Dialogs
{
public:
    virtual ~Dialogs() = default;

    // Error icon, the message, one OK button.
    virtual void ShowError(QWidget* parent, const QString& message) = 0;
    // Information icon, the message, one OK button (the report after a bulk action).
    virtual void ShowInformation(QWidget* parent, const QString& message) = 0;
    // Warning icon with Yes and No.
    virtual Answer AskWarningYesNo(QWidget* parent, const QString& question) = 0;
    // Warning icon with Yes, No and Cancel (unsaved edits).
    virtual Answer AskWarningYesNoCancel(QWidget* parent, const QString& question) = 0;
    // Confirmation (question icon) with Yes and No.
    virtual Answer AskConfirmationYesNo(QWidget* parent, const QString& question) = 0;

    struct SaveFileRequest
    {
        QString Title;
        QString StartDirectory;
        QString Filter;        // "Text Files (*.TXT)"
        QString DefaultSuffix; // "TXT"
    };
    // The chosen file name, or nothing when cancelled.
    virtual std::optional<QString> GetSaveFileName(QWidget* parent, const SaveFileRequest& request) = 0;

    // "Select the directory": the chosen folder without a trailing separator, or nothing when cancelled.
    virtual std::optional<QString> BrowseForDirectory(QWidget* parent, const QString& startPath) = 0;

    // The remote login prompt: true on OK with both strings set; on Cancel both stay unchanged.
    virtual bool RemoteLogin(QWidget* parent, std::string& userName, std::string& password) = 0;

    // Whether files can be created in `directory` (root ignores file modes, so tests script the answer).
    virtual bool IsDirectoryWritable(const QString& directory) = 0;
};

// The dialogs in force; the Qt implementation unless a test installed another. Never null.
Dialogs& CurrentDialogs();
// Installs `dialogs` (not owned); null restores the Qt implementation.
void SetDialogs(Dialogs* dialogs);

} // namespace korvel::admin
