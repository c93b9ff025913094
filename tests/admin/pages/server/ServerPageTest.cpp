#include "tests/admin/pages/PageFixture.h"

#include "admin/pages/server/ServerPage.h"

#include <QTest>

namespace korvel::test
{
namespace
{

using admin::Answer;
using admin::esEditing;
using admin::esViewing;

class ServerPageTest : public PagesTest
{
protected:
    ServerConfig ServerHolds() const
    {
        ServerConfig config;
        session->GetServerConfig(config);
        return config;
    }
};

TEST_F(ServerPageTest, ViewModeShowsTheServerValuesAndEditModeOpensTheFields)
{
    ServerConfig config = ServerHolds();
    config.MaxConnections = 77;
    config.ConnectionTimeout = 300;
    config.TempDirectory = "/var/tmp/k";
    config.AuthorizedAddresses = {"127.0.0.1", "10.0.0.*"};
    config.DenyLogins = true;
    session->ModifyServerConfig(config);
    FillAtLogin();

    EXPECT_EQ(Text("MaxConnectionsEdit"), "77");
    EXPECT_EQ(Text("TimeoutEdit"), "300");
    EXPECT_EQ(Text("TempDirectoryEdit"), "/var/tmp/k");
    // Each entry ends in a line break, so an empty last entry would show as an empty line.
    EXPECT_EQ(Find<QPlainTextEdit>("AuthorizedAddressesMemo")->toPlainText(), "127.0.0.1\n10.0.0.*\n");
    auto* deny = Find<QCheckBox>("DenyLoginsCheckBox");
    EXPECT_TRUE(deny->isChecked());
    EXPECT_FALSE(deny->isEnabled());
    EXPECT_TRUE(deny->text().isEmpty());
    EXPECT_TRUE(ReadOnly("MaxConnectionsEdit"));
    EXPECT_TRUE(Find<QPlainTextEdit>("BlockedAddressesMemo")->isReadOnly());
    EXPECT_EQ(Find("TempDirectoryEdit")->focusPolicy(), Qt::ClickFocus);
    EXPECT_FALSE(Shown("SelectTempFilesDirButton"));
    EXPECT_TRUE(Shown("EditServerButton"));
    EXPECT_FALSE(Shown("SaveServerButton"));
    EXPECT_FALSE(Shown("CancelServerButton"));

    Click("EditServerButton");
    EXPECT_EQ(State(ServerPage), esEditing);
    EXPECT_FALSE(ReadOnly("MaxConnectionsEdit"));
    EXPECT_FALSE(Find<QPlainTextEdit>("BlockedAddressesMemo")->isReadOnly());
    EXPECT_EQ(Find("TempDirectoryEdit")->focusPolicy(), Qt::StrongFocus);
    EXPECT_TRUE(deny->isEnabled());
    EXPECT_EQ(deny->text(), "Deny New Connections");
    EXPECT_TRUE(Shown("SelectTempFilesDirButton"));
    EXPECT_FALSE(Shown("EditServerButton"));
    EXPECT_TRUE(Shown("SaveServerButton"));
    EXPECT_TRUE(Shown("CancelServerButton"));
}

TEST_F(ServerPageTest, NumberFieldsTakeOnlyDigitsBackspaceAndEnter)
{
    FillAtLogin();
    Click("EditServerButton");
    for (const char* name : {"MaxConnectionsEdit", "TimeoutEdit", "DeadSessionIntervalEdit",
                             "DeadSessionExpiresEdit", "MaxDeadSessionsEdit"})
    {
        auto* field = Find<QLineEdit>(name);
        field->clear();
        QTest::keyClicks(field, "1a2-b 3.");
        EXPECT_EQ(field->text(), "123") << name;
        QTest::keyClick(field, Qt::Key_Backspace);
        EXPECT_EQ(field->text(), "12") << name;
    }
    // Other fields are not filtered.
    auto* directory = Find<QLineEdit>("TempDirectoryEdit");
    directory->clear();
    QTest::keyClicks(directory, "a1/");
    EXPECT_EQ(directory->text(), "a1/");
}

TEST_F(ServerPageTest, SaveSendsEveryValueAndShowsWhatTheServerNowHolds)
{
    FillAtLogin();
    Click("EditServerButton");
    SetText("MaxConnectionsEdit", "65535");
    SetText("TimeoutEdit", "1");
    SetText("DeadSessionIntervalEdit", "2");
    SetText("DeadSessionExpiresEdit", "3");
    SetText("MaxDeadSessionsEdit", "0");
    SetText("TempDirectoryEdit", "/srv/tmp");
    Find<QCheckBox>("DenyLoginsCheckBox")->setChecked(true);
    Find<QPlainTextEdit>("AuthorizedAddressesMemo")->setPlainText("1.2.3.4\n\n5.6.7.8\n");
    Find<QPlainTextEdit>("BlockedAddressesMemo")->setPlainText("9.9.9.9");
    Click("SaveServerButton");

    EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join('\n').toStdString();
    const ServerConfig config = ServerHolds();
    EXPECT_TRUE(config.DenyLogins);
    EXPECT_EQ(config.MaxConnections, 65535);
    EXPECT_EQ(config.ConnectionTimeout, 1);
    EXPECT_EQ(config.DeadSessionInterval, 2);
    EXPECT_EQ(config.DeadSessionExpires, 3);
    EXPECT_EQ(config.MaxDeadSessions, 0);
    EXPECT_EQ(config.TempDirectory, "/srv/tmp");
    EXPECT_EQ(config.AuthorizedAddresses,
              (StringList{"1.2.3.4", "5.6.7.8"})); // a blank line typed is no entry
    EXPECT_EQ(config.BlockedAddresses, (StringList{"9.9.9.9"}));
    EXPECT_EQ(State(ServerPage), esViewing);
    EXPECT_TRUE(ReadOnly("MaxConnectionsEdit"));
    EXPECT_EQ(Find<QPlainTextEdit>("AuthorizedAddressesMemo")->toPlainText(), "1.2.3.4\n5.6.7.8\n");
}

TEST_F(ServerPageTest, BadNumbersAreRefusedInConversionOrderBeforeAnythingIsSent)
{
    FillAtLogin();
    const ServerConfig before = ServerHolds();
    Click("EditServerButton");
    SetText("MaxConnectionsEdit", "");        // converted after the directory
    SetText("DeadSessionExpiresEdit", "12x"); // pasted text is not filtered
    SetText("TimeoutEdit", "70000");
    Click("SaveServerButton");
    SetText("TimeoutEdit", "5");
    Click("SaveServerButton");
    SetText("DeadSessionExpiresEdit", "5");
    Click("SaveServerButton");

    ASSERT_EQ(dialogs.Errors().size(), 3);
    EXPECT_TRUE(dialogs.Errors()[0].contains("'70000'"));
    EXPECT_TRUE(dialogs.Errors()[0].contains("Connection Timeout"));
    EXPECT_TRUE(dialogs.Errors()[0].contains("65535"));
    EXPECT_EQ(dialogs.Errors()[1], "'12x' is not a valid integer value");
    EXPECT_EQ(dialogs.Errors()[2], "'' is not a valid integer value");
    EXPECT_EQ(State(ServerPage), esEditing);
    EXPECT_FALSE(ReadOnly("MaxConnectionsEdit"));
    EXPECT_EQ(Text("MaxConnectionsEdit"), "");
    EXPECT_EQ(ServerHolds().ConnectionTimeout, before.ConnectionTimeout);

    EXPECT_THROW(Editable(ServerPage)->SaveEdits({}), admin::EConvertError);
    EXPECT_EQ(State(ServerPage), esEditing);
}

TEST_F(ServerPageTest, CancelRestoresTheServerValues)
{
    FillAtLogin();
    const QString original = Text("MaxDeadSessionsEdit");
    Click("EditServerButton");
    SetText("MaxDeadSessionsEdit", "4321");
    Find<QPlainTextEdit>("BlockedAddressesMemo")->setPlainText("8.8.8.8");
    EXPECT_EQ(
        Editable(ServerPage)->PendingEditsQuestion(),
        "You are currently editing the server information. Would you like to save this information before "
        "continuing ?");
    Editable(ServerPage)->CancelEdits();
    WaitForRunner();
    EXPECT_EQ(Text("MaxDeadSessionsEdit"), original);
    EXPECT_TRUE(Find<QPlainTextEdit>("BlockedAddressesMemo")->toPlainText().isEmpty());
    EXPECT_EQ(State(ServerPage), esViewing);
    EXPECT_TRUE(Shown("EditServerButton"));
}

TEST_F(ServerPageTest, SelectButtonStartsInAnExistingDirectoryOrTheProgramDirectory)
{
    FillAtLogin();
    Click("EditServerButton");
    SetText("TempDirectoryEdit", "");
    dialogs.Directories = {std::nullopt, QStringLiteral("/chosen/dir"), std::nullopt};
    Click("SelectTempFilesDirButton"); // cancelled
    EXPECT_EQ(Text("TempDirectoryEdit"), "");
    SetText("TempDirectoryEdit", "/no/such/directory");
    Click("SelectTempFilesDirButton");
    EXPECT_EQ(Text("TempDirectoryEdit"), "/chosen/dir");
    SetText("TempDirectoryEdit", "/tmp");
    Click("SelectTempFilesDirButton");
    EXPECT_EQ(dialogs.BrowseStarts, (std::vector<QString>{programDir, programDir, "/tmp"}));
    EXPECT_EQ(Text("TempDirectoryEdit"), "/tmp");
}

TEST_F(ServerPageTest, AnUntouchedSaveSendsTheAddressListsAsTheyCame)
{
    ServerConfig config = ServerHolds();
    config.AuthorizedAddresses = {"10.0.0.*", "", ""};
    config.BlockedAddresses = {""};
    session->ModifyServerConfig(config);
    FillAtLogin();
    Click("EditServerButton");
    Click("SaveServerButton");
    EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join('\n').toStdString();
    EXPECT_EQ(ServerHolds().AuthorizedAddresses, (StringList{"10.0.0.*", "", ""}));
    EXPECT_EQ(ServerHolds().BlockedAddresses, (StringList{""}));

    config.AuthorizedAddresses = {};
    config.BlockedAddresses = {"1.2.3.4"};
    session->ModifyServerConfig(config);
    FillAtLogin();
    Click("EditServerButton");
    Click("SaveServerButton");
    EXPECT_EQ(ServerHolds().AuthorizedAddresses, StringList{});
    EXPECT_EQ(ServerHolds().BlockedAddresses, (StringList{"1.2.3.4"}));
}

} // namespace
} // namespace korvel::test
