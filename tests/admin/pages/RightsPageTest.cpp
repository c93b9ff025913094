// The Rights page against a real korvel-refserver: the grid as the server holds it (empty rights, all rights,
// users without a database, databases without a user), filter and transpose, edits made by selecting cells
// with the mouse, copy, conflicts with another administrator, and a failure in the middle of a bulk change.
#include "admin/pages/RightsPage.h"
#include "tests/admin/pages/PageFixture.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableView>
#include <QTest>

namespace korvel::test
{
namespace
{

using admin::Answer;
using Kind = ScriptedDialogs::Kind;

class RightsPageTest : public PagesTest
{
protected:
    void SetUp() override
    {
        PagesTest::SetUp();
        session->AddServerUser("alice", "a", "", false); // on no database
        session->AddServerUser("bob", "b", "", false);   // all rights on sales
        session->AddServerUser("carol", "c", "", false); // no rights on sales, read on stock
        session->AddServerDatabase("sales", "", "/data/sales");
        session->AddServerDatabase("stock", "", "/data/stock");
        session->AddServerDatabase("empty", "", "/data/empty"); // no user
        session->AddServerDatabaseUser("sales", "bob", All());
        session->AddServerDatabaseUser("sales", "carol", {});
        session->AddServerDatabaseUser("stock", "carol", {urRead});
        FillAtLogin();
        window->show();
        window->setCurrentIndex(RightsPage); // shown: the grid is read
        WaitUntilIdle();
    }

    static TUserRights All() { return {urRead, urInsert, urUpdate, urDelete, urCreate, urAlter, urDrop}; }
    admin::TRightsPage* Page() const { return static_cast<admin::TRightsPage*>(pages[RightsPage]); }
    QTableView* Grid() const { return Find<QTableView>("RightsGrid"); }
    void WaitUntilIdle() const
    {
        ASSERT_TRUE(QTest::qWaitFor([this] { return !Page()->Busy(); }, 20000));
    }

    // The grid as shown: row name, then each cell, one line per row.
    QStringList Shown() const
    {
        QStringList rows;
        auto* model = Grid()->model();
        for (int row = 0; row < model->rowCount(); ++row)
        {
            QStringList cells{model->headerData(row, Qt::Vertical).toString()};
            for (int column = 0; column < model->columnCount(); ++column)
                cells << model->index(row, column).data().toString();
            rows << cells.join(' ');
        }
        return rows;
    }
    QStringList Columns() const
    {
        QStringList names;
        for (int column = 0; column < Grid()->model()->columnCount(); ++column)
            names << Grid()->model()->headerData(column, Qt::Horizontal).toString();
        return names;
    }
    // A click on a cell as the user does it (Ctrl adds to the selection).
    void ClickCell(int row, int column, Qt::KeyboardModifiers modifiers = Qt::NoModifier) const
    {
        QRect cell = Grid()->visualRect(Grid()->model()->index(row, column));
        ASSERT_TRUE(cell.isValid());
        QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, modifiers, cell.center());
    }
    void Tick(const char* box, bool on) const
    {
        auto* check = Find<QCheckBox>(box);
        if (check->isChecked() != on)
            QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(4, check->height() / 2));
    }
    void ClickButton(const char* name) const
    {
        auto* button = Find<QPushButton>(name);
        QTest::mouseClick(button, Qt::LeftButton);
    }
    std::optional<TUserRights> ServerRights(const std::string& database, const std::string& user)
    {
        StringList users;
        session->GetServerDatabaseUserNames(database, users);
        if (std::find(users.begin(), users.end(), user) == users.end())
            return std::nullopt;
        TUserRights rights;
        session->GetServerDatabaseUser(database, user, rights);
        return rights;
    }
};

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
    EXPECT_EQ(dialogs.Boxes[0].Text, "2 additions, 1 change. Send these changes?");
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
    EXPECT_EQ(dialogs.Boxes.back().Text, "2 removals. Send these changes?");
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
    EXPECT_EQ(dialogs.Boxes[0].Text, "3 additions, 1 change, 1 removal. Send these changes?");
    EXPECT_EQ(Shown(),
              (QStringList{"admin - - -", QString::fromUtf8("alice - \u00b7 R"),
                           QString::fromUtf8("bob - \u00b7 R"), QString::fromUtf8("carol - \u00b7 R")}));
}

TEST_F(RightsPageTest, PairsChangedByAnotherAdministratorAreListedAndSkippedUnlessConfirmed)
{
    ClickCell(2, 1);                      // bob on sales: RIUDCAX
    ClickCell(3, 2, Qt::ControlModifier); // carol on stock: R
    Tick("RightsInsertCheckBox", true);
    session->ModifyServerDatabaseUser("stock", "carol", {urRead, urDelete}); // meanwhile, elsewhere
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

TEST_F(RightsPageTest, AFailureStopsReportsWhatWasAndWasNotDoneAndRefreshes)
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
    window->setCurrentIndex(DatabaseUsersPage);
    dialogs.Answers = {Answer::Yes};
    Click("DeleteDatabaseUserButton");
    EXPECT_EQ(Items("DatabaseUsersListBox"), QStringList{});
    window->setCurrentIndex(RightsPage);
    WaitUntilIdle();
    EXPECT_EQ(Shown()[1], "alice - - -");
}

} // namespace
} // namespace korvel::test
