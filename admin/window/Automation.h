// Hands-free runs of the window for demos, screenshots and benchmarks, switched on by environment variables:
//
//   KORVEL_ADMIN_AUTOLOGIN=user:password  logs in at start, typing the credentials into the real login prompt
//   KORVEL_ADMIN_SNAPSHOT=directory       then saves pictures of the login prompt, every page, the File
//                                         menu, the Options, Trace Log and Change History dialogs as PNG
//                                         files there, and closes the window
//   KORVEL_ADMIN_EXIT_AFTER_PAINT=1       says "painted" and its peak memory on stdout once the window was
//                                         painted, and closes it
#pragma once

namespace korvel::admin
{

class TMainForm;
class TOptionsDlg;
class TTraceLogDlg;

// Before the window is shown: KORVEL_ADMIN_EXIT_AFTER_PAINT watches for its first paint.
void WatchFirstPaint(TMainForm& mainForm);
// Once the dialogs are made: the automatic login and the snapshots.
void StartAutomation(TMainForm& mainForm, TOptionsDlg& options, TTraceLogDlg& traceLog);

} // namespace korvel::admin
