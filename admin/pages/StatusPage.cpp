#include "admin/pages/StatusPage.h"

#include "admin/common/Command.h"
#include "admin/common/Dialogs.h"
#include "admin/common/Help.h"
#include "admin/pages/PageFields.h"
#include "admin/pages/StatusFormat.h"
#include "session/KORVELSession.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

// Resources of a static library are registered by hand, outside any namespace.
static void InitSessionIcons()
{
    Q_INIT_RESOURCE(SessionIcons);
}

namespace korvel::admin
{
namespace
{

QString AddressOrAll(const std::string& address)
{
    return address.empty() ? QStringLiteral("All addresses") : FromStd(address);
}

QLineEdit* MakeReadOnlyField(QWidget* parent, const char* name, int helpContext)
{
    QLineEdit* field = MakeLineEdit(parent, name, helpContext);
    SetFieldEditable(field, false);
    return field;
}

} // namespace

TStatusPage::TStatusPage(const PageContext& context, QWidget* parent)
    : AdminPage(parent), session_(context.Session)
{
    InitSessionIcons();
    sessionIcons_ = {QIcon(QStringLiteral(":/sessions/disconnected.png")),
                     QIcon(QStringLiteral(":/sessions/lan.png")),
                     QIcon(QStringLiteral(":/sessions/internet.png"))};
    CreateControls();
    ConnectCommand(RefreshButton, this, &TStatusPage::RefreshButtonClick);
    ConnectCommand(StartButton, this, &TStatusPage::StartButtonClick);
    ConnectCommand(StopButton, this, &TStatusPage::StopButtonClick);
    ConnectCommand(RemoveButton, this, &TStatusPage::RemoveButtonClick);
    ConnectCommand(DisconnectButton, this, &TStatusPage::DisconnectButtonClick);
    connect(SessionsListView, &QTreeWidget::itemSelectionChanged, this, &TStatusPage::SessionsListViewClick);
    UpdateSessionButtons();
}

void TStatusPage::CreateControls()
{
    QGroupBox* frame = MakePageFrame(this, QStringLiteral("Server Status"));

    SessionsListView = new QTreeWidget(frame);
    SessionsListView->setObjectName(QStringLiteral("SessionsListView"));
    SessionsListView->setHeaderLabels({QStringLiteral("User Name"), QStringLiteral("Address"),
                                       QStringLiteral("Created On"), QStringLiteral("Last Connected")});
    SessionsListView->setRootIsDecorated(false);
    SessionsListView->setUniformRowHeights(true);
    SessionsListView->setSelectionBehavior(QAbstractItemView::SelectRows);
    SessionsListView->setSelectionMode(QAbstractItemView::SingleSelection);
    SessionsListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    SessionsListView->setIconSize(QSize(16, 16));
    const int widths[] = {180, 170, 135, 135};
    for (int column = 0; column < 4; ++column)
        SessionsListView->setColumnWidth(column, widths[column]);
    SetHelpContext(SessionsListView, 16);

    TotalSessionsEdit = MakeReadOnlyField(frame, "TotalSessionsEdit", 17);
    RemoveButton = MakeButton(frame, "RemoveButton", QStringLiteral("Re&move"), 18);
    TotalConnectedSessionsEdit = MakeReadOnlyField(frame, "TotalConnectedSessionsEdit", 19);
    DisconnectButton = MakeButton(frame, "DisconnectButton", QStringLiteral("&Disconnect"), 20);
    EngineVersionEdit = MakeReadOnlyField(frame, "EngineVersionEdit", 21);
    ServerMemoryEdit = MakeReadOnlyField(frame, "ServerMemoryEdit", 22);
    UpTimeEdit = MakeReadOnlyField(frame, "UpTimeEdit", 23);
    MainAddressEdit = MakeReadOnlyField(frame, "MainAddressEdit", 80);
    MainPortEdit = MakeReadOnlyField(frame, "MainPortEdit", 24);
    AdminAddressEdit = MakeReadOnlyField(frame, "AdminAddressEdit", 81);
    AdminPortEdit = MakeReadOnlyField(frame, "AdminPortEdit", 25);
    RefreshButton = MakeButton(frame, "RefreshButton", QStringLiteral("&Refresh"), 26);
    StartButton = MakeButton(frame, "StartButton", QStringLiteral("&Start"), 27);
    StopButton = MakeButton(frame, "StopButton", QStringLiteral("S&top"), 28);

    auto* grid = new QGridLayout;
    auto addPair = [&](int row, int column, const QString& caption, QLineEdit* field, int labelContext)
    {
        grid->addWidget(MakeLabel(frame, caption, field, labelContext), row, column);
        grid->addWidget(field, row, column + 1);
    };
    addPair(0, 0, QStringLiteral("Total Sessions"), TotalSessionsEdit, 17);
    grid->addWidget(RemoveButton, 0, 2);
    addPair(0, 3, QStringLiteral("Total Connected Sessions"), TotalConnectedSessionsEdit, 19);
    grid->addWidget(DisconnectButton, 0, 5);
    addPair(1, 0, QStringLiteral("Engine"), EngineVersionEdit, 21);
    addPair(1, 3, QStringLiteral("Memory Usage"), ServerMemoryEdit, 22);
    grid->addWidget(RefreshButton, 1, 5);
    addPair(2, 0, QStringLiteral("Main Address"), MainAddressEdit, 7);
    addPair(2, 3, QStringLiteral("Main Port"), MainPortEdit, 24);
    grid->addWidget(StartButton, 2, 5);
    addPair(3, 0, QStringLiteral("Admin Address"), AdminAddressEdit, 8);
    addPair(3, 3, QStringLiteral("Admin Port"), AdminPortEdit, 25);
    grid->addWidget(StopButton, 3, 5);
    grid->addWidget(MakeLabel(frame, QStringLiteral("Up Time"), UpTimeEdit, 23), 4, 0);
    grid->addWidget(UpTimeEdit, 4, 1, 1, 5);
    grid->setColumnStretch(1, 3);
    grid->setColumnStretch(4, 2);

    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->addWidget(SessionsListView, 1);
    frameLayout->addLayout(grid);
}

QWidget* TStatusPage::LoginFocusWidget()
{
    return RefreshButton;
}

void TStatusPage::RefreshStatus()
{
    std::string text;
    session_.GetServerEngineVersion(text);
    EngineVersionEdit->setText(QStringLiteral("KORVEL Version ") + FromStd(text));
    ServerMemoryEdit->setText(FormatMemoryUsage(session_.GetServerMemoryUsage()));
    session_.GetServerMainAddress(text);
    MainAddressEdit->setText(AddressOrAll(text));
    MainPortEdit->setText(QString::number(session_.GetServerMainPort()));
    session_.GetServerAdminAddress(text);
    AdminAddressEdit->setText(AddressOrAll(text));
    AdminPortEdit->setText(QString::number(session_.GetServerAdminPort()));
    const std::int32_t sessionCount = session_.GetServerSessionCount();
    TotalSessionsEdit->setText(QString::number(sessionCount));
    FillSessionsList(sessionCount);
    UpdateSessionButtons();
    ShowUpTime();
}

void TStatusPage::FillSessionsList(int sessionCount)
{
    SessionsListView->clear();
    QList<QTreeWidgetItem*> rows;
    const SessionTimeFormat formatTime;
    // Rows built so far are shown even when a later request fails.
    auto addRows = [&] { SessionsListView->addTopLevelItems(rows); };
    try
    {
        for (std::int32_t number = 1; number <= sessionCount; ++number)
        {
            std::int32_t id = 0;
            double createdOn = 0;
            double lastConnected = 0;
            std::string userName, address, detail;
            bool internet = false;
            if (!session_.GetServerSessionInfo(number, id, createdOn, lastConnected, userName, address,
                                               internet, detail))
                continue;
            const bool connected = !address.empty();
            auto* row = new QTreeWidgetItem(
                {FromStd(userName),
                 connected ? FromStd(address)
                           : QStringLiteral("Disconnected (") + FromStd(detail) + QLatin1Char(')'),
                 formatTime(createdOn), formatTime(lastConnected)});
            row->setIcon(0, sessionIcons_[connected ? (internet ? siInternet : siLan) : siDisconnected]);
            row->setData(0, SessionIdRole, id);
            row->setData(0, ConnectedRole, connected);
            rows << row;
        }
    }
    catch (...)
    {
        addRows();
        throw;
    }
    addRows();
}

void TStatusPage::ShowUpTime()
{
    const std::int32_t upTime = session_.GetServerUpTime();
    const bool stopped = upTime == -1;
    if (stopped)
    {
        UpTimeEdit->setText(QStringLiteral("Stopped"));
        TotalConnectedSessionsEdit->setText(QStringLiteral("0"));
    }
    else
    {
        UpTimeEdit->setText(FormatUpTime(upTime));
        TotalConnectedSessionsEdit->setText(QString::number(session_.GetServerConnectedSessionCount()));
    }
    StartButton->setEnabled(stopped);
    StopButton->setEnabled(!stopped);
}

void TStatusPage::UpdateSessionButtons()
{
    const QList<QTreeWidgetItem*> selected = SessionsListView->selectedItems();
    RemoveButton->setEnabled(!selected.isEmpty());
    DisconnectButton->setEnabled(!selected.isEmpty() && selected.first()->data(0, ConnectedRole).toBool());
}

void TStatusPage::RefreshButtonClick()
{
    RefreshStatus();
}

void TStatusPage::StartButtonClick()
{
    RefreshStatus();
    if (!StartButton->isEnabled())
        return;
    session_.StartServer();
    RefreshStatus();
}

void TStatusPage::StopButtonClick()
{
    RefreshStatus();
    if (!StopButton->isEnabled())
        return;
    if (TotalConnectedSessionsEdit->text().toInt() >= 1 &&
        CurrentDialogs().AskConfirmationYesNo(
            this,
            QStringLiteral("There are active sessions currently connected and stopping the server will "
                           "disconnect these active sessions, are you sure you want to stop the server ?")) !=
            Answer::Yes)
        return;
    session_.StopServer();
    RefreshStatus();
}

void TStatusPage::SessionsListViewClick()
{
    UpdateSessionButtons();
}

void TStatusPage::RemoveButtonClick()
{
    const QList<QTreeWidgetItem*> selected = SessionsListView->selectedItems();
    if (selected.isEmpty())
        return;
    const QString question =
        selected.first()->data(0, ConnectedRole).toBool()
            ? QStringLiteral(
                  "This session is currently connected and may be in use by another application.  "
                  "Removing this session could cause fatal errors in any application that is using "
                  "this session. Are you sure you want to remove this session ?")
            : QStringLiteral("Are you sure you want to remove this session ?");
    const std::int32_t id = selected.first()->data(0, SessionIdRole).toInt();
    if (CurrentDialogs().AskConfirmationYesNo(this, question) != Answer::Yes)
        return;
    session_.RemoveServerSession(id);
    RefreshStatus();
}

void TStatusPage::DisconnectButtonClick()
{
    const QList<QTreeWidgetItem*> selected = SessionsListView->selectedItems();
    if (selected.isEmpty())
        return;
    const std::int32_t id = selected.first()->data(0, SessionIdRole).toInt();
    if (CurrentDialogs().AskConfirmationYesNo(
            this,
            QStringLiteral("This session is currently connected and may be in use by another application.  "
                           "Disconnecting this session could cause fatal errors in any application that is "
                           "using this session. Are you sure you want to disconnect this session ?")) !=
        Answer::Yes)
        return;
    session_.DisconnectServerSession(id);
    RefreshStatus();
}

} // namespace korvel::admin
