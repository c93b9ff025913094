#include "testing/LoadClients.h"
#include "testing/admin/PaintRecorder.h"
#include "testing/admin/PopupKeys.h"
#include "testing/admin/WaitFor.h"
#include "tests/admin/pages/status/StatusFixture.h"

#include "admin/pages/status/HistoryChart.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>
#include <QSignalSpy>

#include <set>

namespace korvel::test
{
namespace
{

using admin::Answer;

TEST_F(StatusPageTest, RefreshShowsTheServerAndItsSessions)
{
    LoadClients load(*server, 2);
    RefreshAtLogin(); // the login command's own refresh
    EXPECT_EQ(Text("EngineVersionEdit"), "KORVEL Version 3.21");
    EXPECT_TRUE(Text("ServerMemoryEdit").endsWith(" Mb"));
    EXPECT_EQ(Text("MainPortEdit"), QString::number(server->MainPort()));
    EXPECT_EQ(Text("AdminPortEdit"), QString::number(server->AdminPort()));
    EXPECT_FALSE(Text("MainAddressEdit").isEmpty());
    EXPECT_EQ(Text("TotalSessionsEdit"), QString::number(session->GetServerSessionCount()));
    EXPECT_GE(RowCount(), 2);
    EXPECT_EQ(Text("TotalConnectedSessionsEdit"), QString::number(session->GetServerConnectedSessionCount()));
    EXPECT_FALSE(Enabled("StartButton"));
    EXPECT_TRUE(Enabled("StopButton"));
    EXPECT_FALSE(Enabled("RemoveButton"));
    EXPECT_FALSE(Enabled("DisconnectButton"));
    EXPECT_EQ(PageAt(StatusPage)->LoginFocusWidget(), Find("RefreshButton"));

    const int row = RowWith(true);
    ASSERT_GE(row, 0);
    EXPECT_EQ(Cell(row, 0), "admin");
    EXPECT_EQ(Cell(row, 1), "127.0.0.1");
    EXPECT_FALSE(Cell(row, 2).isEmpty());
    EXPECT_FALSE(Shown()->index(row, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
    // Four columns are shown at first; the others wait in the header's menu.
    QStringList shownCaptions;
    for (int column = 0; column < Shown()->columnCount(); ++column)
        if (!Sessions()->isColumnHidden(column))
            shownCaptions << Shown()->headerData(column, Qt::Horizontal).toString();
    EXPECT_EQ(shownCaptions, (QStringList{"User Name", "Address", "Created On", "Last Connected"}));
    EXPECT_EQ(Find<QLabel>("ShownSessionsLabel")->text(), QString("Shown: %1 / %1").arg(RowCount()));

    // The same through the button, which goes through the runner.
    Refresh();
    EXPECT_EQ(Text("TotalSessionsEdit"), QString::number(RowCount()));
    EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join('\n').toStdString();
}

TEST_F(StatusPageTest, DisconnectAndRemoveAskFirstAndRebuildTheListWithoutSelection)
{
    LoadClients load(*server, 2);
    Refresh();
    ASSERT_GE(RowWith(true), 0);
    ClickRow(RowWith(true));
    EXPECT_TRUE(Enabled("RemoveButton"));
    EXPECT_TRUE(Enabled("DisconnectButton"));
    dialogs.Answers = {Answer::No, Answer::Yes};
    Command("DisconnectButton");
    EXPECT_EQ(RowWith(false), -1);
    Command("DisconnectButton");
    ASSERT_EQ(dialogs.Boxes.size(), 2u);
    EXPECT_EQ(dialogs.Boxes[0].BoxKind, ScriptedDialogs::Kind::ConfirmationYesNo);
    EXPECT_EQ(
        dialogs.Boxes[0].Text,
        "This session is currently connected and may be in use by another application.  Disconnecting this "
        "session could cause fatal errors in any application that is using this session. Are you sure you "
        "want to disconnect this session ?");
    EXPECT_TRUE(SelectedIds().empty());
    EXPECT_FALSE(Enabled("RemoveButton"));
    EXPECT_FALSE(Enabled("DisconnectButton"));

    const int disconnected = RowWith(false);
    ASSERT_GE(disconnected, 0);
    EXPECT_TRUE(Cell(disconnected, 1).startsWith("Disconnected ("));
    EXPECT_TRUE(Cell(disconnected, 1).endsWith(")"));
    ClickRow(disconnected);
    EXPECT_TRUE(Enabled("RemoveButton"));
    EXPECT_FALSE(Enabled("DisconnectButton"));
    const int rows = RowCount();
    dialogs.Answers = {Answer::Yes};
    Command("RemoveButton");
    EXPECT_EQ(dialogs.Boxes.back().Text, "Are you sure you want to remove this session ?");
    EXPECT_EQ(RowCount(), rows - 1);

    ClickRow(RowWith(true));
    dialogs.Answers = {Answer::No};
    Command("RemoveButton");
    EXPECT_EQ(
        dialogs.Boxes.back().Text,
        "This session is currently connected and may be in use by another application.  Removing this "
        "session could cause fatal errors in any application that is using this session. Are you sure you "
        "want to remove this session ?");
    EXPECT_EQ(RowCount(), rows - 1);
    EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join('\n').toStdString();
}

TEST_F(StatusPageTest, StopAsksWhileSessionsAreConnectedAndStartRestartsTheListener)
{
    {
        LoadClients load(*server, 1);
        Refresh();
        dialogs.Answers = {Answer::No};
        Command("StopButton");
        EXPECT_EQ(
            dialogs.Boxes.back().Text,
            "There are active sessions currently connected and stopping the server will disconnect these "
            "active sessions, are you sure you want to stop the server ?");
        EXPECT_NE(Text("UpTimeEdit"), "Stopped");
        EXPECT_NE(session->GetServerUpTime(), -1);
    }
    // korvel-load has logged out: stopping now asks nothing.
    Refresh();
    EXPECT_EQ(Text("TotalConnectedSessionsEdit"), "0");
    Command("StopButton");
    EXPECT_EQ(dialogs.Boxes.size(), 1u);
    EXPECT_EQ(Text("UpTimeEdit"), "Stopped");
    EXPECT_EQ(Text("TotalConnectedSessionsEdit"), "0");
    EXPECT_TRUE(Enabled("StartButton"));
    EXPECT_FALSE(Enabled("StopButton"));
    Command("StartButton");
    EXPECT_NE(Text("UpTimeEdit"), "Stopped");
    EXPECT_FALSE(Enabled("StartButton"));
    EXPECT_TRUE(Enabled("StopButton"));
    EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join('\n').toStdString();
}

TEST_F(StatusPageTest, CommandControlsAreDisabledWhileACommandRunsAndTheWindowStillAnswers)
{
    LoadClients load(*server, 50);
    Refresh();
    Press("RefreshButton");
    EXPECT_FALSE(Enabled("RefreshButton"));
    EXPECT_FALSE(Enabled("StopButton"));
    // The window keeps painting and taking input while the refresh waits on the server.
    Find<QLineEdit>("SessionFilterEdit")->setFocus();
    QTest::keyClicks(Find<QLineEdit>("SessionFilterEdit"), "adm");
    EXPECT_EQ(Find<QLineEdit>("SessionFilterEdit")->text(), "adm");
    WaitForRunner();
    EXPECT_TRUE(Enabled("RefreshButton"));
    EXPECT_TRUE(Enabled("StopButton"));
    EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join('\n').toStdString();
}

TEST_F(StatusPageTest, RefreshKeepsSelectionScrollAndSortWhileSessionsComeAndGo)
{
    // The leaving sessions log in as their own user, so the rows selected below are staying ones.
    session->AddServerUser("leaver", "leaver-pw", "", false);
    auto staying = std::make_unique<LoadClients>(*server, 40);
    auto leaving = std::make_unique<LoadClients>(*server, 5, LoadKind{false, "leaver", "leaver-pw"});
    Refresh();
    // Sorted by session id, newest first, through the header as the user does.
    Sessions()->setColumnHidden(admin::SessionTableModel::Number(admin::SessionTableModel::Column::SessionId),
                                false);
    QHeaderView* header = Sessions()->header();
    const int idSection = admin::SessionTableModel::Number(admin::SessionTableModel::Column::SessionId);
    for (int click = 0; click < 2; ++click)
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(header->sectionViewportPosition(idSection) + 5, header->height() / 2));
    ASSERT_EQ(header->sortIndicatorSection(), idSection);
    ASSERT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);

    std::vector<int> stayingRows;
    for (int row = 0; row < RowCount() && stayingRows.size() < 2; row += 3)
        if (Cell(row, 0) == "admin")
            stayingRows.push_back(row);
    ASSERT_EQ(stayingRows.size(), 2u);
    ClickRow(stayingRows[0]);
    ClickRow(stayingRows[1], Qt::ControlModifier);
    const std::set<std::int32_t> selected = SelectedIds();
    ASSERT_EQ(selected.size(), 2u);
    // A staying session at the top, scrolled down.
    int topRow = 8;
    while (topRow < RowCount() && Cell(topRow, 0) != "admin")
        ++topRow;
    Sessions()->verticalScrollBar()->setValue(topRow); // a row a step
    auto topSession = [this]
    { return Sessions()->indexAt(QPoint(1, 1)).data(admin::StatusPage::SessionIdRole); };
    const QVariant top = topSession();

    // Nothing changed: the model says so by not changing.
    auto* model = Shown();
    QSignalSpy changed(model, &QAbstractItemModel::dataChanged);
    QSignalSpy inserted(model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy reset(model, &QAbstractItemModel::modelReset);
    QSignalSpy layout(model, &QAbstractItemModel::layoutChanged);
    Refresh();
    EXPECT_EQ(changed.count() + inserted.count() + removed.count() + reset.count() + layout.count(), 0);

    // Some go, some come, above the rows in view: the new ones take their sorted place and what is on screen
    // stays where it is.
    leaving.reset();
    LoadClients arriving(*server, 3);
    const int before = RowCount();
    Refresh();
    EXPECT_EQ(RowCount(), before - 5 + 3);
    EXPECT_EQ(SelectedIds(), selected);
    EXPECT_EQ(topSession(), top);
    EXPECT_EQ(header->sortIndicatorSection(), idSection);
    for (int row = 1; row < RowCount(); ++row)
        ASSERT_GT(IdOf(row - 1), IdOf(row)) << "row " << row;
    EXPECT_TRUE(Enabled("RemoveButton"));
    EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join('\n').toStdString();
}

TEST_F(StatusPageTest, FilterAndHideDeadShowWhatIsAskedAndCountShownOfTotal)
{
    LoadClients load(*server, 4);
    Refresh();
    const int total = RowCount();
    // Two dead sessions.
    ClickRow(RowWith(true));
    dialogs.Answers = {Answer::Yes};
    Command("DisconnectButton");
    ClickRow(RowWith(true));
    dialogs.Answers = {Answer::Yes};
    Command("DisconnectButton");
    ASSERT_EQ(RowCount(), total);

    QLineEdit* filter = Find<QLineEdit>("SessionFilterEdit");
    QTest::keyClicks(filter, "ADM"); // any case
    EXPECT_EQ(RowCount(), total);
    filter->clear();
    QTest::keyClicks(filter, "127.0.0");
    EXPECT_EQ(RowCount(), total - 2) << "dead sessions have no address";
    filter->clear();
    QTest::keyClicks(filter, "nobody");
    EXPECT_EQ(RowCount(), 0);
    EXPECT_EQ(Find<QLabel>("ShownSessionsLabel")->text(), QString("Shown: 0 / %1").arg(total));
    filter->clear();

    QCheckBox* hideDead = Find<QCheckBox>("HideDeadCheckBox");
    QTest::mouseClick(hideDead, Qt::LeftButton, Qt::NoModifier, QPoint(6, hideDead->height() / 2));
    ASSERT_TRUE(hideDead->isChecked());
    EXPECT_EQ(RowCount(), total - 2);
    EXPECT_EQ(RowWith(false), -1);
    EXPECT_EQ(Find<QLabel>("ShownSessionsLabel")->text(),
              QString("Shown: %1 / %2").arg(total - 2).arg(total));
    // A refresh keeps the filter.
    Refresh();
    EXPECT_EQ(RowWith(false), -1);
}

TEST_F(StatusPageTest, BulkDisconnectAsksOnceSkipsDeadSessionsAndReportsAPartialFailure)
{
    LoadClients load(*server, 5);
    Refresh();
    // One dead session among the selection.
    ClickRow(RowWith(true));
    dialogs.Answers = {Answer::Yes};
    Command("DisconnectButton");
    std::vector<std::int32_t> connected;
    for (int row = 0; row < RowCount(); ++row)
        if (ConnectedAt(row) && Cell(row, 1) == "127.0.0.1" && connected.size() < 3)
            connected.push_back(IdOf(row));
    ASSERT_EQ(connected.size(), 3u);
    ClickRow(RowWith(false));
    for (std::int32_t id : connected)
        ClickRow(RowOf(id), Qt::ControlModifier);
    ASSERT_EQ(SelectedIds().size(), 4u);
    // Another administrator removes one of them meanwhile.
    ASSERT_TRUE(session->RemoveServerSession(connected[1]));

    dialogs.Boxes.clear();
    dialogs.Answers = {Answer::Yes};
    Command("DisconnectButton");
    ASSERT_EQ(dialogs.Boxes.size(), 2u);
    EXPECT_EQ(
        dialogs.Boxes[0].Text,
        "These sessions are currently connected and may be in use by other applications.  Disconnecting "
        "these sessions could cause fatal errors in any application that is using these sessions. Are "
        "you sure you want to disconnect these 3 sessions ?");
    EXPECT_EQ(dialogs.Boxes[1].BoxKind, ScriptedDialogs::Kind::Information);
    EXPECT_TRUE(dialogs.Boxes[1].Text.startsWith(
        "Disconnected 2 of 3 sessions. 1 selected sessions had no connection and were skipped."));
    EXPECT_TRUE(dialogs.Boxes[1].Text.contains(QString::number(connected[1])));
    for (std::int32_t id : {connected[0], connected[2]})
    {
        ASSERT_GE(RowOf(id), 0);
        EXPECT_FALSE(ConnectedAt(RowOf(id)));
    }
    EXPECT_TRUE(SelectedIds().empty());

    // Removing several asks in the plural too.
    ClickRow(RowOf(connected[0]));
    ClickRow(RowOf(connected[2]), Qt::ControlModifier);
    dialogs.Answers = {Answer::Yes};
    Command("RemoveButton");
    EXPECT_EQ(dialogs.Boxes[2].Text, "Are you sure you want to remove these 2 sessions ?");
    EXPECT_EQ(dialogs.Boxes[3].Text, "Removed 2 of 2 sessions.");
    EXPECT_EQ(RowOf(connected[0]), -1);
    EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join('\n').toStdString();
}

TEST_F(StatusPageTest, OlderServersShowAllAddressesAndAnEmptyDisconnectionDetail)
{
    for (const char* version : {"3.03", "3.08", "3.11"})
    {
        SCOPED_TRACE(version);
        RefServerOptions options;
        options.EngineVersion = version;
        StartServer(options);
        window->show();
        LoadClients load(*server, 1);
        Refresh();
        ClickRow(RowWith(true));
        dialogs.Answers = {Answer::Yes};
        Command("DisconnectButton");
        EXPECT_EQ(Text("EngineVersionEdit"), QStringLiteral("KORVEL Version ") + version);
        if (QString(version) < "3.11")
        {
            EXPECT_EQ(Text("MainAddressEdit"), "All addresses");
            EXPECT_EQ(Text("AdminAddressEdit"), "All addresses");
        }
        ASSERT_GE(RowWith(false), 0);
        if (QString(version) < "3.08")
        {
            EXPECT_EQ(Cell(RowWith(false), 1), "Disconnected ()");
        }
        EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join('\n').toStdString();
    }
}

TEST_F(StatusPageTest, ARefreshRepaintsOnlyTheRowsOfSessionsThatChanged)
{
    LoadClients load(*server, 30);
    Refresh();
    PaintRecorder::Flush();
    PaintRecorder painted(Sessions()->viewport());
    const int viewHeight = Sessions()->viewport()->height();
    // The first connected session at or after `from`.
    auto connectedFrom = [&](int from)
    {
        while (from < RowCount() && !ConnectedAt(from))
            ++from;
        return from;
    };

    for (bool sorted : {false, true})
    {
        SCOPED_TRACE(sorted ? "sorted by user name" : "in server order");
        if (sorted) // the sort order is re-applied after every change; a row that keeps its place stays put
        {
            QHeaderView* header = Sessions()->header();
            QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                              QPoint(header->sectionViewportPosition(0) + 5, header->height() / 2));
            ASSERT_EQ(header->sortIndicatorSection(), 0);
            PaintRecorder::Flush();
        }

        painted.Clear();
        Refresh();
        PaintRecorder::Flush();
        EXPECT_EQ(painted.Paints(), 0) << "nothing changed, yet the list was repainted";

        // Another administrator disconnects a session in view: only its row is repainted.
        const int row = connectedFrom(1);
        const QRect cell = Sessions()->visualRect(Shown()->index(row, 1));
        ASSERT_LT(cell.bottom(), viewHeight);
        const std::int32_t id = IdOf(row);
        ASSERT_TRUE(session->DisconnectServerSession(id));
        painted.Clear();
        Refresh();
        PaintRecorder::Flush();
        ASSERT_EQ(IdOf(row), id) << "the session kept its place";
        EXPECT_FALSE(ConnectedAt(row));
        const QRect rowBand(0, cell.top(), Sessions()->viewport()->width(), cell.height());
        EXPECT_TRUE(painted.Painted().contains(cell.center()));
        EXPECT_TRUE(rowBand.contains(painted.Painted().boundingRect()))
            << "painted " << painted.PaintedArea() << " pixels, the row has "
            << rowBand.width() * rowBand.height();

        // A session out of view changes: nothing is repainted.
        const int hidden = connectedFrom(RowCount() - 5);
        ASSERT_LT(hidden, RowCount());
        ASSERT_GE(Sessions()->visualRect(Shown()->index(hidden, 1)).top(), viewHeight);
        const std::int32_t hiddenId = IdOf(hidden);
        ASSERT_TRUE(session->DisconnectServerSession(hiddenId));
        painted.Clear();
        Refresh();
        PaintRecorder::Flush();
        EXPECT_FALSE(ConnectedAt(RowOf(hiddenId)));
        EXPECT_EQ(painted.Paints(), 0);
    }
    EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join('\n').toStdString();
}

TEST_F(StatusPageTest, KeyboardReachesFilterHideDeadListSortAndColumns)
{
    LoadClients load(*server, 3);
    Refresh();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));

