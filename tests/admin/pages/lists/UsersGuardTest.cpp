// The Users page's guards, against a real korvel-refserver: the last administrator is refused by delete and
// by demotion, and the logged-in account gets its own question and then the window logs out.
#include "tests/admin/pages/PageFixture.h"

#include <QTest>

#include <algorithm>

namespace korvel::test
{
namespace
{

using admin::Answer;
using Kind = ScriptedDialogs::Kind;

class UsersGuardTest : public PagesTest
{
protected:
    // The Users page shown, as the user sees it, so its rows have their places on the screen.
    void ShowUsersPage()
    {
        window->show();
        SetCurrentPage(UsersPage);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        FillAtLogin();
    }
    // A real mouse click in the middle of the user's row.
    void PickUser(const QString& name)
    {
        auto* list = Find<QAbstractItemView>("UsersListBox");
        const QStringList rows = RowTexts(*list);
        ASSERT_EQ(rows.count(name), 1);
        const QRect row = list->visualRect(list->model()->index(rows.indexOf(name), 0));
        ASSERT_FALSE(row.isEmpty());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
        // The page may show the user through the runner: wait for its fields.
        ASSERT_TRUE(WaitFor([&] { return Text("UserNameEdit") == name; })) << name.toStdString();
    }
    // Asked as "root", which stays an administrator whatever happens to "admin".
    std::unique_ptr<TKORVELSession> RootSession()
    {
        auto root = std::make_unique<TKORVELSession>();
        root->SetSessionName("RootSession");
        root->SetSessionType(stRemote);
        root->SetRemoteAddress("127.0.0.1");
        root->SetRemotePort(server->AdminPort());
        root->SetRemoteUser("root");
        root->SetRemotePassword("r");
        root->SetActive(true);
        return root;
    }
    bool IsAdministrator(TKORVELSession& asker, const std::string& name)
    {
        std::string password, description;
        bool administrator = false;
        asker.GetServerUser(name, password, description, administrator);
        return administrator;
    }
    void Demote(const QString& name)
    {
        PickUser(name);
        Command("EditUserButton");
        auto* box = Find<QCheckBox>("AdministratorCheckBox");
        ASSERT_TRUE(box->isChecked());
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(4, box->height() / 2));
        ASSERT_FALSE(box->isChecked());
        Command("SaveUserButton");
    }
    // A command button pressed, and whatever it sends through the runner delivered.
    void Command(const char* button)
    {
        Click(button);
        WaitForRunner();
    }
};

TEST_F(UsersGuardTest, TheLastAdministratorIsRefusedByDeleteAndByDemotionWithoutAQuestion)
{
    ShowUsersPage();
    PickUser("admin");
    Command("DeleteUserButton");
    ASSERT_EQ(dialogs.Boxes.size(), 1u);
    EXPECT_EQ(dialogs.Boxes[0].BoxKind, Kind::Error);
    EXPECT_EQ(dialogs.Boxes[0].Text,
              "'admin' is the last administrator of this server. Deleting this user would "
              "leave nobody able to administer the server, so it is not done.");

    Demote("admin");
    ASSERT_EQ(dialogs.Errors().size(), 2);
    EXPECT_TRUE(dialogs.Errors()[1].contains("Removing its administrator right"))
        << dialogs.Errors()[1].toStdString();
    EXPECT_EQ(State(UsersPage), admin::esEditing) << "the edit stays open";
    EXPECT_TRUE(IsAdministrator(*session, "admin"));
    EXPECT_EQ(logOuts, 0);
}

TEST_F(UsersGuardTest, DeletingTheLoggedInAccountAsksFirstThenLogsOut)
{
    session->AddServerUser("root", "r", "", true);
    ShowUsersPage();
    PickUser("admin");
    dialogs.Answers = {Answer::No};
    Command("DeleteUserButton");
    ASSERT_EQ(dialogs.Boxes.size(), 1u);
    EXPECT_EQ(dialogs.Boxes[0].Text,
              "You are logged in as 'admin'. Delete this account? You will be logged out.");
    EXPECT_EQ(Items("UsersListBox"), (QStringList{"admin", "root"})) << "No sends nothing";

    dialogs.Answers = {Answer::Yes, Answer::Yes};
    Command("DeleteUserButton");
    ASSERT_EQ(dialogs.Boxes.size(), 3u);
    EXPECT_EQ(dialogs.Boxes[2].Text, "Are you sure you want to delete the selected user ?")
        << "the usual question comes second";
    EXPECT_EQ(logOuts, 1);
    StringList names;
    RootSession()->GetServerUserNames(names);
    EXPECT_EQ(names, StringList{"root"});
}

TEST_F(UsersGuardTest, DemotingTheLoggedInAccountAsksThenLogsOutAndOthersAreNotAsked)
{
    session->AddServerUser("root", "r", "", true);
    ShowUsersPage();
    Demote("root"); // another administrator: no extra question
    EXPECT_TRUE(dialogs.Boxes.empty());
    EXPECT_FALSE(IsAdministrator(*session, "root"));
    session->ModifyServerUser("root", "r", "", true);
    auto root = RootSession();

    dialogs.Answers = {Answer::Yes};
    Demote("admin");
    ASSERT_EQ(dialogs.Boxes.size(), 1u);
    EXPECT_EQ(
        dialogs.Boxes[0].Text,
        "You are logged in as 'admin'. Remove this account's administrator right? You will be logged out.");
    EXPECT_FALSE(IsAdministrator(*root, "admin"));
    EXPECT_EQ(logOuts, 1);
}

// Two users whose names a lossy conversion would show, and act on, as one: the row chosen is the one deleted.
TEST_F(UsersGuardTest, DeleteActsOnTheExactBytesOfTheRowChosen)
{
    const std::string invalid = "bad\xfe"
                                "name",
                      replacement = "bad\xef\xbf\xbdname";
    session->AddServerUser(invalid, "p", "", false);
    session->AddServerUser(replacement, "p", "", false);
    ShowUsersPage();
    QStringList shown = Items("UsersListBox");
    shown.sort();
    EXPECT_EQ(shown, (QStringList{"admin", "bad\\xFEname", QString::fromUtf8(replacement)}));

    PickUser("bad\\xFEname");
    dialogs.Answers = {Answer::Yes};
    Command("DeleteUserButton");
    StringList left;
    session->GetServerUserNames(left);
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (StringList{"admin", replacement}));
}

} // namespace
} // namespace korvel::test
