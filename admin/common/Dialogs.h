// The one seam between the window and the person at the screen: message boxes, the file-save dialog, the
// folder chooser, the login prompt, and the check whether a directory is writable. A window asks the dialogs
// its owner installed on it, else the Qt implementation; tests install scripted ones on the windows they
// build, so no test waits on a real modal box and two windows never share one script.
//
// Whatever wait cursor a command set, every box and dialog shows the normal arrow while it waits for the
// person: the public calls below hold it around the implementation's, and ExecModal does the same for the
// window's own dialogs (Options, Trace Log).
#pragma once

#include <QString>

#include <optional>
#include <string>

class QDialog;
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
    void ShowError(QWidget* parent, const QString& message);
    // Information icon, the message, one OK button (the report after a bulk action).
    void ShowInformation(QWidget* parent, const QString& message);
    // Warning icon with Yes and No. `preset` is the button Enter presses: No for a question that risks
    // something (a deletion, a stop, an overwrite, a save despite a warning), so a hurried Enter does
    // nothing.
    Answer AskWarningYesNo(QWidget* parent, const QString& question, Answer preset = Answer::Yes);
    // Warning icon with Yes, No and Cancel (unsaved edits; Yes saves them).
    Answer AskWarningYesNoCancel(QWidget* parent, const QString& question);
    // Confirmation (question icon) with Yes and No; `preset` as above.
    Answer AskConfirmationYesNo(QWidget* parent, const QString& question, Answer preset = Answer::Yes);

    struct SaveFileRequest
    {
        QString Title;
        QString StartDirectory;
        QString Filter;        // "Text Files (*.TXT)"
        QString DefaultSuffix; // "TXT"
    };
    // The chosen file name, or nothing when cancelled. Choosing an existing file first asks whether to
    // replace it (the platform's usual question): a silent overwrite could lose a file the person meant to
    // keep.
    std::optional<QString> GetSaveFileName(QWidget* parent, const SaveFileRequest& request);

    // "Select the directory": the chosen folder without a trailing separator, or nothing when cancelled.
    std::optional<QString> BrowseForDirectory(QWidget* parent, const QString& startPath);

    // The remote login prompt for the server at `server` ("db1 on port 12006"): true on OK with both strings
    // set; on Cancel both stay unchanged.
    bool RemoteLogin(QWidget* parent, const QString& server, std::string& userName, std::string& password);

    // Whether files can be created in `directory` (root ignores file modes, so tests script the answer).
    virtual bool IsDirectoryWritable(const QString& directory) = 0;

protected:
    // What the implementation shows, called with the normal cursor in force.
    virtual void DoShowError(QWidget* parent, const QString& message) = 0;
    virtual void DoShowInformation(QWidget* parent, const QString& message) = 0;
    virtual Answer DoAskWarningYesNo(QWidget* parent, const QString& question, Answer preset) = 0;
    virtual Answer DoAskWarningYesNoCancel(QWidget* parent, const QString& question) = 0;
    virtual Answer DoAskConfirmationYesNo(QWidget* parent, const QString& question, Answer preset) = 0;
    virtual std::optional<QString> DoGetSaveFileName(QWidget* parent, const SaveFileRequest& request) = 0;
    virtual std::optional<QString> DoBrowseForDirectory(QWidget* parent, const QString& startPath) = 0;
    virtual bool DoRemoteLogin(QWidget* parent, const QString& server, std::string& userName,
                               std::string& password) = 0;
};

// Installs `dialogs` (not owned) on `window`, for it and every widget under it, including the dialogs it
// parents; null removes them.
void InstallDialogs(QWidget& window, Dialogs* dialogs);
// The dialogs installed on `widget` or the nearest widget above it, else the Qt implementation. Never null.
Dialogs& DialogsFor(const QWidget* widget);

// Runs `dialog` modally with the normal cursor, whatever wait cursor the command that opened it set.
int ExecModal(QDialog& dialog);

} // namespace korvel::admin
