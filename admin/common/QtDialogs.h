// The dialogs the person at the screen really sees: Qt message boxes, QFileDialog and the remote login
// prompt.
#pragma once

#include "admin/common/Dialogs.h"

namespace korvel::admin
{

class QtDialogs : public Dialogs
{
public:
    bool IsDirectoryWritable(const QString& directory) override;

protected:
    void DoShowError(QWidget* parent, const QString& message) override;
    void DoShowInformation(QWidget* parent, const QString& message) override;
    Answer DoAskWarningYesNo(QWidget* parent, const QString& question, Answer preset) override;
    Answer DoAskWarningYesNoCancel(QWidget* parent, const QString& question) override;
    Answer DoAskConfirmationYesNo(QWidget* parent, const QString& question, Answer preset) override;
    std::optional<QString> DoGetSaveFileName(QWidget* parent, const SaveFileRequest& request) override;
    std::optional<QString> DoBrowseForDirectory(QWidget* parent, const QString& startPath) override;
    bool DoRemoteLogin(QWidget* parent, const QString& server, std::string& userName,
                       std::string& password) override;
};

} // namespace korvel::admin
