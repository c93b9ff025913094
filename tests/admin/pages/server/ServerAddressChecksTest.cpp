// The Server page's address-list checks against a real korvel-refserver: entries that are not address
// patterns are marked and asked about (the shared table decides which), and a save that would refuse
// connected sessions at their next login says which addresses first.
#include "testing/AddressPatternTable.h"
#include "testing/LoadClients.h"
#include "tests/admin/pages/PageFixture.h"

#include <QDateTime>
#include <QTest>

#include <atomic>

namespace korvel::test
{
namespace
{

using admin::Answer;

class ServerAddressChecksTest : public PagesTest
{
protected:
    void EditAuthorized(const QString& text)
    {
        Click("EditServerButton");
        auto* memo = Find<QPlainTextEdit>("AuthorizedAddressesMemo");
        memo->selectAll();
        QTest::keyClicks(memo, text);
    }
    StringList ServerAuthorized()
    {
        ServerConfig config;
        session->GetServerConfig(config);
        return config.AuthorizedAddresses;
    }
};

TEST_F(ServerAddressChecksTest, EntriesOfTheSharedTableAreMarkedAndAskedAboutAsTheServerReadsThem)
{
    FillAtLogin();
    auto* memo = Find<QPlainTextEdit>("AuthorizedAddressesMemo");
    for (const auto& row : AddressPatternTable())
    {
        Click("EditServerButton");
        memo->setPlainText(QString::fromStdString("*\n\n" + row.Pattern)); // line 3, after a blank line
        EXPECT_EQ(memo->extraSelections().size(), row.Recognised ? 0 : 1) << row.Pattern;
        dialogs.Boxes.clear();
        dialogs.Answers = {Answer::No};
        Click("SaveServerButton");
        if (row.Recognised)
        {
            EXPECT_TRUE(dialogs.Boxes.empty()) << row.Pattern;
            EXPECT_EQ(ServerAuthorized().back(), row.Pattern);
        }
        else
        {
            ASSERT_EQ(dialogs.Boxes.size(), 1u) << row.Pattern;
            EXPECT_EQ(dialogs.Boxes[0].Text.toStdString(),
                      "Line 3 \"" + row.Pattern + "\" is not a recognised address pattern. Save anyway?");
            EXPECT_EQ(State(ServerPage), admin::esEditing) << "No keeps the edit open";
            Click("CancelServerButton");
        }
    }
    EditAuthorized("hello world");
    dialogs.Boxes.clear();
    dialogs.Answers = {Answer::Yes}; // no main-port session: the bad entry is the only question
    Click("SaveServerButton");
    EXPECT_EQ(dialogs.Boxes.size(), 1u);
    EXPECT_EQ(ServerAuthorized(), StringList{"hello world"}) << "the list's syntax is the server's: saved";
}

TEST_F(ServerAddressChecksTest, ASaveThatWouldRefuseConnectedSessionsNamesTheirAddressesFirst)
{
    LoadClients load(*server, 3); // main-port sessions from 127.0.0.1
    FillAtLogin();
    EditAuthorized("127.0.0.2");
    dialogs.Answers = {Answer::No};
    Click("SaveServerButton");
    ASSERT_EQ(dialogs.Boxes.size(), 1u);
    EXPECT_EQ(dialogs.Boxes[0].Text,
              "3 connected sessions from 127.0.0.1 would be refused at their next login. Save anyway?");
    EXPECT_EQ(ServerAuthorized(), StringList{}) << "nothing sent";

    Find<QPlainTextEdit>("AuthorizedAddressesMemo")->setPlainText("127.0.0.*");
    dialogs.Boxes.clear();
    Click("SaveServerButton");
    EXPECT_TRUE(dialogs.Boxes.empty()) << "nobody is refused";
    EXPECT_EQ(ServerAuthorized(), StringList{"127.0.0.*"});

    Click("EditServerButton");
    Find<QCheckBox>("DenyLoginsCheckBox")->setChecked(true);
    dialogs.Answers = {Answer::Yes};
    Click("SaveServerButton");
    ASSERT_EQ(dialogs.Boxes.size(), 1u);
    EXPECT_TRUE(dialogs.Boxes[0].Text.startsWith("3 connected sessions from 127.0.0.1"));
}

TEST_F(ServerAddressChecksTest, TheLockOutPreviewUsesAStatusRefreshUnderAMinuteOldInsteadOfAskingAgain)
{
    LoadClients load(*server, 3);
    FillAtLogin();
    RefreshAtLogin();
    std::atomic<int> traceLines = 0;
    session->SetOnRemoteTrace([&](TKORVELSession&, const std::string&) { ++traceLines; });
    session->SetRemoteTrace(true);
    auto saveAndCountTrace = [&]
    {
        EditAuthorized("127.0.0.2");
        dialogs.Boxes.clear();
        dialogs.Answers = {Answer::No};
        traceLines = 0;
        Click("SaveServerButton");
        Click("CancelServerButton");
        EXPECT_EQ(dialogs.Boxes.size(), 1u);
        EXPECT_TRUE(!dialogs.Boxes.empty() && dialogs.Boxes[0].Text.startsWith("3 connected sessions from"));
        return traceLines.load();
    };

    const int fromRefresh = saveAndCountTrace();
    // The same refresh two minutes later is too old: the sessions are asked for again.
    sessionWalk->Remember({"127.0.0.1", "127.0.0.1", "127.0.0.1"},
                          QDateTime::currentDateTimeUtc().addSecs(-120));
    const int walked = saveAndCountTrace();
    // GETSESSIONS and three GETSESSIONINFO, each traced at least once.
    EXPECT_GE(walked - fromRefresh, 4) << "from the refresh: " << fromRefresh << " lines, walked: " << walked;
    EXPECT_EQ(ServerAuthorized(), StringList{}) << "nothing sent";
    session->SetOnRemoteTrace(nullptr);
}

} // namespace
} // namespace korvel::test
