// The dialogs the person at the screen really sees: Qt message boxes, QFileDialog and the remote login
// prompt.
#pragma once

#include "admin/common/Dialogs.h"

namespace korvel::admin
{

class QtDialogs : public Dialogs
{
public:
    void ShowError(QWidget* parent, const QString& message) override;
    void ShowInformation(QWidget* parent, const QString& message) override;
    Answer AskWarningYesNo(QWidget* parent, const QString& question) override;
    Answer AskWarningYesNoCancel(QWidget* parent, const QString& question) override;
    Answer AskConfirmationYesNo(QWidget* parent, const QString& question) override;
    std::optional<QString> GetSaveFileName(QWidget* parent, const SaveFileRequest& request) override;
    std::optional<QString> BrowseForDirectory(QWidget* parent, const QString& startPath) override;
    bool RemoteLogin(QWidget* parent, std::string& userName, std::string& password) override;
    bool IsDirectoryWritable(const QString& directory) override;
};

} // namespace korvel::admin
