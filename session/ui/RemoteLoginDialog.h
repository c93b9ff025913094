// The remote login prompt: a TLoginDialog titled "Remote Login" without the "Database:" line.
#pragma once

#include <QString>

#include <string>

class QWidget;

namespace korvel::ui
{

// Shows the prompt modally with `userName` filled in (the focus is on the user name when it is empty, else on
// the password). On OK both strings take the fields' texts (UTF-8) and the result is true; otherwise both
// stay unchanged and the result is false. `server` names where the login goes ("db1 on port 12006").
bool RemoteLoginDialog(QWidget* parent, std::string& userName, std::string& password,
                       const QString& server = {});

} // namespace korvel::ui
