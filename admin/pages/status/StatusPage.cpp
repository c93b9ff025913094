#include "admin/pages/status/StatusPage.h"

#include "admin/common/Accessible.h"
#include "admin/common/BackgroundRunner.h"
#include "admin/common/Command.h"
#include "admin/common/Help.h"
#include "admin/common/NoAnswerWatch.h"
#include "admin/pages/PageFields.h"
#include "admin/pages/status/AutoRefresh.h"
#include "admin/pages/status/HistoryChart.h"
#include "admin/pages/status/ScrollAnchor.h"
#include "admin/pages/status/SessionFilterModel.h"
#include "admin/pages/status/SessionViewMenu.h"
#include "admin/pages/status/StatusFormat.h"
#include "admin/pages/status/StatusSnapshot.h"
#include "engine/wire/OleDate.h"
#include "session/KORVELSession.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

// Resources of a static library are registered by hand, outside any namespace.
static void InitSessionIcons()
{
    Q_INIT_RESOURCE(SessionIcons);
}

namespace korvel::admin
{
namespace
{

// The auto-refresh control's item while the auto-refresh stopped by itself.
constexpr int StoppedChoice = -1;

using Column = SessionTableModel::Column;

} // namespace
namespace
{

// Below this page height the sessions list keeps the room for itself.
constexpr int ChartMinimumPageHeight = 480;

QString AddressOrAll(const QString& address)
{
    return address.isEmpty() ? QCoreApplication::translate("StatusPage", "All addresses") : address;
}

QString AutoRefreshStopped(const QString& reason)
{
    return QCoreApplication::translate("StatusPage", "Auto-refresh stopped: %1").arg(reason);
}

QLineEdit* MakeReadOnlyField(QWidget* parent, const char* name, int helpContext)
{
    QLineEdit* field = MakeLineEdit(parent, name, helpContext);
    SetFieldEditable(field, false);
    return field;
}

} // namespace

StatusPage::StatusPage(const PageContext& context, QWidget* parent)
    : AdminPage(parent), session_(context.Session), runner_(context.Runner), journal_(context.Journal),
      sessionWalk_(context.SessionWalk)
{
    InitSessionIcons();
    sessions_ = new SessionTableModel({QIcon(QStringLiteral(":/sessions/disconnected.png")),
                                       QIcon(QStringLiteral(":/sessions/lan.png")),
                                       QIcon(QStringLiteral(":/sessions/internet.png"))},
                                      this);
    shownSessions_ = new SessionFilterModel(this);
    shownSessions_->setSourceModel(sessions_);
    autoRefresh_ = std::make_unique<AutoRefresh>(this, [this] { AutoRefreshTick(); });
    // A round the server leaves unanswered is given up; the next one comes at the usual interval.
    noAnswer_ = std::make_unique<NoAnswerWatch>(this, context.ServerEndpoint, session_,
                                                [this](const QString& text)
                                                {
                                                    ShowNoAnswer(text);
                                                    autoRefresh_->Resume();
                                                });
    CreateControls();
    ConnectCommand(RefreshButton, this, &StatusPage::RefreshButtonClick);
    ConnectCommand(StartButton, this, &StatusPage::StartButtonClick);
    ConnectCommand(StopButton, this, &StatusPage::StopButtonClick);
    ConnectCommand(RemoveButton, this, &StatusPage::RemoveButtonClick);
    ConnectCommand(DisconnectButton, this, &StatusPage::DisconnectButtonClick);
    connect(SessionsListView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &StatusPage::SessionsListViewClick);
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(shownSessions_, signal, this, &StatusPage::ShowTotals);
    connect(shownSessions_, &QAbstractItemModel::layoutChanged, this, &StatusPage::ShowTotals);
    connect(shownSessions_, &QAbstractItemModel::modelReset, this, &StatusPage::ShowTotals);
    connect(&runner_, &BackgroundRunner::commandRunningChanged, this,
            [this](bool running) { CommandRunningChanged(running); });
    UpdateSessionButtons();
    ShowTotals();
}

StatusPage::~StatusPage() = default;

void StatusPage::CreateControls()
{
    QGroupBox* frame = MakePageFrame(this, QCoreApplication::translate("StatusPage", "Server Status"));
    // Made first, so Tab reaches the filter before the list it filters.
    QLayout* filterBar = CreateFilterBar(frame);

    SessionsListView = new QTreeView(frame);
    SessionsListView->setObjectName(QStringLiteral("SessionsListView"));
    SessionsListView->setModel(shownSessions_);
    SessionsListView->setRootIsDecorated(false);
    SessionsListView->setUniformRowHeights(true);
    SessionsListView->setSelectionBehavior(QAbstractItemView::SelectRows);
    SessionsListView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    SessionsListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    SessionsListView->setIconSize(QSize(16, 16));
    SessionsListView->setSortingEnabled(true);
    SessionsListView->sortByColumn(-1, Qt::AscendingOrder); // server order until a header is clicked
    int widths[] = {180, 170, 135, 135, 100, 70, 160};
    // A date and time in the locale's format is wider than 135 pixels in many fonts: never cut it.
    const int timeWidth = SessionsListView->fontMetrics().horizontalAdvance(
                              SessionTimeFormat()(EncodeOleDate({2024, 12, 28, 23, 58, 58}))) +
                          SessionsListView->fontMetrics().averageCharWidth() * 2;
    for (Column column : {Column::CreatedOn, Column::LastConnected})
    {
        int& width = widths[SessionTableModel::Number(column)];
        width = std::max(width, timeWidth);
    }
    for (int column = 0; column < SessionTableModel::ColumnCount; ++column)
        SessionsListView->setColumnWidth(column, widths[column]);
    for (int column = SessionTableModel::Number(Column::SessionId); column < SessionTableModel::ColumnCount;
         ++column)
        SessionsListView->setColumnHidden(column, true);
    SessionsListView->setAccessibleName(QCoreApplication::translate("StatusPage", "Sessions"));
    SetHelpContext(SessionsListView, 16);
    new ScrollAnchor(SessionsListView, SessionIdRole);
    CreateHeaderMenu();
    History = new HistoryChart(frame);
    History->setAccessibleName(
        QCoreApplication::translate("StatusPage", "Sessions and memory over the last hour"));

    TotalSessionsEdit = MakeReadOnlyField(frame, "TotalSessionsEdit", 17);
    RemoveButton =
        MakeButton(frame, "RemoveButton", QCoreApplication::translate("StatusPage", "Re&move"), 18);
    TotalConnectedSessionsEdit = MakeReadOnlyField(frame, "TotalConnectedSessionsEdit", 19);
    DisconnectButton =
        MakeButton(frame, "DisconnectButton", QCoreApplication::translate("StatusPage", "&Disconnect"), 20);
    EngineVersionEdit = MakeReadOnlyField(frame, "EngineVersionEdit", 21);
    ServerMemoryEdit = MakeReadOnlyField(frame, "ServerMemoryEdit", 22);
    UpTimeEdit = MakeReadOnlyField(frame, "UpTimeEdit", 23);
    MainAddressEdit = MakeReadOnlyField(frame, "MainAddressEdit", 80);
    MainPortEdit = MakeReadOnlyField(frame, "MainPortEdit", 24);
    AdminAddressEdit = MakeReadOnlyField(frame, "AdminAddressEdit", 81);
    AdminPortEdit = MakeReadOnlyField(frame, "AdminPortEdit", 25);
    RefreshButton =
        MakeButton(frame, "RefreshButton", QCoreApplication::translate("StatusPage", "&Refresh"), 26);
    StartButton = MakeButton(frame, "StartButton", QCoreApplication::translate("StatusPage", "&Start"), 27);
    StopButton = MakeButton(frame, "StopButton", QCoreApplication::translate("StatusPage", "S&top"), 28);

    AutoRefreshComboBox = new QComboBox(frame);
    AutoRefreshComboBox->setObjectName(QStringLiteral("AutoRefreshComboBox"));
    AutoRefreshComboBox->setToolTip(QCoreApplication::translate("StatusPage", "Refresh by itself"));
    NameByLabel(AutoRefreshComboBox, QCoreApplication::translate("StatusPage", "Automatic refresh"));
    for (int seconds : AutoRefresh::Choices)
        AutoRefreshComboBox->addItem(
            seconds == 0 ? QCoreApplication::translate("StatusPage", "Auto off")
                         : QCoreApplication::translate("StatusPage", "Every %1 s").arg(seconds),
            seconds);
    connect(AutoRefreshComboBox, &QComboBox::currentIndexChanged, this, [this] { AutoRefreshChosen(); });
    AutoRefreshStateLabel = new QLabel(frame);
    AutoRefreshStateLabel->setObjectName(QStringLiteral("AutoRefreshStateLabel"));
    AutoRefreshStateLabel->hide();

    auto* grid = new QGridLayout;
    auto addPair = [&](int row, int column, const QString& caption, QLineEdit* field, int labelContext)
    {
        grid->addWidget(MakeLabel(frame, caption, field, labelContext), row, column);
        grid->addWidget(field, row, column + 1);
    };
    addPair(0, 0, QCoreApplication::translate("StatusPage", "Total Sessions"), TotalSessionsEdit, 17);
    grid->addWidget(RemoveButton, 0, 2);
    addPair(0, 3, QCoreApplication::translate("StatusPage", "Total Connected Sessions"),
            TotalConnectedSessionsEdit, 19);
    grid->addWidget(DisconnectButton, 0, 5);
    addPair(1, 0, QCoreApplication::translate("StatusPage", "Engine"), EngineVersionEdit, 21);
    addPair(1, 3, QCoreApplication::translate("StatusPage", "Memory Usage"), ServerMemoryEdit, 22);
    grid->addWidget(RefreshButton, 1, 5);
    addPair(2, 0, QCoreApplication::translate("StatusPage", "Main Address"), MainAddressEdit, 7);
    addPair(2, 3, QCoreApplication::translate("StatusPage", "Main Port"), MainPortEdit, 24);
    grid->addWidget(StartButton, 2, 5);
    addPair(3, 0, QCoreApplication::translate("StatusPage", "Admin Address"), AdminAddressEdit, 8);
    addPair(3, 3, QCoreApplication::translate("StatusPage", "Admin Port"), AdminPortEdit, 25);
    grid->addWidget(StopButton, 3, 5);
    grid->addWidget(MakeLabel(frame, QCoreApplication::translate("StatusPage", "Up Time"), UpTimeEdit, 23), 4,
                    0);
    grid->addWidget(UpTimeEdit, 4, 1, 1, 4);
    // In the command column with Refresh; a column of its own would leave the fields too narrow.
    grid->addWidget(AutoRefreshComboBox, 4, 5);
    // Under the control it speaks for, the whole row wide, so a long server name never widens the page.
    grid->addWidget(AutoRefreshStateLabel, 5, 0, 1, 6, Qt::AlignRight);
    grid->setColumnStretch(1, 3);
    grid->setColumnStretch(4, 2);

    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->addLayout(filterBar);
    frameLayout->addWidget(SessionsListView, 1);
    frameLayout->addWidget(History);
    frameLayout->addLayout(grid);
}

QLayout* StatusPage::CreateFilterBar(QWidget* frame)
{
    SessionFilterEdit = new QLineEdit(frame);
    SessionFilterEdit->setObjectName(QStringLiteral("SessionFilterEdit"));
    SessionFilterEdit->setPlaceholderText(
        QCoreApplication::translate("StatusPage", "Filter by user or address"));
    SessionFilterEdit->setClearButtonEnabled(true);
    connect(SessionFilterEdit, &QLineEdit::textChanged, this,
            [this](const QString& text)
            {
                shownSessions_->SetFilterText(text.trimmed());
                ShowTotals();
            });
    HideDeadCheckBox = new QCheckBox(QCoreApplication::translate("StatusPage", "Hide d&ead sessions"), frame);
    HideDeadCheckBox->setObjectName(QStringLiteral("HideDeadCheckBox"));
    connect(HideDeadCheckBox, &QCheckBox::toggled, this,
            [this](bool hide)
            {
                shownSessions_->SetHideDead(hide);
                ShowTotals();
            });
    ShownSessionsLabel = new QLabel(frame);
    ShownSessionsLabel->setObjectName(QStringLiteral("ShownSessionsLabel"));

    auto* bar = new QHBoxLayout;
    bar->addWidget(
        MakeLabel(frame, QCoreApplication::translate("StatusPage", "F&ilter"), SessionFilterEdit, 16));
    bar->addWidget(SessionFilterEdit, 1);
    bar->addWidget(HideDeadCheckBox);
    bar->addWidget(ShownSessionsLabel);
    return bar;
}

void StatusPage::CreateHeaderMenu()
{
    auto* viewMenu = new SessionViewMenu(SessionsListView, SessionTableModel::Number(Column::SessionId));
    QHeaderView* header = SessionsListView->header();
    header->setSortIndicatorShown(true);
    header->setSectionsClickable(true);
    header->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(header, &QHeaderView::customContextMenuRequested, this,
            [this, header, viewMenu](const QPoint& position)
            {
                QMenu menu(this);
                menu.setObjectName(QStringLiteral("SessionHeaderMenu"));
                viewMenu->FillColumns(&menu);
                menu.exec(header->viewport()->mapToGlobal(position));
            });
}

QWidget* StatusPage::LoginFocusWidget()
{
    return RefreshButton;
}

void StatusPage::ApplyViewSettings(const ViewSettings& settings)
{
    const int index = AutoRefreshComboBox->findData(settings.AutoRefreshSeconds);
    AutoRefreshComboBox->setCurrentIndex(index < 0 ? 0 : index);
    SessionsListView->setColumnHidden(SessionTableModel::Number(Column::SessionId), !settings.ShowSessionId);
    SessionsListView->setColumnHidden(SessionTableModel::Number(Column::Mode), !settings.ShowMode);
    SessionsListView->setColumnHidden(SessionTableModel::Number(Column::State), !settings.ShowState);
}

void StatusPage::StoreViewSettings(ViewSettings& settings) const
{
    settings.AutoRefreshSeconds = autoRefresh_->Seconds();
    settings.ShowSessionId = !SessionsListView->isColumnHidden(SessionTableModel::Number(Column::SessionId));
    settings.ShowMode = !SessionsListView->isColumnHidden(SessionTableModel::Number(Column::Mode));
    settings.ShowState = !SessionsListView->isColumnHidden(SessionTableModel::Number(Column::State));
}

void StatusPage::StopRepeatedWork()
{
    autoRefresh_->Stop();
    noAnswer_->Stop();
    ShowNoAnswer({});
    ShowAutoRefreshStopped(false);
    History->Clear();
    sessionWalk_->Forget(); // the next login may be to another server
}

void StatusPage::RefreshPage()
{
    RefreshButton->click(); // nothing while it is greyed
}

QWidget* StatusPage::SearchBox()
{
    return SessionFilterEdit;
}

void StatusPage::ShowConnectionLost(bool lost)
{
    SessionsListView->setEnabled(!lost);
}

std::function<void()> StatusPage::RefreshAtLogin(JobContext& job)
{
    auto status = std::make_shared<StatusSnapshot>(CollectStatus(session_, job));
    if (status->Failure)
        std::rethrow_exception(status->Failure);
    return [this, status]
    {
        ShowStatus(*status);
        autoRefresh_->Resume();
    };
}

void StatusPage::ShowStatus(StatusSnapshot& status)
{
    if (status.Rows && !status.Failure)
    {
        StringList addresses;
        for (const SessionRow& row : *status.Rows)
            addresses.push_back(ToStd(row.Address));
        sessionWalk_->Remember(std::move(addresses));
    }
    ShowValues(status);
    if (status.Failure)
        std::rethrow_exception(status.Failure);
    const QDateTime now = QDateTime::currentDateTime();
    History->AddSample({now, status.ConnectedCount.value_or(0), status.SessionCount.value_or(0),
                        status.MemoryMegabytes.value_or(0)});
    runner_.ReportRefreshed(now, status.ExchangeMs);
}

void StatusPage::ShowValues(StatusSnapshot& status)
{
    if (status.EngineVersion)
        EngineVersionEdit->setText(
            QCoreApplication::translate("StatusPage", "KORVEL Version %1").arg(*status.EngineVersion));
    if (status.MemoryMegabytes)
        ServerMemoryEdit->setText(FormatMemoryUsage(*status.MemoryMegabytes));
    if (status.MainAddress)
        MainAddressEdit->setText(AddressOrAll(*status.MainAddress));
    if (status.MainPort)
        MainPortEdit->setText(QString::number(*status.MainPort));
    if (status.AdminAddress)
        AdminAddressEdit->setText(AddressOrAll(*status.AdminAddress));
    if (status.AdminPort)
        AdminPortEdit->setText(QString::number(*status.AdminPort));
    if (status.SessionCount)
        TotalSessionsEdit->setText(QString::number(*status.SessionCount));
    if (status.Rows)
        sessions_->Update(std::move(*status.Rows));
    if (status.UpTime)
    {
        stopped_ = status.Stopped();
        UpTimeEdit->setText(stopped_ ? QCoreApplication::translate("StatusPage", "Stopped")
                                     : FormatUpTime(*status.UpTime));
        TotalConnectedSessionsEdit->setText(QString::number(status.ConnectedCount.value_or(0)));
    }
    UpdateSessionButtons();
    ShowTotals();
}

void StatusPage::ShowTotals()
{
    ShownSessionsLabel->setText(QCoreApplication::translate("StatusPage", "Shown: %1 / %2")
                                    .arg(shownSessions_->rowCount())
                                    .arg(sessions_->rowCount()));
}

void StatusPage::UpdateSessionButtons()
{
    const std::vector<Selected> selected = SelectedSessions();
    const bool anyConnected =
        std::any_of(selected.begin(), selected.end(), [](const Selected& row) { return row.Connected; });
    RemoveButton->setEnabled(!commandRunning_ && !selected.empty());
    DisconnectButton->setEnabled(!commandRunning_ && anyConnected);
    RefreshButton->setEnabled(!commandRunning_);
    StartButton->setEnabled(!commandRunning_ && stopped_);
    StopButton->setEnabled(!commandRunning_ && !stopped_);
}

void StatusPage::CommandRunningChanged(bool running)
{
    commandRunning_ = running;
    UpdateSessionButtons();
}

std::vector<StatusPage::Selected> StatusPage::SelectedSessions() const
{
    std::vector<Selected> selected;
    for (const QModelIndex& index : SessionsListView->selectionModel()->selectedRows())
        selected.push_back({index.data(SessionIdRole).toInt(), index.data(ConnectedRole).toBool()});
    return selected;
}

void StatusPage::ClearSelection()
{
    SessionsListView->selectionModel()->clear();
    UpdateSessionButtons();
}

void StatusPage::SessionsListViewClick()
{
    UpdateSessionButtons();
}

void StatusPage::showEvent(QShowEvent* event)
{
    AdminPage::showEvent(event);
    window()->removeEventFilter(this);
    window()->installEventFilter(this);
    autoRefresh_->PageShown();
}

void StatusPage::resizeEvent(QResizeEvent* event)
{
    AdminPage::resizeEvent(event);
    // The chart gives way to the list when the window is too small for both to be useful.
    History->setVisible(height() >= ChartMinimumPageHeight);
}

bool StatusPage::eventFilter(QObject* watched, QEvent* event)
{
    // Coming back from a minimised window resumes a paused auto-refresh.
    if (watched == window() && event->type() == QEvent::WindowStateChange && !window()->isMinimized())
        autoRefresh_->PageShown();
    return AdminPage::eventFilter(watched, event);
}

void StatusPage::AutoRefreshTick()
{
    std::shared_ptr<Job> round = runner_.Submit<StatusSnapshot>(
        this, {.Kind = Priority::Background},
        [this](JobContext& job) { return CollectStatus(session_, job); },
        [this](StatusSnapshot status)
        {
            noAnswer_->Stop();
            if (!status.Failure)
            {
                ShowNoAnswer({});
                ShowStatus(status);
                autoRefresh_->Finished(status.Seconds);
                return;
            }
            // No error box: the server went away while nobody asked. One message, and no more ticks.
            autoRefresh_->Stop();
            ShowAutoRefreshStopped(true);
            ShowValues(status);
            QString reason;
            try
            {
                std::rethrow_exception(status.Failure);
            }
            catch (const std::exception& error)
            {
                reason = QString::fromUtf8(error.what());
            }
            runner_.ReportServerLost(AutoRefreshStopped(reason));
        },
        [this](std::exception_ptr error)
        {
            noAnswer_->Stop();
            // Pre-empted by a command: the next tick comes as usual. Anything else ends the auto-refresh.
            if (IsPreempted(error))
                autoRefresh_->Resume();
            else
                autoRefresh_->Stop();
        });
    if (round)
        return noAnswer_->Start(std::move(round), autoRefresh_->Seconds());
    // Busy with a command: try again an interval later; logged out: stop.
    if (session_.Active())
        autoRefresh_->Resume();
    else
        autoRefresh_->Stop();
}

void StatusPage::ShowNoAnswer(const QString& text)
{
    AutoRefreshStateLabel->setText(text);
    AutoRefreshStateLabel->setVisible(!text.isEmpty());
}

void StatusPage::ShowAutoRefreshStopped(bool stopped)
{
    const int stoppedIndex = AutoRefreshComboBox->findData(StoppedChoice);
    const QSignalBlocker quiet(AutoRefreshComboBox);
    if (stopped && stoppedIndex < 0)
    {
        AutoRefreshComboBox->addItem(QCoreApplication::translate("StatusPage", "Stopped"), StoppedChoice);
        AutoRefreshComboBox->setCurrentIndex(AutoRefreshComboBox->count() - 1);
    }
    else if (!stopped && stoppedIndex >= 0)
    {
        AutoRefreshComboBox->removeItem(stoppedIndex);
        AutoRefreshComboBox->setCurrentIndex(AutoRefreshComboBox->findData(autoRefresh_->Seconds()));
    }
}

void StatusPage::AutoRefreshChosen()
{
    const int seconds = AutoRefreshComboBox->currentData().toInt();
    if (seconds == StoppedChoice)
        return;
    // Choosing an interval after the auto-refresh stopped starts it again.
    if (const int stoppedIndex = AutoRefreshComboBox->findData(StoppedChoice); stoppedIndex >= 0)
    {
        const QSignalBlocker quiet(AutoRefreshComboBox);
        AutoRefreshComboBox->removeItem(stoppedIndex);
        autoRefresh_->Resume();
    }
    autoRefresh_->SetSeconds(seconds);
}

} // namespace korvel::admin
