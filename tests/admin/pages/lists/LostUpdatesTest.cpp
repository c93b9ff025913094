// Two administrators at work: the window edits a user, a database, a database user or the configuration while
// another administrator changes or deletes it through a session of their own. The window's Save tells what
// changed and asks before overwriting; No sends nothing; a record deleted meanwhile is not saved.
#include "tests/admin/pages/PageFixture.h"

#include <QTest>

namespace korvel::test
{
namespace
{

using admin::Answer;

// One editable page: how the window edits it and how the other administrator changes it.
struct Case
{
    const char* Caption;
    PageIndex Page;
    const char* EditButton;
    const char* SaveButton;
    std::function<void(const class LostUpdatesTest&)> EditInWindow;
    std::function<void(TKORVELSession&)> ChangeElsewhere;
    // The question lists this change.
    QString Listed;
    // What the server holds: the window's value after an overwrite, the other's after No.
    std::function<QString(TKORVELSession&)> Stored;
    QString Window;
    QString Other;
};

class LostUpdatesTest : public PagesTest
{
protected:
    void SetUp() override
    {
        PagesTest::SetUp();
        session->AddServerUser("bob", "bob-pw", "Sales", false);
        session->AddServerDatabase("Sales", "Orders", "/srv/sales");
        session->AddServerDatabaseUser("Sales", "bob", {urRead});
        LogInAsAdministrator(other, *server, "Other");
        FillAtLogin();
    }
    void TearDown() override
    {
        other.SetActive(false);
        PagesTest::TearDown();
    }
    // The page shown with bob (or Sales) selected and in edit mode with the window's change.
    void StartEditing(const Case& page)
    {
        SetCurrentPage(page.Page);
        if (page.Page == UsersPage)
            Pick("UsersListBox", 1); // admin, bob
        if (page.Page == DatabaseUsersPage)
            Pick("DatabaseUsersListBox", 1);
        Click(page.EditButton);
        page.EditInWindow(*this);
    }
    bool Editing(const Case& page) const { return !Find(page.SaveButton)->isHidden(); }

    std::vector<Case> Cases() const
    {
        return {
            {"Users", UsersPage, "EditUserButton", "SaveUserButton",
             [](const LostUpdatesTest& test)
             { test.Find<QPlainTextEdit>("UserDescriptionMemo")->setPlainText("from the window"); },
             [](TKORVELSession& other) { other.ModifyServerUser("bob", "bob-pw", "Sales", true); },
             "bob: Administrator was No, now Yes",
             [](TKORVELSession& session)
             {
                 std::string password, description;
                 bool administrator = false;
                 session.GetServerUser("bob", password, description, administrator);
                 return QString::fromStdString(description) + (administrator ? " admin" : "");
             },
             "from the window", "Sales admin"},
            {"Databases", DatabasesPage, "EditDatabaseButton", "SaveDatabaseButton",
             [](const LostUpdatesTest& test) { test.SetText("ServerDirectoryEdit", "/from/window"); },
             [](TKORVELSession& other) { other.ModifyServerDatabase("Sales", "Orders", "/moved"); },
             "Sales: Directory was \"/srv/sales\", now \"/moved\"",
             [](TKORVELSession& session)
             {
                 std::string description, directory;
                 session.GetServerDatabase("Sales", description, directory);
                 return QString::fromStdString(directory);
             },
             "/from/window", "/moved"},
            {"Database Users", DatabaseUsersPage, "EditDatabaseUserButton", "SaveDatabaseUserButton",
             [](const LostUpdatesTest& test) { test.Find<QCheckBox>("DropCheckBox")->setChecked(true); },
             [](TKORVELSession& other) {
                 other.ModifyServerDatabaseUser("Sales", "bob", {urRead, urInsert});
             },
             "bob: Rights were R, now RI",
             [](TKORVELSession& session)
             {
                 TUserRights rights;
                 session.GetServerDatabaseUser("Sales", "bob", rights);
                 return QString::number(rights.ToByte());
             },
             QString::number(TUserRights{urRead, urDrop}.ToByte()),
             QString::number(TUserRights{urRead, urInsert}.ToByte())},
            {"Server", ServerPage, "EditServerButton", "SaveServerButton",
             [](const LostUpdatesTest& test)
             {
                 test.SetText("TimeoutEdit", "77");
                 test.SetText("MaxConnectionsEdit", "9");
             },
             [](TKORVELSession& other)
             {
                 ServerConfig config;
                 other.GetServerConfig(config);
                 config.MaxConnections = 42;
                 other.ModifyServerConfig(config);
             },
             "Server configuration: Max # of Connections was \"",
             [](TKORVELSession& session)
             {
                 ServerConfig config;
                 session.GetServerConfig(config);
                 return QString("%1/%2").arg(config.ConnectionTimeout).arg(config.MaxConnections);
             },
             "77/9", ""},
        };
    }

