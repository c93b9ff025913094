#include "admin/pages/RightsPage.h"

#include "admin/common/BackgroundRunner.h"
#include "admin/common/Dialogs.h"
#include "admin/pages/DatabaseUsersPage.h"
#include "admin/pages/PageFields.h"
#include "engine/EngineError.h"
#include "session/KORVELSession.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include <set>

namespace korvel::admin
{

namespace
{

const char* const RightCaptions[] = {"Read", "Insert", "Update", "Delete", "Create", "Alter", "Drop"};
const char* const RightBoxNames[] = {"RightsReadCheckBox",   "RightsInsertCheckBox", "RightsUpdateCheckBox",
                                     "RightsDeleteCheckBox", "RightsCreateCheckBox", "RightsAlterCheckBox",
                                     "RightsDropCheckBox"};

} // namespace

TRightsPage::TRightsPage(const PageContext& context, TDatabaseUsersPage& databaseUsers, QWidget* parent)
    : AdminPage(parent), session_(context.Session), databaseUsers_(databaseUsers),
      runner_(std::make_unique<BackgroundRunner>(context.Session))
{
    proxy_.setSourceModel(&model_);
    CreateControls();
    runner_->WatchCommands(this, [this](bool running) { ShowCommandRunning(running); });
    ShowCommandRunning(false);
    LoadingEnded({});
}

TRightsPage::~TRightsPage() = default;

void TRightsPage::CreateControls()
{
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    RightsFilterEdit = MakeLineEdit(this, "RightsFilterEdit", 0);
    RightsFilterEdit->setPlaceholderText(QStringLiteral("user or database name"));
    TransposeRightsCheckBox = MakeCheckBox(this, "TransposeRightsCheckBox", 0);
    TransposeRightsCheckBox->setText(QStringLiteral("Databases as rows"));
    RefreshRightsButton = MakeButton(this, "RefreshRightsButton", QStringLiteral("&Refresh"), 0);
    top->addWidget(MakeLabel(this, QStringLiteral("&Filter"), RightsFilterEdit, 0));
    top->addWidget(RightsFilterEdit, 1);
    top->addWidget(TransposeRightsCheckBox);
    top->addWidget(RefreshRightsButton);
    layout->addLayout(top);

    RightsGrid = new QTableView(this);
    RightsGrid->setObjectName("RightsGrid");
    RightsGrid->setModel(&proxy_);
    RightsGrid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    RightsGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    RightsGrid->horizontalHeader()->setDefaultSectionSize(64);
    RightsGrid->verticalHeader()->setDefaultSectionSize(20);
    RightsGrid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    layout->addWidget(RightsGrid, 1);

    auto* progress = new QHBoxLayout;
    RightsStatusLabel = new QLabel(this);
    RightsStatusLabel->setObjectName("RightsStatusLabel");
    RightsProgressBar = new QProgressBar(this);
    RightsProgressBar->setObjectName("RightsProgressBar");
    CancelRightsButton = MakeButton(this, "CancelRightsButton", QStringLiteral("Cancel"), 0);
    progress->addWidget(RightsStatusLabel, 1);
    progress->addWidget(RightsProgressBar);
    progress->addWidget(CancelRightsButton);
    layout->addLayout(progress);

    auto* edit = new QGroupBox(QStringLiteral("Selected cells"), this);
    auto* editLayout = new QGridLayout(edit);
    for (int bit = 0; bit < 7; ++bit)
    {
        RightsCheckBoxes[bit] = MakeCheckBox(edit, RightBoxNames[bit], 0);
        RightsCheckBoxes[bit]->setText(QLatin1String(RightCaptions[bit]));
        editLayout->addWidget(RightsCheckBoxes[bit], 0, bit);
    }
    SetRightsButton = MakeButton(edit, "SetRightsButton", QStringLiteral("&Set"), 0);
    GrantRightsButton = MakeButton(edit, "GrantRightsButton", QStringLiteral("&Grant"), 0);
    RevokeRightsButton = MakeButton(edit, "RevokeRightsButton", QStringLiteral("Re&voke"), 0);
    NotDatabaseUserButton =
        MakeButton(edit, "NotDatabaseUserButton", QStringLiteral("&Not a Database User"), 0);
    CopyFromComboBox = new QComboBox(edit);
    CopyFromComboBox->setObjectName("CopyFromComboBox");
    CopyRightsButton = MakeButton(edit, "CopyRightsButton", QStringLiteral("&Copy Rights from User"), 0);
    auto* buttons = new QHBoxLayout;
    for (QWidget* widget : std::initializer_list<QWidget*>{SetRightsButton, GrantRightsButton,
                                                           RevokeRightsButton, NotDatabaseUserButton})
        buttons->addWidget(widget);
    buttons->addStretch();
    buttons->addWidget(CopyRightsButton);
    buttons->addWidget(CopyFromComboBox);
    editLayout->addLayout(buttons, 1, 0, 1, 8);
    layout->addWidget(edit);

    QObject::connect(RightsFilterEdit, &QLineEdit::textChanged, this,
                     [this](const QString& text) { proxy_.SetFilterText(text); });
    QObject::connect(TransposeRightsCheckBox, &QCheckBox::toggled, this,
                     [this](bool transposed) { model_.SetTransposed(transposed); });
    ConnectCommand(RefreshRightsButton, this, &TRightsPage::RefreshRightsButtonClick);
    ConnectCommand(CancelRightsButton, this, &TRightsPage::CancelRightsButtonClick);
    ConnectCommand(SetRightsButton, this, &TRightsPage::SetRightsButtonClick);
    ConnectCommand(GrantRightsButton, this, &TRightsPage::GrantRightsButtonClick);
    ConnectCommand(RevokeRightsButton, this, &TRightsPage::RevokeRightsButtonClick);
    ConnectCommand(NotDatabaseUserButton, this, &TRightsPage::NotDatabaseUserButtonClick);
    ConnectCommand(CopyRightsButton, this, &TRightsPage::CopyRightsButtonClick);
}

void TRightsPage::MarkStale()
{
    stale_ = true;
    if (isVisible())
        StartLoading();
}

bool TRightsPage::Busy() const
{
    return runner_->Busy();
}

void TRightsPage::showEvent(QShowEvent* event)
{
    AdminPage::showEvent(event);
    if (stale_ && session_.Active())
        StartLoading();
}

void TRightsPage::RefreshRightsButtonClick()
{
    StartLoading();
}

void TRightsPage::CancelRightsButtonClick()
{
    runner_->Cancel();
    LoadingEnded(QStringLiteral("Reading cancelled: %1 of %2 databases read.")
                     .arg(model_.DatabasesRead())
                     .arg(model_.Matrix().Databases.size()));
}

void TRightsPage::StartLoading()
{
    runner_->Cancel();
    stale_ = false;
    RightsProgressBar->setRange(0, 0); // busy until the names are known
    RightsProgressBar->show();
    CancelRightsButton->show();
    RightsStatusLabel->setText(QStringLiteral("Reading the rights..."));
    TKORVELSession& session = session_;
    runner_->Submit<operations::RightsMatrix>(
        Priority::User,
        [&session](CancelToken& token)
        {
            token.Check();
            return operations::RightsMatrix::ReadNames(session);
        },
        [this, &session](operations::RightsMatrix names)
        {
            model_.SetNames(names.Users, names.Databases);
            CopyFromComboBox->clear();
            for (const std::string& user : model_.Matrix().Users)
                CopyFromComboBox->addItem(FromStd(user));
            databasesToRead_ = static_cast<int>(names.Databases.size());
            RightsProgressBar->setRange(0, databasesToRead_);
            RightsProgressBar->setValue(0);
            if (databasesToRead_ == 0)
                return LoadingEnded({});
            // One job per database, all queued now: the worker reads them back to back while each column is
            // painted as it arrives.
            for (const std::string& database : names.Databases)
                runner_->Submit<operations::DatabaseColumn>(
                    Priority::User,
                    [&session, database](CancelToken& token) {
                        return operations::ReadDatabaseColumn(session, database, [&token] { token.Check(); });
                    },
                    [this](operations::DatabaseColumn column) { ColumnRead(std::move(column)); },
                    [this](std::exception_ptr error) { JobFailed(error); });
        },
        [this](std::exception_ptr error) { JobFailed(error); });
}

void TRightsPage::ColumnRead(operations::DatabaseColumn column)
{
    model_.SetColumn(std::move(column));
    RightsProgressBar->setValue(model_.DatabasesRead());
    if (model_.DatabasesRead() >= databasesToRead_)
        LoadingEnded({});
}

void TRightsPage::LoadingEnded(const QString& status)
{
    RightsProgressBar->hide();
    CancelRightsButton->hide();
    if (status.isEmpty())
        ShowCounts();
    else
        RightsStatusLabel->setText(status);
}

void TRightsPage::ShowCounts()
{
    const auto& matrix = model_.Matrix();
    RightsStatusLabel->setText(
        QStringLiteral("%1 users, %2 databases").arg(matrix.Users.size()).arg(matrix.Databases.size()));
}

void TRightsPage::JobFailed(std::exception_ptr error)
{
    runner_->Cancel(); // the remaining reads would fail the same way
    LoadingEnded(QStringLiteral("Reading stopped."));
    RunCommand(this, [error] { std::rethrow_exception(error); }); // shows the error box (not for a cancel)
}

void TRightsPage::ShowCommandRunning(bool running)
{
    for (QWidget* widget :
         std::initializer_list<QWidget*>{SetRightsButton, GrantRightsButton, RevokeRightsButton,
                                         NotDatabaseUserButton, CopyRightsButton, RefreshRightsButton})
        widget->setEnabled(!running);
}

TUserRights TRightsPage::CheckedRights() const
{
    TUserRights rights;
    for (int bit = 0; bit < 7; ++bit)
        if (RightsCheckBoxes[bit]->isChecked())
            rights.Include(static_cast<TUserRight>(bit));
    return rights;
}

void TRightsPage::EditSelection(operations::RightsEdit edit, const operations::PairRights& rights)
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

void TRightsPage::SetRightsButtonClick()
{
    EditSelection(operations::RightsEdit::Set, CheckedRights());
}

void TRightsPage::GrantRightsButtonClick()
{
    EditSelection(operations::RightsEdit::Grant, CheckedRights());
}

void TRightsPage::RevokeRightsButtonClick()
{
    EditSelection(operations::RightsEdit::Revoke, CheckedRights());
}

void TRightsPage::NotDatabaseUserButtonClick()
{
    EditSelection(operations::RightsEdit::Set, std::nullopt);
}

void TRightsPage::CopyRightsButtonClick()
{
    const std::string from = ToStd(CopyFromComboBox->currentText());
    std::set<std::string> targets;
    for (const QModelIndex& index : RightsGrid->selectionModel()->selectedIndexes())
        targets.insert(model_.PairAt(proxy_.mapToSource(index)).first);
    if (from.empty() || targets.empty())
        throw std::runtime_error("Select the users to copy to in the grid, and the user to copy from.");
    if (model_.DatabasesRead() < static_cast<int>(model_.Matrix().Databases.size()))
        throw std::runtime_error("The rights are not all read yet: refresh the grid first.");
    operations::RightsPlan plan;
    operations::PlanCopy(plan, model_.Matrix(), from, StringList(targets.begin(), targets.end()));
    Send(plan);
}

void TRightsPage::Send(const operations::RightsPlan& plan)
{
    if (plan.Empty())
    {
        RightsStatusLabel->setText(QStringLiteral("Nothing to change."));
        return;
    }
    if (CurrentDialogs().AskConfirmationYesNo(
            this, FromStd(plan.Summary()) + QStringLiteral(". Send these changes?")) != Answer::Yes)
        return;
    TKORVELSession& session = session_;
    runner_->Cancel(); // a read still under way would be stale after the changes
    runner_->Submit<std::vector<operations::Conflict>>(
        Priority::User,
        [&session, plan](CancelToken& token)
        { return operations::ReadConflicts(session, plan, [&token] { token.Check(); }); },
        [this, plan](std::vector<operations::Conflict> conflicts) { SendChecked(plan, conflicts); },
        [this](std::exception_ptr error) { JobFailed(error); });
}

void TRightsPage::SendChecked(operations::RightsPlan plan, const std::vector<operations::Conflict>& conflicts)
{
    if (!conflicts.empty() &&
        CurrentDialogs().AskWarningYesNo(
            this, QStringLiteral("Another administrator changed these since the grid was read:\n") +
                      FromStd(operations::ConflictList(conflicts)) +
                      QStringLiteral("Overwrite them too? (No skips them.)")) != Answer::Yes)
        plan = operations::Without(plan, conflicts);
    TKORVELSession& session = session_;
    runner_->Submit<operations::ApplyReport>(
        Priority::User, [&session, plan](CancelToken&) { return operations::ApplyPlan(session, plan); },
        [this, plan](operations::ApplyReport report) { ChangesSent(plan, report); },
        [this](std::exception_ptr error) { JobFailed(error); });
}

void TRightsPage::ChangesSent(const operations::RightsPlan& plan, const operations::ApplyReport& report)
{
    StartLoading(); // the grid shows the server's truth again, whatever happened
    if (databaseUsers_.EditState() == esViewing)
        RunCommand(this, [this] { databaseUsers_.ShowUsersOfSelectedDatabase(); });
    if (!report.Error.empty())
        CurrentDialogs().ShowError(this, FromStd(operations::ReportText(plan, report)));
}

} // namespace korvel::admin
