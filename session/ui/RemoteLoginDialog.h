// The remote login prompt: a TLoginDialog titled "Remote Login" without the "Database:" line.
#pragma once

#include <string>

class QWidget;

namespace korvel::ui
{

// Shows the prompt modally with `userName` filled in (the focus is on the user name when it is empty, else on
// the password). On OK both strings take the fields' texts (UTF-8) and the result is true; otherwise both
// stay unchanged and the result is false.
bool RemoteLoginDialog(QWidget* parent, std::string& userName, std::string& password);

} // namespace korvel::ui
