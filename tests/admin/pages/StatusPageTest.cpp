#include "tests/admin/pages/PageFixture.h"
#include "tests/support/LoadClients.h"

#include "admin/pages/StatusPage.h"

#include <QTreeWidget>

namespace korvel::test
{
namespace
{

using admin::Answer;
using admin::TStatusPage;

class StatusPageTest : public PagesTest
{
protected:
    QTreeWidget* Sessions() const { return Find<QTreeWidget>("SessionsListView"); }
    // The row of a session with (or without) a connection, or null.
    QTreeWidgetItem* RowWith(bool connected) const
    {
        for (int i = 0; i < Sessions()->topLevelItemCount(); ++i)
            if (Sessions()->topLevelItem(i)->data(0, TStatusPage::ConnectedRole).toBool() == connected)
                return Sessions()->topLevelItem(i);
        return nullptr;
    }
    void Refresh() { pages[StatusPage]->RefreshAfterLogin(); }
};

TEST_F(StatusPageTest, RefreshShowsTheServerAndItsSessions)
{
    LoadClients load(*server, 2);
    Refresh();
    EXPECT_EQ(Text("EngineVersionEdit"), "KORVEL Version 3.21");
    EXPECT_TRUE(Text("ServerMemoryEdit").endsWith(" Mb"));
    EXPECT_EQ(Text("MainPortEdit"), QString::number(server->MainPort()));
    EXPECT_EQ(Text("AdminPortEdit"), QString::number(server->AdminPort()));
    EXPECT_FALSE(Text("MainAddressEdit").isEmpty());
    EXPECT_EQ(Text("TotalSessionsEdit"), QString::number(session->GetServerSessionCount()));
    EXPECT_GE(Sessions()->topLevelItemCount(), 2);
    EXPECT_EQ(Text("TotalConnectedSessionsEdit"), QString::number(session->GetServerConnectedSessionCount()));
    EXPECT_FALSE(Enabled("StartButton"));
    EXPECT_TRUE(Enabled("StopButton"));
    EXPECT_FALSE(Enabled("RemoveButton"));
    EXPECT_FALSE(Enabled("DisconnectButton"));
    EXPECT_EQ(pages[StatusPage]->LoginFocusWidget(), Find("RefreshButton"));

    QTreeWidgetItem* row = RowWith(true);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->text(0), "admin");
    EXPECT_EQ(row->text(1), "127.0.0.1");
    EXPECT_FALSE(row->text(2).isEmpty());
    EXPECT_FALSE(row->icon(0).isNull());
    EXPECT_EQ(Sessions()->columnCount(), 4);
    EXPECT_EQ(Sessions()->headerItem()->text(3), "Last Connected");
}

TEST_F(StatusPageTest, DisconnectAndRemoveAskFirstAndRebuildTheListWithoutSelection)
{
    LoadClients load(*server, 2);
    Refresh();
    ASSERT_NE(RowWith(true), nullptr);
    Sessions()->setCurrentItem(RowWith(true));
    EXPECT_TRUE(Enabled("RemoveButton"));
    EXPECT_TRUE(Enabled("DisconnectButton"));
    dialogs.Answers = {Answer::No, Answer::Yes};
    Click("DisconnectButton");
    EXPECT_EQ(RowWith(false), nullptr);
    Click("DisconnectButton");
    ASSERT_EQ(dialogs.Boxes.size(), 2u);
    EXPECT_EQ(dialogs.Boxes[0].BoxKind, ScriptedDialogs::Kind::ConfirmationYesNo);
    EXPECT_EQ(
        dialogs.Boxes[0].Text,
        "This session is currently connected and may be in use by another application.  Disconnecting this "
        "session could cause fatal errors in any application that is using this session. Are you sure you "
        "want to disconnect this session ?");
    EXPECT_TRUE(Sessions()->selectedItems().isEmpty());
    EXPECT_FALSE(Enabled("RemoveButton"));
    EXPECT_FALSE(Enabled("DisconnectButton"));

    QTreeWidgetItem* disconnected = RowWith(false);
    ASSERT_NE(disconnected, nullptr);
    EXPECT_TRUE(disconnected->text(1).startsWith("Disconnected ("));
    EXPECT_TRUE(disconnected->text(1).endsWith(")"));
    Sessions()->setCurrentItem(disconnected);
    EXPECT_TRUE(Enabled("RemoveButton"));
    EXPECT_FALSE(Enabled("DisconnectButton"));
    const int rows = Sessions()->topLevelItemCount();
    dialogs.Answers = {Answer::Yes};
    Click("RemoveButton");
    EXPECT_EQ(dialogs.Boxes.back().Text, "Are you sure you want to remove this session ?");
    EXPECT_EQ(Sessions()->topLevelItemCount(), rows - 1);

    Sessions()->setCurrentItem(RowWith(true));
    dialogs.Answers = {Answer::No};
    Click("RemoveButton");
    EXPECT_EQ(
        dialogs.Boxes.back().Text,
        "This session is currently connected and may be in use by another application.  Removing this "
        "session could cause fatal errors in any application that is using this session. Are you sure you "
        "want to remove this session ?");
    EXPECT_EQ(Sessions()->topLevelItemCount(), rows - 1);
    EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join('\n').toStdString();
}

TEST_F(StatusPageTest, StopAsksWhileSessionsAreConnectedAndStartRestartsTheListener)
{
    {
        LoadClients load(*server, 1);
        Refresh();
        dialogs.Answers = {Answer::No};
        Click("StopButton");
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
    Click("StopButton");
    EXPECT_EQ(dialogs.Boxes.size(), 1u);
    EXPECT_EQ(Text("UpTimeEdit"), "Stopped");
    EXPECT_EQ(Text("TotalConnectedSessionsEdit"), "0");
    EXPECT_TRUE(Enabled("StartButton"));
    EXPECT_FALSE(Enabled("StopButton"));
    Click("StartButton");
    EXPECT_NE(Text("UpTimeEdit"), "Stopped");
    EXPECT_FALSE(Enabled("StartButton"));
    EXPECT_TRUE(Enabled("StopButton"));
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
        LoadClients load(*server, 1);
        Refresh();
        Sessions()->setCurrentItem(RowWith(true));
        dialogs.Answers = {Answer::Yes};
        Click("DisconnectButton");
        EXPECT_EQ(Text("EngineVersionEdit"), QStringLiteral("KORVEL Version ") + version);
        if (QString(version) < "3.11")
        {
            EXPECT_EQ(Text("MainAddressEdit"), "All addresses");
            EXPECT_EQ(Text("AdminAddressEdit"), "All addresses");
        }
        ASSERT_NE(RowWith(false), nullptr);
        if (QString(version) < "3.08")
        {
            EXPECT_EQ(RowWith(false)->text(1), "Disconnected ()");
        }
        EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join('\n').toStdString();
    }
}

} // namespace
} // namespace korvel::test
