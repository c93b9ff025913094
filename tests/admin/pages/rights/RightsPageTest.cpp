// The Rights page against a real korvel-refserver: the grid as the server holds it (empty rights, all rights,
// users without a database, databases without a user), filter and transpose, edits made by selecting cells
// with the mouse, copy, conflicts with another administrator, a failure in the middle of a bulk change, and
// the journal of what was sent.
#include "tests/admin/pages/rights/RightsFixture.h"

#include <QHeaderView>
#include <QLabel>
#include <QTest>

#include <utility>

namespace korvel::test
{
namespace
{

using admin::Answer;

TEST_F(RightsPageTest, TheGridShowsWhatTheServerHoldsFilteredAndTransposed)
{
    EXPECT_EQ(Columns(), (QStringList{"empty", "sales", "stock"}));
    EXPECT_EQ(Shown(), (QStringList{"admin - - -", "alice - - -", "bob - RIUDCAX -",
                                    QString::fromUtf8("carol - \u00b7 R")}));
    EXPECT_EQ(Find<QLabel>("RightsStatusLabel")->text(), "4 users, 3 databases");
    EXPECT_TRUE(Find("RightsProgressBar")->isHidden());

    QTest::keyClicks(Find<QLineEdit>("RightsFilterEdit"), "st");
    EXPECT_EQ(Columns(), QStringList{"stock"}) << "a database name filters the columns, every user stays";
    EXPECT_EQ(Shown().size(), 4);
    Find<QLineEdit>("RightsFilterEdit")->clear();
    QTest::keyClicks(Find<QLineEdit>("RightsFilterEdit"), "CAR");
    EXPECT_EQ(Shown(), QStringList{QString::fromUtf8("carol - \u00b7 R")});
    Find<QLineEdit>("RightsFilterEdit")->clear();

    Tick("TransposeRightsCheckBox", true);
    EXPECT_EQ(Columns(), (QStringList{"admin", "alice", "bob", "carol"}));
    EXPECT_EQ(Shown(),
              (QStringList{"empty - - - -", QString::fromUtf8("sales - - RIUDCAX \u00b7"), "stock - - - R"}));
}

TEST_F(RightsPageTest, SelectedCellsGetTheTickedRightsAfterOneQuestion)
{
    // alice on empty and on sales (Ctrl adds a cell), bob on sales: two additions and one change.
    ClickCell(1, 0);
    ClickCell(1, 1, Qt::ControlModifier);
    ClickCell(2, 1, Qt::ControlModifier);
    Tick("RightsReadCheckBox", true);
    Tick("RightsUpdateCheckBox", true);
    dialogs.Answers = {Answer::Yes};
    ClickButton("SetRightsButton");
    WaitUntilIdle();
    ASSERT_EQ(dialogs.Boxes.size(), 1u) << dialogs.Errors().join('\n').toStdString();
    EXPECT_EQ(Summary(dialogs.Boxes[0].Text), "2 additions, 1 change. Send these changes?");
    EXPECT_EQ(ServerRights("empty", "alice"), (TUserRights{urRead, urUpdate}));
    EXPECT_EQ(ServerRights("sales", "alice"), (TUserRights{urRead, urUpdate}));
    EXPECT_EQ(ServerRights("sales", "bob"), (TUserRights{urRead, urUpdate}));
    EXPECT_EQ(Shown()[1], "alice RU RU -") << "the grid was read again";

    // Not a database user for a whole row (a click on its header selects it): two removals.
    QTest::mouseClick(Grid()->verticalHeader()->viewport(), Qt::LeftButton, {},
                      QPoint(5, Grid()->verticalHeader()->sectionViewportPosition(1) + 5));
    dialogs.Answers = {Answer::Yes};
    ClickButton("NotDatabaseUserButton");
    WaitUntilIdle();
    EXPECT_EQ(Summary(dialogs.Boxes.back().Text), "2 removals. Send these changes?");
    EXPECT_EQ(ServerRights("sales", "alice"), std::nullopt);
    EXPECT_EQ(Shown()[1], "alice - - -");

    // No to the question sends nothing.
    ClickCell(0, 2);
    dialogs.Answers = {Answer::No};
    ClickButton("GrantRightsButton");
    WaitUntilIdle();
    EXPECT_EQ(ServerRights("stock", "admin"), std::nullopt);
}

TEST_F(RightsPageTest, CopyMakesTheTargetsEqualToTheSourceRemovalsIncluded)
{
    session->AddServerDatabaseUser("empty", "alice", {urDrop}); // carol has none there: to be removed
    ClickButton("RefreshRightsButton");
    WaitUntilIdle();
    Find<QComboBox>("CopyFromComboBox")->setCurrentText("carol");
    ClickCell(1, 1);                      // alice
    ClickCell(2, 0, Qt::ControlModifier); // bob
    dialogs.Answers = {Answer::Yes};
    ClickButton("CopyRightsButton");
    WaitUntilIdle();
    EXPECT_EQ(Summary(dialogs.Boxes[0].Text), "3 additions, 1 change, 1 removal. Send these changes?");
    EXPECT_EQ(Shown(),
              (QStringList{"admin - - -", QString::fromUtf8("alice - \u00b7 R"),
                           QString::fromUtf8("bob - \u00b7 R"), QString::fromUtf8("carol - \u00b7 R")}));
}

// Another administrator moves carol on stock before the Set click, or while its question is open: either way
// the pair is listed after the answer (what is sent is built from a read made after it) and skipped on No.
class RightsRaceTest : public RightsPageTest, public ::testing::WithParamInterface<bool>
{
};

TEST_P(RightsRaceTest, PairsChangedByAnotherAdministratorAreListedAndSkippedUnlessConfirmed)
{
    ClickCell(2, 1);                      // bob on sales: RIUDCAX
    ClickCell(3, 2, Qt::ControlModifier); // carol on stock: R
    Tick("RightsInsertCheckBox", true);
    auto changeElsewhere = [this] {
        session->ModifyServerDatabaseUser("stock", "carol", {urRead, urDelete});
    };
    bool changed = false;
    if (GetParam())
        dialogs.WhileAsking = [&](const QString&)
        {
            if (!std::exchange(changed, true))
                changeElsewhere();
        };
    else
        changeElsewhere();
    dialogs.Answers = {Answer::Yes, Answer::No};
    ClickButton("SetRightsButton");
    WaitUntilIdle();
    ASSERT_EQ(dialogs.Boxes.size(), 2u);
    EXPECT_EQ(dialogs.Boxes[1].Text,
              "Another administrator changed these since the grid was read:\n"
              "'carol' on 'stock': read as R, now RD\nOverwrite them too? (No skips them.)");
    EXPECT_EQ(ServerRights("sales", "bob"), TUserRights{urInsert});
    EXPECT_EQ(ServerRights("stock", "carol"), (TUserRights{urRead, urDelete})) << "skipped";
}

INSTANTIATE_TEST_SUITE_P(Timings, RightsRaceTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info)
                         { return info.param ? "WhileTheQuestionIsOpen" : "BeforeTheClick"; });

TEST_F(RightsPageTest, AnOverwriteSendsWhatFitsThePairsAsAnotherAdministratorLeftThem)
{
    // alice, bob and carol on sales, carol on stock: all to be set to I.
    ClickCell(1, 1);
    ClickCell(2, 1, Qt::ControlModifier);
    ClickCell(3, 1, Qt::ControlModifier);
    ClickCell(3, 2, Qt::ControlModifier);
    Tick("RightsInsertCheckBox", true);
    // Meanwhile, elsewhere: alice added to sales, carol removed from stock, carol on sales set as wanted
    // here.
    session->AddServerDatabaseUser("sales", "alice", {urRead});
    session->DeleteServerDatabaseUser("stock", "carol");
    session->ModifyServerDatabaseUser("sales", "carol", {urInsert});
    dialogs.Answers = {Answer::Yes, Answer::Yes};
    ClickButton("SetRightsButton");
    WaitUntilIdle();
    EXPECT_EQ(dialogs.Errors().join('\n').toStdString(), "");
    ASSERT_EQ(dialogs.Boxes.size(), 2u);
    EXPECT_EQ(dialogs.Boxes[1].Text, "Another administrator changed these since the grid was read:\n"
                                     "'alice' on 'sales': read as -, now R\n"
                                     "'carol' on 'stock': read as R, now -\n"
                                     "Overwrite them too? (No skips them.)");
    for (const auto& [database, user] :
         {std::pair{"sales", "alice"}, {"sales", "bob"}, {"sales", "carol"}, {"stock", "carol"}})
        EXPECT_EQ(ServerRights(database, user), TUserRights{urInsert}) << user << " on " << database;
}

TEST_F(RightsPageTest, AFailureStopsReportsWhatWasAndWasNotDoneJournalsWhatWasSentAndRefreshes)
{
    session->AddServerUser("zed", "z", "", false);
    ClickButton("RefreshRightsButton");
    WaitUntilIdle();
    // alice, carol and zed on empty; carol is deleted before the changes go out, so hers fails.
    ClickCell(1, 0);
    ClickCell(3, 0, Qt::ControlModifier);
    ClickCell(4, 0, Qt::ControlModifier);
    Tick("RightsReadCheckBox", true);
    session->DeleteServerUser("carol");
    dialogs.Answers = {Answer::Yes};
    ClickButton("SetRightsButton");
    WaitUntilIdle();
    ASSERT_EQ(dialogs.Errors().size(), 1);
    const QString report = dialogs.Errors()[0];
    EXPECT_TRUE(report.startsWith("1 of 3 changes were made. The change of 'carol' on 'empty' failed: "))
        << report.toStdString();
    EXPECT_TRUE(report.endsWith("1 further change was not sent:\n  'zed' on 'empty' -> R"))
        << report.toStdString();
    EXPECT_EQ(ServerRights("empty", "alice"), TUserRights{urRead});
    EXPECT_EQ(ServerRights("empty", "zed"), std::nullopt);
    EXPECT_EQ(Shown(), (QStringList{"admin - - -", "alice R - -", "bob - RIUDCAX -", "zed - - -"}))
        << "read again from the server";

    const std::vector<journal::Entry> entries = Journaled();
    ASSERT_EQ(entries.size(), 2u) << "zed's change was not sent";
    EXPECT_EQ(entries[0].Operation, "add database user");
    EXPECT_EQ(entries[0].Object, "alice");
    EXPECT_EQ(entries[0].Database, "empty");
    EXPECT_EQ(entries[0].Change, "- -> R");
    EXPECT_TRUE(entries[0].Ok);
    EXPECT_EQ(entries[1].Object, "carol");
    EXPECT_EQ(entries[1].Database, "empty");
    EXPECT_FALSE(entries[1].Ok);
    EXPECT_NE(entries[1].ErrorCode, 0);
    EXPECT_TRUE(dialogs.Errors()[0].contains(QString::fromStdString(entries[1].ErrorMessage)));
}

TEST_F(RightsPageTest, TheDatabaseUsersPageAndTheRightsPageRefreshEachOther)
{
    // A change on the Rights page shows on the Database Users page (its selector names "empty").
    EXPECT_EQ(Items("DatabaseUsersListBox"), QStringList{});
    ClickCell(1, 0);
    dialogs.Answers = {Answer::Yes};
    ClickButton("GrantRightsButton");
    WaitUntilIdle();
    EXPECT_EQ(Items("DatabaseUsersListBox"), QStringList{"alice"});

    // A change on the Database Users page shows on the Rights page.
    SetCurrentPage(DatabaseUsersPage);
    dialogs.Answers = {Answer::Yes};
    Click("DeleteDatabaseUserButton");
    EXPECT_EQ(Items("DatabaseUsersListBox"), QStringList{});
    SetCurrentPage(RightsPage);
    WaitUntilIdle();
    EXPECT_EQ(Shown()[1], "alice - - -");
}

} // namespace
} // namespace korvel::test
