// OptionsItemClick: edits the connection settings through the Options dialog and applies them.
#include "admin/MainForm.h"

#include "admin/OptionsDlg.h"
#include "admin/common/BackgroundRunner.h"
#include "admin/common/Command.h"
#include "admin/common/Dialogs.h"
#include "session/KORVELSession.h"

namespace korvel::admin
{

namespace
{

RemoteSettings WithConnection(RemoteSettings settings, const OptionsValues& values)
{
    settings.RemoteType = values.Lan ? 0 : 1;
    settings.RemoteHost = CutToSettingBytes(values.Host);
    settings.RemoteAddress = CutToSettingBytes(values.Address);
    settings.RemotePort = static_cast<std::uint16_t>(values.PortNumber());
    settings.RemoteService = CutToSettingBytes(values.Service);
    return settings;
}

bool ConnectionChanged(const RemoteSettings& stored, const RemoteSettings& wanted)
{
    // Any non-zero stored type means Internet, so LAN against a stored 2 is a change too.
    return (stored.RemoteType != 0) != (wanted.RemoteType != 0) || stored.RemoteHost != wanted.RemoteHost ||
           stored.RemoteAddress != wanted.RemoteAddress || stored.RemoteService != wanted.RemoteService ||
           stored.RemotePort != wanted.RemotePort;
}

} // namespace

void TMainForm::OptionsItemClick()
{
    optionsDlg_->Load(remoteSettings_, traceSettings_);
    if (ExecModal(*optionsDlg_) != QDialog::Accepted)
        return;
    OptionsValues values = optionsDlg_->Values();
    traceSettings_.KeepTraceFile = values.KeepTraceFile;
    RemoteSettings wanted = WithConnection(remoteSettings_, values);
    wanted.RemoteTracing = values.Tracing;
    const bool changed = ConnectionChanged(remoteSettings_, wanted);

    // Tracing follows the check box at once, also while logged in; the connection reaches the session with
    // the next login.
    remoteSettings_.RemoteTracing = values.Tracing;
    if (LoggedIn())
    {
        TKORVELSession& session = *remoteSession_;
        runner_->Submit(
            this, {}, [&session, tracing = values.Tracing](JobContext&) { session.SetRemoteTrace(tracing); },
            {}, [this](std::exception_ptr error) { ShowCommandError(this, error); });
    }
    if (!changed)
        return;
    if (!LoggedIn())
    {
        remoteSettings_ = wanted;
        return;
    }
    if (CurrentDialogs().AskWarningYesNo(
            this, "Changing the remote connection information will reset the connection and require you to "
                  "login again, are you sure you want to change this information ?") != Answer::Yes)
        return;
    // Cancelled at a pending-edit question: still logged in, so the new values are dropped as after No.
    Logout([this, wanted] { remoteSettings_ = wanted; });
}

} // namespace korvel::admin
