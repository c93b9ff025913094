#include "admin/window/OptionsItem.h"

#include "admin/common/BackgroundRunner.h"
#include "admin/common/Command.h"
#include "admin/common/Dialogs.h"
#include "admin/dialogs/OptionsDlg.h"
#include "admin/window/LoginController.h"
#include "session/KORVELSession.h"

#include <QCoreApplication>

namespace korvel::admin
{

OptionsItem::OptionsItem(QWidget& window, AdminInfo& remote, TraceSettings& trace, LoginController& login,
                         BackgroundRunner& runner, TKORVELSession& session)
    : window_(window), remote_(remote), trace_(trace), login_(login), runner_(runner), session_(session)
{
}

void OptionsItem::Click(TOptionsDlg& dialog)
{
    dialog.Load(OptionsOf(remote_, trace_));
    if (ExecModal(dialog) != QDialog::Accepted)
        return;
    OptionsValues values = dialog.Values();
    trace_.KeepTraceFile = values.KeepTraceFile;
    AdminInfo wanted = remote_;
    wanted.Server = CutToSettingBytes(values.Connection);
    wanted.RemoteTracing = values.Tracing;
    const bool changed = wanted.Server != remote_.Server;

    // Tracing follows the check box at once, also while logged in; the connection reaches the session with
    // the next login.
    remote_.RemoteTracing = values.Tracing;
    if (login_.LoggedIn())
        runner_.Submit(
            &window_, {},
            [&session = session_, tracing = values.Tracing](JobContext&) { session.SetRemoteTrace(tracing); },
            {}, [this](std::exception_ptr error) { ShowCommandError(&window_, runner_, error); });
    if (!changed)
        return;
    if (!login_.LoggedIn())
    {
        remote_ = wanted;
        return;
    }
    if (DialogsFor(&window_).AskWarningYesNo(
            &window_,
            QCoreApplication::translate(
                "OptionsItem", "Changing the remote connection information will reset the connection "
                               "and require you to login again, are you sure you want to change this "
                               "information ?")) != Answer::Yes)
        return;
    // Cancelled at a pending-edit question: still logged in, so the new values are dropped as after No.
    login_.Logout([this, wanted] { remote_ = wanted; });
}

} // namespace korvel::admin
