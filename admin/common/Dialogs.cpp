// The dialogs seam: the cursor rule every box follows, and which implementation a widget asks.
#include "admin/common/Dialogs.h"

#include "admin/common/OverrideCursor.h"
#include "admin/common/QtDialogs.h"

#include <QApplication>
#include <QDialog>
#include <QVariant>
#include <QWidget>

namespace korvel::admin
{

namespace
{

// The widget property that carries the installed dialogs.
constexpr char InstalledDialogsProperty[] = "korvelInstalledDialogs";

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

void InstallDialogs(QWidget& window, Dialogs* dialogs)
{
    // An invalid value removes the property.
    window.setProperty(InstalledDialogsProperty,
                       dialogs ? QVariant::fromValue(static_cast<void*>(dialogs)) : QVariant());
}

Dialogs& DialogsFor(const QWidget* widget)
{
    // parentWidget() leads from a dialog to the window that opened it.
    for (; widget; widget = widget->parentWidget())
        if (const QVariant installed = widget->property(InstalledDialogsProperty); installed.isValid())
            return *static_cast<Dialogs*>(installed.value<void*>());
    static QtDialogs qtDialogs; // stateless: the same for every window
    return qtDialogs;
}

} // namespace korvel::admin
