// The dialogs seam: the cursor rule every box follows, and the implementation in force.
#include "admin/common/Dialogs.h"

#include "admin/common/OverrideCursor.h"
#include "admin/common/QtDialogs.h"

#include <QApplication>
#include <QDialog>

namespace korvel::admin
{

namespace
{

Dialogs* installedDialogs = nullptr;

// The arrow over whatever override cursor is in force, until the person has answered.
class NormalCursor : public OverrideCursor
{
public:
    NormalCursor() : OverrideCursor(Qt::ArrowCursor) {}
};

} // namespace

void Dialogs::ShowError(QWidget* parent, const QString& message)
{
    NormalCursor cursor;
    DoShowError(parent, message);
}

void Dialogs::ShowInformation(QWidget* parent, const QString& message)
{
    NormalCursor cursor;
    DoShowInformation(parent, message);
}

Answer Dialogs::AskWarningYesNo(QWidget* parent, const QString& question, Answer preset)
{
    NormalCursor cursor;
    return DoAskWarningYesNo(parent, question, preset);
}

Answer Dialogs::AskWarningYesNoCancel(QWidget* parent, const QString& question)
{
    NormalCursor cursor;
    return DoAskWarningYesNoCancel(parent, question);
}

Answer Dialogs::AskConfirmationYesNo(QWidget* parent, const QString& question, Answer preset)
{
    NormalCursor cursor;
    return DoAskConfirmationYesNo(parent, question, preset);
}

std::optional<QString> Dialogs::GetSaveFileName(QWidget* parent, const SaveFileRequest& request)
{
    NormalCursor cursor;
    return DoGetSaveFileName(parent, request);
}

std::optional<QString> Dialogs::BrowseForDirectory(QWidget* parent, const QString& startPath)
{
    NormalCursor cursor;
    return DoBrowseForDirectory(parent, startPath);
}

bool Dialogs::RemoteLogin(QWidget* parent, const QString& server, std::string& userName,
                          std::string& password)
{
    NormalCursor cursor;
    return DoRemoteLogin(parent, server, userName, password);
}

int ExecModal(QDialog& dialog)
{
    NormalCursor cursor;
    return dialog.exec();
}

Dialogs& CurrentDialogs()
{
    if (installedDialogs)
        return *installedDialogs;
    static QtDialogs qtDialogs;
    return qtDialogs;
}

void SetDialogs(Dialogs* dialogs)
{
    installedDialogs = dialogs;
}

} // namespace korvel::admin
