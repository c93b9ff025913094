// The Rights page's changes: the buttons, the cells' context menu and the cell editor all end in Send, which
// asks once, checks for other administrators' changes, sends, and reads the grid again.
#include "admin/common/BackgroundRunner.h"
#include "admin/common/Command.h"
#include "admin/common/Dialogs.h"
#include "admin/common/WindowJournal.h"
#include "admin/pages/PageFields.h"
#include "admin/pages/lists/DatabaseUsersPage.h"
#include "admin/pages/rights/RightsPage.h"
#include "operations/StatePlan.h"
#include "session/KORVELSession.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QTableView>
#include <QTimer>

#include <set>

namespace korvel::admin
{

TUserRights RightsPage::CheckedRights() const
{
    TUserRights rights;
    for (int bit = 0; bit < 7; ++bit)
        if (RightsCheckBoxes[bit]->isChecked())
            rights.Include(static_cast<TUserRight>(bit));
    return rights;
}

void RightsPage::EditSelection(operations::RightsEdit edit, const operations::PairRights& rights)
{
    operations::RightsPlan plan;
    for (const QModelIndex& index : RightsGrid->selectionModel()->selectedIndexes())
    {
        auto [user, database] = model_.PairAt(proxy_.mapToSource(index));
        if (model_.Matrix().HasColumn(database))
            operations::PlanEdit(plan, model_.Matrix(), {user}, {database}, edit, rights);
    }
    Send(plan);
}

void RightsPage::SetRightsButtonClick()
{
    EditSelection(operations::RightsEdit::Set, CheckedRights());
}

void RightsPage::GrantRightsButtonClick()
{
    EditSelection(operations::RightsEdit::Grant, CheckedRights());
}

void RightsPage::RevokeRightsButtonClick()
{
    EditSelection(operations::RightsEdit::Revoke, CheckedRights());
}

void RightsPage::NotDatabaseUserButtonClick()
{
    EditSelection(operations::RightsEdit::Set, std::nullopt);
}

void RightsPage::CopyRightsButtonClick()
{
    CopyRightsFrom(ToStd(CopyFromComboBox->currentData().toString()));
}

void RightsPage::CopyRightsFrom(const std::string& from)
{
    std::set<std::string> targets;
    for (const QModelIndex& index : RightsGrid->selectionModel()->selectedIndexes())
        targets.insert(model_.PairAt(proxy_.mapToSource(index)).first);
    if (from.empty() || targets.empty())
        throw std::runtime_error(
            QCoreApplication::translate("RightsPage",
                                        "Select the users to copy to in the grid, and the user to copy from.")
                .toStdString());
    if (model_.DatabasesRead() < static_cast<int>(model_.Matrix().Databases.size()))
        throw std::runtime_error(QCoreApplication::translate(
                                     "RightsPage", "The rights are not all read yet: refresh the grid first.")
                                     .toStdString());
    operations::RightsPlan plan;
    operations::PlanCopy(plan, model_.Matrix(), from, StringList(targets.begin(), targets.end()));
    Send(plan);
}

void RightsPage::CellEdited(const operations::PairRights& rights)
{
    // The edited cell is the current one: it counts as selected even when Ctrl moved the focus off the
    // selection.
    const QModelIndex current = RightsGrid->currentIndex();
    if (current.isValid() && !RightsGrid->selectionModel()->isSelected(current))
        RightsGrid->selectionModel()->select(current, QItemSelectionModel::Select);
    RunCommand(this, [this, &rights] { EditSelection(operations::RightsEdit::Set, rights); });
}

void RightsPage::ShowCellMenu(const QPoint& position)
{
    const QPersistentModelIndex cell = RightsGrid->indexAt(position);
    if (!cell.isValid())
        return;
    auto* menu = new QMenu(this);
    menu->setObjectName("RightsCellMenu");
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const bool idle = !runner_.CommandRunning();
    auto add = [this, idle](QMenu* to, const QString& caption, bool enabled, std::function<void()> handler)
    {
        QAction* action = to->addAction(caption);
        action->setEnabled(idle && enabled);
        connect(action, &QAction::triggered, this, [this, handler] { RunCommand(this, handler); });
    };
    add(menu, QCoreApplication::translate("RightsPage", "&Edit Rights"),
        (cell.flags() & Qt::ItemIsEditable) != 0,
        [this, cell]
        {
            if (cell.isValid())
                RightsGrid->edit(cell);
        });
    menu->addSeparator();
    // The ticked boxes below the grid, named by their letters.
    const bool anyTicked = !CheckedRights().Empty();
    const QString ticked = anyTicked ? FromStd(operations::RightsLetters(CheckedRights())) : QString();
    add(menu,
        anyTicked ? QCoreApplication::translate("RightsPage", "&Set Rights to %1").arg(ticked)
                  : QCoreApplication::translate("RightsPage", "&Set No Rights"),
        true, [this] { SetRightsButtonClick(); });
    add(menu,
        anyTicked ? QCoreApplication::translate("RightsPage", "&Grant %1").arg(ticked)
                  : QCoreApplication::translate("RightsPage", "&Grant Ticked Rights"),
        anyTicked, [this] { GrantRightsButtonClick(); });
    add(menu,
        anyTicked ? QCoreApplication::translate("RightsPage", "Re&voke %1").arg(ticked)
                  : QCoreApplication::translate("RightsPage", "Re&voke Ticked Rights"),
        anyTicked, [this] { RevokeRightsButtonClick(); });
    add(menu, QCoreApplication::translate("RightsPage", "&Not a Database User"), true,
        [this] { NotDatabaseUserButtonClick(); });
    QMenu* copy = menu->addMenu(QCoreApplication::translate("RightsPage", "&Copy Rights from User"));
    copy->setObjectName("CopyRightsFromMenu");
    const bool allRead = model_.DatabasesRead() == static_cast<int>(model_.Matrix().Databases.size());
    for (const std::string& user : model_.Matrix().Users)
        add(copy, FromStd(user), allRead, [this, user] { CopyRightsFrom(user); });
    menu->popup(RightsGrid->viewport()->mapToGlobal(position));
}

void RightsPage::Send(const operations::RightsPlan& plan)
{
    if (plan.Empty())
    {
        RightsStatusLabel->setText(QCoreApplication::translate("RightsPage", "Nothing to change."));
        return;
    }
    if (DialogsFor(this).AskConfirmationYesNo(this, SendQuestion(plan)) != Answer::Yes)
        return;
    // A read still under way would be stale after the changes; the grid is read again once they are sent.
    CancelRead();
    readRetry_->stop();
    struct Sent
    {
        operations::RightsPlan Plan;
        operations::ApplyReport Report;
    };
    TKORVELSession& session = session_;
    // The conflicts are asked about from the worker, and the plan checked again after each answer, so an
    // overwrite is built from what the server held after the question.
    sending_ = SubmitCommand<Sent>(
                   this, runner_, {.Changes = true},
                   [this, &session, changes = journal_.Sender(), plan](JobContext& job)
                   {
                       const operations::BeforeRequest check = [&job] { job.Check(); };
                       Sent sent;
                       sent.Plan =
                           operations::SettlePlan(
                               session, plan,
                               [this, &job](const std::vector<operations::Conflict>& conflicts)
                               { return job.AskOwner([this, conflicts] { return Overwrite(conflicts); }); },
                               check)
                               .Plan;
                       sent.Report = changes.Through(session).ApplyRightsPlan(sent.Plan, check);
                       if (sent.Report.Unknown) // said even after a cancel: it may have been made
                           throw operations::OutcomeUnknown(operations::ReportText(sent.Plan, sent.Report));
                       job.Check(); // a cancelled send is reported as such, not as a failed change
                       return sent;
                   },
                   [this](const Sent& sent) { ChangesSent(sent.Plan, sent.Report); },
                   [this](std::exception_ptr) { ChangeFailed(); }) != nullptr;
}

QString RightsPage::SendQuestion(const operations::RightsPlan& plan)
{
    // The changes as `plan` lists them, so the person sees what is sent; a long list ends in a count.
    constexpr std::size_t shownAtMost = 20;
    QString listed;
    const auto& changes = plan.Changes();
    for (std::size_t at = 0; at < changes.size() && at < shownAtMost; ++at)
        listed += FromStd(operations::RightsLine(changes[at]).Text()) + QLatin1Char('\n');
    if (changes.size() > shownAtMost)
        listed +=
            QCoreApplication::translate("RightsPage", "... and %1 more\n").arg(changes.size() - shownAtMost);
    return listed + QLatin1Char('\n') +
           QCoreApplication::translate("RightsPage", "%1. Send these changes?").arg(FromStd(plan.Summary()));
}

bool RightsPage::Overwrite(const std::vector<operations::Conflict>& conflicts)
{
    return DialogsFor(this).AskWarningYesNo(
               this,
               QCoreApplication::translate(
                   "RightsPage", "Another administrator changed these since the grid was read:\n%1Overwrite "
                                 "them too? (No skips them.)")
                   .arg(FromStd(operations::ConflictList(conflicts))),
               Answer::No) == Answer::Yes;
}

void RightsPage::ChangesSent(const operations::RightsPlan& plan, const operations::ApplyReport& report)
{
    sending_ = false;
    MarkStale(); // the grid shows the server's truth again, whatever happened
    if (databaseUsers_.EditState() == esViewing)
        databaseUsers_.ShowUsersOfSelectedDatabase();
    if (!report.Error.empty())
        DialogsFor(this).ShowError(this, FromStd(operations::ReportText(plan, report)));
}

void RightsPage::ChangeFailed()
{
    sending_ = false;
    MarkStale();
}

} // namespace korvel::admin
