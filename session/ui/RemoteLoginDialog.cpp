#include "session/ui/RemoteLoginDialog.h"

#include "session/ui/LoginDialog.h"

#include <QCoreApplication>
#include <QLineEdit>

namespace korvel::ui
{

bool RemoteLoginDialog(QWidget* parent, std::string& userName, std::string& password, const QString& server)
{
    TLoginDialog dialog(parent);
    dialog.setWindowTitle(QCoreApplication::translate("TLoginDialog", "Remote Login"));
    dialog.HideDatabaseLine();
    dialog.ShowServer(server);
    dialog.UserName()->setText(QString::fromStdString(userName));
    if (userName.empty())
        dialog.UserName()->setFocus();
    if (dialog.exec() != QDialog::Accepted)
        return false;
    userName = dialog.UserName()->text().toStdString();
    password = dialog.Password()->text().toStdString();
    return true;
}

} // namespace korvel::ui
