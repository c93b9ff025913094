// The journal of the pages' changes, driven with the mouse and the keyboard against a real korvel-refserver:
// one line per change with what it changed and never a password, a refusal with the server's code, and no
// change at all when the journal cannot be opened.
#include "testing/LoadClients.h"
#include "tests/admin/pages/PageFixture.h"

#include "admin/pages/status/StatusPage.h"

#include <QTest>
#include <QTreeView>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace korvel::test
{
namespace
{

using admin::Answer;

class PageJournalTest : public PagesTest
{
protected:
    void Show(PageIndex index)
    {
        window->show();
        SetCurrentPage(index);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        WaitForRunner();
    }
    void Type(const char* name, const QString& text) const
    {
        auto* edit = Find<QLineEdit>(name);
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }
    std::string JournalText() const
    {
        std::ifstream file(journal->Path());
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }
    StringList ServerUsers() const
    {
        StringList names;
        session->GetServerUserNames(names);
        return names;
    }
};

TEST_F(PageJournalTest, AUserAddedAndItsPasswordChangedAreOneLineEachWithoutThePassword)
{
    profile = "office";
    FillAtLogin();
    Show(UsersPage);
    Click("AddUserButton");
    Type("UserNameEdit", "carol");
    Type("PasswordEdit", "first-Secret-1");
    Click("SaveUserButton");
    Click("EditUserButton");
    Type("PasswordEdit", "second-Secret-2");
    QTest::mouseClick(Find<QCheckBox>("AdministratorCheckBox"), Qt::LeftButton, {}, QPoint(4, 4));
    Click("SaveUserButton");
    Pick("UsersListBox", 0); // a read: not journaled
    ASSERT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join('\n').toStdString();

    const std::vector<journal::Entry> entries = Journaled();
    ASSERT_EQ(entries.size(), 2u) << JournalText();
    EXPECT_EQ(entries[0].Operation, "add user");
    EXPECT_EQ(entries[0].Object, "carol");
    EXPECT_EQ(entries[0].Change, "administrator false; description \"\"; password set");
    EXPECT_EQ(entries[1].Operation, "modify user");
    EXPECT_EQ(entries[1].Change, "administrator false -> true; password changed");
    for (const journal::Entry& entry : entries)
    {
        EXPECT_TRUE(entry.Ok);
        EXPECT_EQ(entry.From.Server, "127.0.0.1:" + std::to_string(server->AdminPort()));
        EXPECT_EQ(entry.From.User, "admin");
        EXPECT_EQ(entry.From.Profile, "office");
        EXPECT_EQ(entry.From.Program, "korvel-admin");
    }
    const std::string text = JournalText();
    EXPECT_EQ(text.find("first-Secret-1"), std::string::npos);
    EXPECT_EQ(text.find("second-Secret-2"), std::string::npos);
    EXPECT_EQ(std::filesystem::status(journal->Path()).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST_F(PageJournalTest, AConfigurationSavedIsOneLineFromBeforeToAfter)
{
    ServerConfig held;
    session->GetServerConfig(held);
    FillAtLogin();
    Show(ServerPage);
    Click("EditServerButton");
    Type("MaxConnectionsEdit", QString::number(held.MaxConnections + 5));
    Click("SaveServerButton");
    ASSERT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join('\n').toStdString();

    const std::vector<journal::Entry> entries = Journaled();
    ASSERT_EQ(entries.size(), 1u) << JournalText();
    EXPECT_EQ(entries[0].Operation, "modify config");
    EXPECT_EQ(entries[0].Change, "max_connections " + std::to_string(held.MaxConnections) + " -> " +
                                     std::to_string(held.MaxConnections + 5));
}

TEST_F(PageJournalTest, ASessionDisconnectedFromTheStatusPageIsOneLineNamingIt)
{
    LoadClients load(*server, 1);
    Show(StatusPage);
    Click("RefreshButton");
    auto* sessions = Find<QTreeView>("SessionsListView");
    const QAbstractItemModel* shown = sessions->model();
    int row = 0;
    while (row < shown->rowCount() && !shown->index(row, 0).data(admin::StatusPage::ConnectedRole).toBool())
        ++row;
    ASSERT_LT(row, shown->rowCount());
    const int id = shown->index(row, 0).data(admin::StatusPage::SessionIdRole).toInt();
    QTest::mouseClick(sessions->viewport(), Qt::LeftButton, {},
                      sessions->visualRect(shown->index(row, 0)).center());
    dialogs.Answers = {Answer::Yes};
    Click("DisconnectButton");
    ASSERT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join('\n').toStdString();

    const std::vector<journal::Entry> entries = Journaled();
    ASSERT_EQ(entries.size(), 1u) << JournalText();
    EXPECT_EQ(entries[0].Operation, "disconnect session");
    EXPECT_EQ(entries[0].Object, std::to_string(id));
    EXPECT_TRUE(entries[0].Ok);
}

TEST_F(PageJournalTest, NoJournalNoChangeAndARefusalIsJournaledWithTheServersCode)
{
    FillAtLogin();
    Show(UsersPage);
    // A directory where the file should be: the journal cannot be opened, whoever runs the test.
    std::filesystem::create_directories(journal->Path());
    Click("AddUserButton");
    Type("UserNameEdit", "dave");
    Type("PasswordEdit", "d");
    Click("SaveUserButton");
    ASSERT_EQ(dialogs.Errors().size(), 1);
    EXPECT_TRUE(dialogs.Errors()[0].contains(QString::fromStdString(journal->Path())))
        << dialogs.Errors()[0].toStdString();
    const StringList users = ServerUsers();
    EXPECT_EQ(std::count(users.begin(), users.end(), "dave"), 0) << "nothing was sent";

    std::filesystem::remove(journal->Path());
    Type("UserNameEdit", "admin"); // still adding: the server already has that user
    Click("SaveUserButton");
    ASSERT_EQ(dialogs.Errors().size(), 2);
    const std::vector<journal::Entry> entries = Journaled();
    ASSERT_EQ(entries.size(), 1u) << JournalText();
    EXPECT_EQ(entries[0].Operation, "add user");
    EXPECT_EQ(entries[0].Object, "admin");
    EXPECT_FALSE(entries[0].Ok);
    EXPECT_NE(entries[0].ErrorCode, 0);
    EXPECT_TRUE(dialogs.Errors()[1].contains(QString::fromStdString(entries[0].ErrorMessage)))
        << dialogs.Errors()[1].toStdString() << " / " << entries[0].ErrorMessage;
}

} // namespace
} // namespace korvel::test
