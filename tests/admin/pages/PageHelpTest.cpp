#include "tests/admin/pages/PageFixture.h"

namespace korvel::test
{
namespace
{

TEST_F(PagesTest, EveryControlCarriesItsHelpContextAndThePagesTheirCaptions)
{
    const std::pair<const char*, int> controls[] = {{"SessionsListView", 16},
                                                    {"TotalSessionsEdit", 17},
                                                    {"RemoveButton", 18},
                                                    {"TotalConnectedSessionsEdit", 19},
                                                    {"DisconnectButton", 20},
                                                    {"EngineVersionEdit", 21},
                                                    {"ServerMemoryEdit", 22},
                                                    {"UpTimeEdit", 23},
                                                    {"MainPortEdit", 24},
                                                    {"AdminPortEdit", 25},
                                                    {"RefreshButton", 26},
                                                    {"StartButton", 27},
                                                    {"StopButton", 28},
                                                    {"MainAddressEdit", 80},
                                                    {"AdminAddressEdit", 81},
                                                    {"DenyLoginsCheckBox", 29},
                                                    {"MaxConnectionsEdit", 30},
                                                    {"TimeoutEdit", 31},
                                                    {"DeadSessionIntervalEdit", 32},
                                                    {"DeadSessionExpiresEdit", 33},
                                                    {"MaxDeadSessionsEdit", 34},
                                                    {"TempDirectoryEdit", 35},
                                                    {"AuthorizedAddressesMemo", 36},
                                                    {"BlockedAddressesMemo", 37},
                                                    {"EditServerButton", 38},
                                                    {"SaveServerButton", 39},
                                                    {"CancelServerButton", 40},
                                                    {"SelectTempFilesDirButton", 78},
                                                    {"UsersListBox", 41},
                                                    {"AddUserButton", 42},
                                                    {"EditUserButton", 43},
                                                    {"DeleteUserButton", 44},
                                                    {"UserNameEdit", 45},
                                                    {"PasswordEdit", 46},
                                                    {"UserDescriptionMemo", 47},
                                                    {"AdministratorCheckBox", 48},
                                                    {"SaveUserButton", 49},
                                                    {"CancelUserButton", 50},
                                                    {"DatabasesListBox", 51},
                                                    {"AddDatabaseButton", 52},
                                                    {"EditDatabaseButton", 53},
                                                    {"DeleteDatabaseButton", 54},
                                                    {"DatabaseNameEdit", 55},
                                                    {"DatabaseDescriptionMemo", 56},
                                                    {"ServerDirectoryEdit", 57},
                                                    {"SaveDatabaseButton", 58},
                                                    {"CancelDatabaseButton", 59},
                                                    {"SelectDatabaseDirButton", 79},
                                                    {"DatabasesComboBox", 60},
                                                    {"DatabaseUsersListBox", 61},
                                                    {"AddDatabaseUserButton", 62},
                                                    {"EditDatabaseUserButton", 63},
                                                    {"DeleteDatabaseUserButton", 64},
                                                    {"DatabaseUserEdit", 65},
                                                    {"ReadCheckBox", 66},
                                                    {"InsertCheckBox", 67},
                                                    {"UpdateCheckBox", 68},
                                                    {"DeleteCheckBox", 69},
                                                    {"CreateCheckBox", 70},
                                                    {"AlterCheckBox", 71},
                                                    {"DropCheckBox", 72},
                                                    {"SaveDatabaseUserButton", 73},
                                                    {"CancelDatabaseUserButton", 74},
                                                    {"LogListBox", 75},
                                                    {"LoadLogButton", 76},
                                                    {"SaveButton", 77},
                                                    {"RefreshRightsButton", 82},
                                                    {"SetRightsButton", 82}};
    for (const auto& [name, context] : controls)
    {
        const QWidget* control = Find(name);
        ASSERT_NE(control, nullptr) << name;
        EXPECT_EQ(control->property("helpContext").toInt(), context) << name;
    }
    // The user chooser has no help of its own.
    EXPECT_FALSE(Find("UserComboBox")->property("helpContext").isValid());

    QStringList captions;
    for (const admin::AdminPage* page : pages)
        captions << page->Caption();
    EXPECT_EQ(captions, (QStringList{"Status", "Server", "Users", "Databases", "Database Users", "Rights",
                                     "Log", "Servers"}));
    int editable = 0;
    for (admin::AdminPage* page : pages)
        editable += page->Editable() != nullptr ? 1 : 0;
    EXPECT_EQ(editable, 4);
}

} // namespace
} // namespace korvel::test
