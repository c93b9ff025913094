// The Databases and Database Users pages, which refresh each other.
#include "tests/admin/pages/PageFixture.h"

#include "admin/pages/lists/DatabaseUsersPage.h"

namespace korvel::test
{
namespace
{

using admin::Answer;
using admin::esAdding;
using admin::esEditing;
using admin::esViewing;

class DatabasesPagesTest : public PagesTest
{
protected:
    void AddDatabase(const QString& name)
    {
        Click("AddDatabaseButton");
        SetText("DatabaseNameEdit", name);
        Find<QPlainTextEdit>("DatabaseDescriptionMemo")->setPlainText(name + " data");
        SetText("ServerDirectoryEdit", "/data/" + name);
        Click("SaveDatabaseButton");
    }
    QString CurrentDatabase() const
    {
        return static_cast<admin::DatabaseUsersPage*>(PageAt(DatabaseUsersPage))->CurrentDatabase();
    }
    QCheckBox* Right(int bit) const
    {
        static const char* names[] = {"ReadCheckBox",   "InsertCheckBox", "UpdateCheckBox", "DeleteCheckBox",
                                      "CreateCheckBox", "AlterCheckBox",  "DropCheckBox"};
        return Find<QCheckBox>(names[bit]);
    }
    std::uint8_t RightsOnServer(const char* database, const char* user) const
    {
        TUserRights rights;
        session->GetServerDatabaseUser(database, user, rights);
        return rights.ToByte();
    }
    // The user picks a database in the selector.
    void ChooseDatabase(int index) const
    {
        auto* selector = Find<QComboBox>("DatabasesComboBox");
        selector->setCurrentIndex(index);
        emit selector->activated(index);
        WaitForRunner();
    }
};

TEST_F(DatabasesPagesTest, AnEmptyServerLeavesBothPagesEmptyAndTheirButtonsDisabled)
{
    FillAtLogin();
    EXPECT_TRUE(Items("DatabasesListBox").isEmpty());
    EXPECT_FALSE(Enabled("EditDatabaseButton"));
    EXPECT_FALSE(Enabled("DeleteDatabaseButton"));
    EXPECT_TRUE(Enabled("AddDatabaseButton"));
    EXPECT_EQ(Text("DatabaseNameEdit"), "");
    EXPECT_EQ(Find<QComboBox>("DatabasesComboBox")->count(), 0);
    EXPECT_EQ(CurrentDatabase(), "");
    EXPECT_FALSE(Enabled("AddDatabaseUserButton"));
    EXPECT_FALSE(Enabled("EditDatabaseUserButton"));
    EXPECT_TRUE(Items("DatabaseUsersListBox").isEmpty());
    EXPECT_TRUE(dialogs.Errors().isEmpty());
}

TEST_F(DatabasesPagesTest, AddingSelectsTheNewDatabaseAndTheSelectorReturnsToTheFirst)
{
    FillAtLogin();
    AddDatabase("sales");
    Click("AddDatabaseButton");
    EXPECT_EQ(State(DatabasesPage), esAdding);
    EXPECT_FALSE(ReadOnly("DatabaseNameEdit"));
    EXPECT_TRUE(Shown("SelectDatabaseDirButton"));
    EXPECT_FALSE(Enabled("DatabasesListBox"));
    Click("CancelDatabaseButton");
    AddDatabase("accounts");
    EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join('\n').toStdString();

    EXPECT_EQ(Items("DatabasesListBox"), (QStringList{"accounts", "sales"}));
    AddDatabase("zoo");
    EXPECT_EQ(Selected("DatabasesListBox"), "zoo");
    EXPECT_EQ(Text("DatabaseNameEdit"), "zoo");
    EXPECT_EQ(Find<QPlainTextEdit>("DatabaseDescriptionMemo")->toPlainText(), "zoo data");
    EXPECT_EQ(Text("ServerDirectoryEdit"), "/data/zoo");
    EXPECT_FALSE(Shown("SelectDatabaseDirButton"));
    EXPECT_EQ(State(DatabasesPage), esViewing);
    auto* selector = Find<QComboBox>("DatabasesComboBox");
    EXPECT_EQ(selector->count(), 3);
    EXPECT_EQ(selector->currentText(), "accounts");
    EXPECT_EQ(CurrentDatabase(), "accounts");
    EXPECT_TRUE(Enabled("AddDatabaseUserButton"));

    Click("EditDatabaseButton");
    EXPECT_EQ(State(DatabasesPage), esEditing);
    EXPECT_TRUE(ReadOnly("DatabaseNameEdit"));
    EXPECT_FALSE(ReadOnly("ServerDirectoryEdit"));
    SetText("ServerDirectoryEdit", "/elsewhere");
    SaveEdits(DatabasesPage);
    std::string description, directory;
    session->GetServerDatabase("zoo", description, directory);
    EXPECT_EQ(directory, "/elsewhere");
    EXPECT_EQ(Selected("DatabasesListBox"), "zoo");
}

TEST_F(DatabasesPagesTest, DeletingSelectsTheDatabaseThatTookItsPlaceAndRefreshesDatabaseUsers)
{
    for (const char* name : {"a", "b", "c"})
        session->AddServerDatabase(name, "", "/d");
    session->AddServerDatabaseUser("a", "admin", {urRead});
    FillAtLogin();
    EXPECT_EQ(Items("DatabaseUsersListBox"), (QStringList{"admin"}));
    Pick("DatabasesListBox", 0);
    dialogs.Answers = {Answer::Yes, Answer::Yes, Answer::Yes};
    Click("DeleteDatabaseButton");
    EXPECT_EQ(Selected("DatabasesListBox"), "b");
    EXPECT_EQ(CurrentDatabase(), "b");
    EXPECT_TRUE(Items("DatabaseUsersListBox").isEmpty());
    Pick("DatabasesListBox", 1);
    Click("DeleteDatabaseButton");
    EXPECT_EQ(Selected("DatabasesListBox"), "b");
    Click("DeleteDatabaseButton"); // the only one
    EXPECT_TRUE(Items("DatabasesListBox").isEmpty());
    EXPECT_EQ(Text("DatabaseNameEdit"), "");
    EXPECT_EQ(CurrentDatabase(), "");
    EXPECT_FALSE(Enabled("DeleteDatabaseButton"));
    EXPECT_FALSE(Enabled("AddDatabaseUserButton"));
    EXPECT_EQ(dialogs.Boxes.front().Text, "Are you sure you want to delete the selected database ?");
}

TEST_F(DatabasesPagesTest, ANewDatabaseUserStartsWithReadAndTheMaskFollowsTheBoxes)
{
    session->AddServerDatabase("db", "", "/d");
    session->AddServerUser("reader", "p", "", false);
    session->AddServerUser("writer", "p", "", false);
    FillAtLogin();

    Click("AddDatabaseUserButton");
    EXPECT_EQ(State(DatabaseUsersPage), esAdding);
    EXPECT_TRUE(Shown("UserComboBox"));
    EXPECT_FALSE(Shown("DatabaseUserEdit"));
    EXPECT_EQ(Find<QComboBox>("UserComboBox")->currentText(), "admin");
    EXPECT_TRUE(Right(urRead)->isChecked());
    EXPECT_EQ(Right(urRead)->text(), "Read");
    for (int bit = 1; bit < 7; ++bit)
        EXPECT_FALSE(Right(bit)->isChecked());
    Find<QComboBox>("UserComboBox")->setCurrentIndex(1);
    Click("SaveDatabaseUserButton");
    EXPECT_EQ(RightsOnServer("db", "reader"), 1);

    Click("AddDatabaseUserButton");
    Find<QComboBox>("UserComboBox")->setEditText("writer"); // typed
    for (int bit = 0; bit < 7; ++bit)
        Right(bit)->setChecked(true);
    Click("SaveDatabaseUserButton");
    EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join('\n').toStdString();
    EXPECT_EQ(RightsOnServer("db", "writer"), 127);
    EXPECT_EQ(Items("DatabaseUsersListBox"), (QStringList{"reader", "writer"}));
    EXPECT_EQ(Selected("DatabaseUsersListBox"), "writer");
    EXPECT_EQ(State(DatabaseUsersPage), esViewing);
    EXPECT_FALSE(Right(urDrop)->isEnabled());
    EXPECT_TRUE(Right(urDrop)->isChecked());
    EXPECT_TRUE(Right(urDrop)->text().isEmpty());

    Pick("DatabaseUsersListBox", 0);
    Click("EditDatabaseUserButton");
    EXPECT_EQ(State(DatabaseUsersPage), esEditing);
    EXPECT_TRUE(Shown("DatabaseUserEdit"));
    EXPECT_EQ(Text("DatabaseUserEdit"), "reader");
    Right(urUpdate)->setChecked(true);
    SaveEdits(DatabaseUsersPage);
    EXPECT_EQ(RightsOnServer("db", "reader"), 5);

    Click("AddDatabaseUserButton");
    Find<QComboBox>("UserComboBox")->setEditText("nobody"); // not a server user: the server refuses
    Click("SaveDatabaseUserButton");
    EXPECT_EQ(dialogs.Errors().size(), 1);
    EXPECT_EQ(State(DatabaseUsersPage), esAdding);
}

TEST_F(DatabasesPagesTest, ChangingTheDatabaseDropsAnAdditionWithoutAQuestion)
{
    session->AddServerDatabase("one", "", "/1");
    session->AddServerDatabase("two", "", "/2");
    session->AddServerDatabaseUser("two", "admin", {urRead, urAlter});
    FillAtLogin();
    Click("AddDatabaseUserButton");
    ChooseDatabase(1);
    EXPECT_TRUE(dialogs.Boxes.empty());
    EXPECT_EQ(State(DatabaseUsersPage), esViewing);
    EXPECT_EQ(CurrentDatabase(), "two");
    EXPECT_EQ(Items("DatabaseUsersListBox"), (QStringList{"admin"}));
    EXPECT_TRUE(Right(urAlter)->isChecked());
    EXPECT_FALSE(Right(urInsert)->isChecked());
    StringList users;
    session->GetServerDatabaseUserNames("one", users);
    EXPECT_TRUE(users.empty());
}

TEST_F(DatabasesPagesTest, DeletingADatabaseUserSelectsTheNextOrTheNewLast)
{
    session->AddServerDatabase("db", "", "/d");
    for (const char* user : {"u1", "u2", "u3"})
    {
        session->AddServerUser(user, "p", "", false);
        session->AddServerDatabaseUser("db", user, {urRead});
    }
    FillAtLogin();
    dialogs.Answers = {Answer::Yes, Answer::Yes};
    Pick("DatabaseUsersListBox", 1);
    Click("DeleteDatabaseUserButton");
    EXPECT_EQ(Selected("DatabaseUsersListBox"), "u3");
    Click("DeleteDatabaseUserButton");
    EXPECT_EQ(Items("DatabaseUsersListBox"), (QStringList{"u1"}));
    EXPECT_EQ(Selected("DatabaseUsersListBox"), "u1");
    EXPECT_EQ(Text("DatabaseUserEdit"), "u1");
    EXPECT_EQ(dialogs.Boxes.front().Text, "Are you sure you want to delete the selected database user ?");
}

} // namespace
} // namespace korvel::test