    // The filter and its check box come before the list they act on.
    QLineEdit* filter = Find<QLineEdit>("SessionFilterEdit");
    filter->setFocus(Qt::TabFocusReason);
    QTest::keyClick(filter, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), Find("HideDeadCheckBox"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), Sessions());
    // Its own key: Alt+H opens the Help menu.
    QTest::keyClick(Sessions(), Qt::Key_E, Qt::AltModifier);
    EXPECT_TRUE(WaitFor([this] { return Find<QCheckBox>("HideDeadCheckBox")->isChecked(); }));
    Sessions()->setFocus();

    // Shift+F10 opens the list's pop-up menu: Sort by, User Name.
    QHeaderView* header = Sessions()->header();
    TypeIntoPopups(window.get(), "su");
    QTest::keyClick(Sessions(), Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_EQ(header->sortIndicatorSection(),
              admin::SessionTableModel::Number(admin::SessionTableModel::Column::UserName));
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
    TypeIntoPopups(window.get(), "sd"); // Descending
    QTest::keyClick(Sessions(), Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
    // Columns, Session ID.
    ASSERT_TRUE(Sessions()->isColumnHidden(
        admin::SessionTableModel::Number(admin::SessionTableModel::Column::SessionId)));
    TypeIntoPopups(window.get(), "cs");
    QTest::keyClick(Sessions(), Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_FALSE(Sessions()->isColumnHidden(
        admin::SessionTableModel::Number(admin::SessionTableModel::Column::SessionId)));
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);

    // A screen reader names the list and the chart.
    EXPECT_EQ(QAccessible::queryAccessibleInterface(Sessions())->text(QAccessible::Name), "Sessions");
    EXPECT_FALSE(QAccessible::queryAccessibleInterface(Find<admin::HistoryChart>("HistoryChart"))
                     ->text(QAccessible::Name)
                     .isEmpty());
}

} // namespace
} // namespace korvel::test