    TKORVELSession other;
};

TEST_F(LostUpdatesTest, ASaveOverAnotherAdministratorsChangeAsksFirstAndNoSendsNothing)
{
    for (const Case& page : Cases())
    {
        SCOPED_TRACE(page.Caption);
        StartEditing(page);
        page.ChangeElsewhere(other);
        const QString before = page.Stored(other);

        dialogs.Answers = {Answer::No};
        Click(page.SaveButton);
        ASSERT_FALSE(dialogs.Boxes.empty());
        EXPECT_EQ(dialogs.Boxes.back().BoxKind, ScriptedDialogs::Kind::WarningYesNo);
        EXPECT_TRUE(dialogs.Boxes.back().Text.startsWith(page.Listed))
            << dialogs.Boxes.back().Text.toStdString();
        EXPECT_EQ(page.Stored(other), before) << "No sent nothing";
        EXPECT_TRUE(Editing(page)) << "the edit is still there";

        dialogs.Answers = {Answer::Yes};
        Click(page.SaveButton);
        EXPECT_FALSE(Editing(page));
        EXPECT_EQ(page.Stored(other), page.Window) << "Yes saved the window's values";
        EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join('\n').toStdString();
        dialogs.Boxes.clear();
    }
}

// The record moves again while the overwrite (or own-account) question is open: the answer is followed by a
// fresh read and a second question showing what moved; its No sends nothing, so the other's change stays.
TEST_F(LostUpdatesTest, AChangeWhileTheQuestionIsOpenIsAskedAboutAgain)
{
    std::vector<Case> cases = Cases();
    Case users = cases[0];
    users.Listed = "bob: Password changed";
    users.Other = "Sales admin/rotated";
    users.Stored = [](TKORVELSession& session)
    {
        std::string password, description;
        bool administrator = false;
        session.GetServerUser("bob", password, description, administrator);
        return QString::fromStdString(description) + (administrator ? " admin/" : "/") +
               QString::fromStdString(password);
    };
    Case server = cases[3];
    server.Listed = "Server configuration: Dead Session Cleanup Interval was";
    server.Other = "42/31";
    server.Stored = [](TKORVELSession& session)
    {
        ServerConfig config;
        session.GetServerConfig(config);
        return QString("%1/%2").arg(config.MaxConnections).arg(config.DeadSessionInterval);
    };
    // The account the window is logged in with, demoted while another administrator exists: the question
    // before the save is its own.
    Case own = users;
    own.Caption = "own account";
    own.EditInWindow = [this](const LostUpdatesTest&)
    {
        Click("CancelUserButton");
        Pick("UsersListBox", 0);
        Click("EditUserButton");
        Find<QCheckBox>("AdministratorCheckBox")->setChecked(false);
    };
    own.ChangeElsewhere = [](TKORVELSession&) {};
    own.Listed = "admin: Password changed";
    own.Other = "administrator/rotated";
    own.Stored = [](TKORVELSession& session)
    {
        std::string password, description;
        bool administrator = false;
        session.GetServerUser("admin", password, description, administrator);
        return QString(administrator ? "administrator/" : "/") + QString::fromStdString(password);
    };
    const std::vector<std::pair<Case, std::function<void(TKORVELSession&)>>> surfaces{
        {users, [](TKORVELSession& other) { other.ModifyServerUser("bob", "rotated", "Sales", true); }},
        {server,
         [](TKORVELSession& other)
         {
             ServerConfig config;
             other.GetServerConfig(config);
             config.DeadSessionInterval = 31;
             other.ModifyServerConfig(config);
         }},
        {own, [](TKORVELSession& other) { other.ModifyServerUser("admin", "rotated", "", true); }},
    };
    for (const auto& [page, whileAsking] : surfaces)
    {
        SCOPED_TRACE(page.Caption);
        StartEditing(page);
        page.ChangeElsewhere(other);
        int asked = 0;
        dialogs.WhileAsking = [&, whileAsking = whileAsking](const QString&)
        {
            if (asked++ == 0)
                whileAsking(other);
        };
        dialogs.Answers = {Answer::Yes, Answer::No};
        Click(page.SaveButton);
        dialogs.WhileAsking = {};
        ASSERT_EQ(asked, 2) << "asked again about the fresh read";
        EXPECT_TRUE(dialogs.Boxes.back().Text.startsWith(page.Listed))
            << dialogs.Boxes.back().Text.toStdString();
        EXPECT_EQ(dialogs.Presets.back(), Answer::No) << "an overwrite defaults to No";
        EXPECT_EQ(page.Stored(other), page.Other) << "nothing stale was sent";
        EXPECT_TRUE(Editing(page));
        EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join('\n').toStdString();
        dialogs.Boxes.clear();
        Click(page.Page == ServerPage ? "CancelServerButton" : "CancelUserButton");
    }
}

TEST_F(LostUpdatesTest, ASaveOfARecordDeletedMeanwhileSaysSoAndCreatesNothing)
{
    StartEditing(Cases()[0]); // bob on the Users page
    other.DeleteServerUser("bob");
    Click("SaveUserButton");
    ASSERT_EQ(dialogs.Boxes.size(), 1u);
    EXPECT_EQ(dialogs.Boxes[0].BoxKind, ScriptedDialogs::Kind::Information)
        << dialogs.Boxes[0].Text.toStdString();
    EXPECT_TRUE(dialogs.Boxes[0].Text.startsWith("bob was deleted by another administrator"));
    StringList users;
    other.GetServerUserNames(users);
    EXPECT_EQ(users, (StringList{"admin"})) << "bob was not made again";
}

} // namespace
} // namespace korvel::test
