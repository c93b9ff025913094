// The Status page's commands: refresh, start and stop the main listener, remove and disconnect sessions. Each
// sends its requests through the background runner; questions are asked on the user-interface thread between
// the runner's jobs, never while a request holds the session lock.
#include "admin/pages/status/StatusPage.h"

#include "admin/common/BackgroundRunner.h"
#include "admin/common/Command.h"
#include "admin/common/Dialogs.h"
#include "admin/common/WindowJournal.h"
#include "admin/pages/status/AutoRefresh.h"
#include "admin/pages/status/StatusSnapshot.h"
#include "session/KORVELSession.h"

#include <QCoreApplication>

namespace korvel::admin
{
namespace
{

QString DisconnectOneQuestion()
{
    return QCoreApplication::translate(
        "StatusPage",
        "This session is currently connected and may be in use by another application.  Disconnecting this "
        "session could cause fatal errors in any application that is using this session. Are you sure you "
        "want "
        "to disconnect this session ?");
}

QString RemoveConnectedQuestion()
{
    return QCoreApplication::translate(
        "StatusPage",
        "This session is currently connected and may be in use by another application.  Removing this "
        "session "
        "could cause fatal errors in any application that is using this session. Are you sure you want to "
        "remove this session ?");
}

QString RemoveQuestion()
{
    return QCoreApplication::translate("StatusPage", "Are you sure you want to remove this session ?");
}

// The same warnings in the plural, with the count.
QString DisconnectManyQuestion(int count)
{
    return QCoreApplication::translate(
               "StatusPage",
               "These sessions are currently connected and may be in use by other applications.  "
               "Disconnecting "
               "these sessions could cause fatal errors in any application that is using these sessions. Are "
               "you sure you want to disconnect these %1 sessions ?")
        .arg(count);
}

QString RemoveManyQuestion(int count, bool anyConnected)
{
    if (!anyConnected)
        return QCoreApplication::translate("StatusPage",
                                           "Are you sure you want to remove these %1 sessions ?")
            .arg(count);
    return QCoreApplication::translate(
               "StatusPage",
               "Some of these sessions are currently connected and may be in use by other applications.  "
               "Removing these sessions could cause fatal errors in any application that is using these "
               "sessions. Are you sure you want to remove these %1 sessions ?")
        .arg(count);
}

bool Confirmed(QWidget* parent, const QString& question)
{
    return DialogsFor(parent).AskConfirmationYesNo(parent, question, Answer::No) == Answer::Yes;
}

} // namespace

struct StatusPage::BulkResult
{
    StatusSnapshot Status;
    int Succeeded = 0;
    int Attempted = 0;
    QString FirstFailure;
};

void StatusPage::SubmitStatusCommand(JobOptions options, StatusWork work,
                                     std::function<void(const StatusSnapshot&)> then)
{
    SubmitCommand<StatusSnapshot>(this, runner_, std::move(options), std::move(work),
                                  [this, then = std::move(then)](StatusSnapshot status)
                                  {
                                      ShowStatus(status);
                                      autoRefresh_->Resume();
                                      if (then)
                                          then(status);
                                  });
}

void StatusPage::RefreshButtonClick()
{
    SubmitStatusCommand({}, [this](JobContext& job) { return CollectStatus(session_, job); });
}

void StatusPage::StartButtonClick()
{
    // The listener may have been started elsewhere meanwhile: a fresh status decides.
    SubmitStatusCommand({.Changes = true},
                        [this, changes = journal_.Sender()](JobContext& job)
                        {
                            StatusSnapshot status = CollectStatus(session_, job);
                            if (status.Failure || !status.Stopped())
                                return status;
                            job.Check();
                            changes.Through(session_).StartServer();
                            return CollectStatus(session_, job);
                        });
}

void StatusPage::StopButtonClick()
{
    SubmitStatusCommand(
        {}, [this](JobContext& job) { return CollectStatus(session_, job); },
        [this](const StatusSnapshot& status)
        {
            if (status.Stopped())
                return;
            if (status.ConnectedCount.value_or(0) >= 1 &&
                !Confirmed(
                    this,
                    QCoreApplication::translate(
                        "StatusPage",
                        "There are active sessions currently connected and stopping the server will "
                        "disconnect these active sessions, are you sure you want to stop the server ?")))
                return;
            SubmitStatusCommand({.Changes = true},
                                [this, changes = journal_.Sender()](JobContext& job)
                                {
                                    job.Check();
                                    changes.Through(session_).StopServer();
                                    return CollectStatus(session_, job);
                                });
        });
}

void StatusPage::RemoveButtonClick()
{
    const std::vector<Selected> selected = SelectedSessions();
    if (selected.empty())
        return;
    const bool anyConnected =
        std::any_of(selected.begin(), selected.end(), [](const Selected& row) { return row.Connected; });
    const QString question = selected.size() > 1
                                 ? RemoveManyQuestion(static_cast<int>(selected.size()), anyConnected)
                             : anyConnected ? RemoveConnectedQuestion()
                                            : RemoveQuestion();
    if (!Confirmed(this, question))
        return;
    std::vector<std::int32_t> ids;
    for (const Selected& row : selected)
        ids.push_back(row.Id);
    RunBulk(std::move(ids), &operations::ServerChanges::RemoveSession,
            [](const BulkResult& result)
            {
                return QCoreApplication::translate("StatusPage", "Removed %1 of %2 sessions.")
                    .arg(result.Succeeded)
                    .arg(result.Attempted);
            });
}

void StatusPage::DisconnectButtonClick()
{
    const std::vector<Selected> selected = SelectedSessions();
    std::vector<std::int32_t> ids;
    for (const Selected& row : selected)
        if (row.Connected)
            ids.push_back(row.Id);
    if (ids.empty())
        return;
    const int skipped = static_cast<int>(selected.size() - ids.size());
    const QString question =
        selected.size() == 1 ? DisconnectOneQuestion() : DisconnectManyQuestion(static_cast<int>(ids.size()));
    if (!Confirmed(this, question))
        return;
    RunBulk(std::move(ids), &operations::ServerChanges::DisconnectSession,
            [skipped](const BulkResult& result)
            {
                QString report = QCoreApplication::translate("StatusPage", "Disconnected %1 of %2 sessions.")
                                     .arg(result.Succeeded)
                                     .arg(result.Attempted);
                if (skipped > 0)
                    report += QLatin1Char(' ') +
                              QCoreApplication::translate(
                                  "StatusPage", "%1 selected sessions had no connection and were skipped.")
                                  .arg(skipped);
                return report;
            });
}

void StatusPage::RunBulk(std::vector<std::int32_t> ids,
                         bool (operations::ServerChanges::*action)(std::int32_t),
                         std::function<QString(const BulkResult&)> report)
{
    // One session: its error goes to the error box and the list stays as it was, as for any command.
    const bool single = ids.size() == 1;
    SubmitCommand<BulkResult>(
        this, runner_, {.Changes = true},
        [this, changes = journal_.Sender(), ids = std::move(ids), action, single](JobContext& job)
        {
            operations::ServerChanges sender = changes.Through(session_);
            BulkResult result;
            for (std::int32_t id : ids)
            {
                job.Check();
                ++result.Attempted;
                QString failure;
                try
                {
                    // One session: a refusal is not reported, as ever.
                    if ((sender.*action)(id) || single)
                        ++result.Succeeded;
                    else
                        failure = QCoreApplication::translate(
                                      "StatusPage", "The server refused the request for session %1.")
                                      .arg(id);
                }
                catch (const std::exception& error)
                {
                    if (single)
                        throw;
                    job.Check(); // cut off by a cancel: no failure of this session
                    failure = QString::fromUtf8(error.what());
                }
                if (result.FirstFailure.isEmpty())
                    result.FirstFailure = failure;
            }
            result.Status = CollectStatus(session_, job);
            return result;
        },
        [this, single, report = std::move(report)](BulkResult result)
        {
            ClearSelection();
            ShowStatus(result.Status);
            if (single)
                return;
            QString text = report(result);
            if (!result.FirstFailure.isEmpty())
                text += QStringLiteral("\n\n") +
                        QCoreApplication::translate("StatusPage", "The first failure: %1")
                            .arg(result.FirstFailure);
            DialogsFor(this).ShowInformation(this, text);
        });
}

} // namespace korvel::admin
