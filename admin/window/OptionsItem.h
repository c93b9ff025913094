// File > Options...: the dialog starts from the window's settings. On OK the trace settings and the tracing
// flag change at once, also while logged in; a changed connection is kept for the next login, and while
// logged in only after the person agreed to log out for it.
#pragma once

#include "admin/window/Settings.h"

class QWidget;

namespace korvel
{
class TKORVELSession;
}

namespace korvel::admin
{

class BackgroundRunner;
class LoginController;
class TOptionsDlg;

class OptionsItem
{
public:
    OptionsItem(QWidget& window, AdminInfo& remote, TraceSettings& trace, LoginController& login,
                BackgroundRunner& runner, TKORVELSession& session);

    void Click(TOptionsDlg& dialog);

private:
    QWidget& window_;
    AdminInfo& remote_;
    TraceSettings& trace_;
    LoginController& login_;
    BackgroundRunner& runner_;
    TKORVELSession& session_;
};

} // namespace korvel::admin
