// The Users page's guards, against a real korvel-refserver: the last administrator is refused by delete and
// by demotion, and the logged-in account gets its own question and then the window logs out.
#include "tests/admin/pages/PageFixture.h"

#include <QTest>

namespace korvel::test
{
namespace
{

using admin::Answer;
using Kind = ScriptedDialogs::Kind;

class UsersGuardTest : public PagesTest
{
protected:
    void PickUser(const QString& name)
    {
        auto* list = Find<QListWidget>("UsersListBox");
        auto items = list->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1);
        Pick("UsersListBox", list->row(items[0]));
        ASSERT_EQ(Text("UserNameEdit"), name);
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
        Click("EditUserButton");
        Find<QCheckBox>("AdministratorCheckBox")->setChecked(false);
        Click("SaveUserButton");
    }
};

TEST_F(UsersGuardTest, TheLastAdministratorIsRefusedByDeleteAndByDemotionWithoutAQuestion)
{
    window->show();
    window->setCurrentIndex(UsersPage);
    FillAtLogin();
    PickUser("admin");
    Click("DeleteUserButton");
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
    window->show();
    window->setCurrentIndex(UsersPage);
    FillAtLogin();
    PickUser("admin");
    dialogs.Answers = {Answer::No};
    Click("DeleteUserButton");
    ASSERT_EQ(dialogs.Boxes.size(), 1u);
    EXPECT_EQ(dialogs.Boxes[0].Text,
              "You are logged in as 'admin'. Delete this account? You will be logged out.");
    EXPECT_EQ(Items("UsersListBox"), (QStringList{"admin", "root"})) << "No sends nothing";

    dialogs.Answers = {Answer::Yes, Answer::Yes};
    Click("DeleteUserButton");
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
    window->show();
    window->setCurrentIndex(UsersPage);
    FillAtLogin();
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

} // namespace
} // namespace korvel::test
