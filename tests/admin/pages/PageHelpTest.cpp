#include "tests/admin/pages/PageFixture.h"

#include <QRegularExpression>

namespace korvel::test
{
namespace
{

TEST_F(PagesTest, EveryControlCarriesItsHelpContextAndThePagesTheirCaptions)
{
    // The help ids from 16 on, one after another; the two buttons of the Rights page share one.
    const QStringList controls = QStringLiteral(R"(
        SessionsListView TotalSessionsEdit RemoveButton TotalConnectedSessionsEdit DisconnectButton
        EngineVersionEdit ServerMemoryEdit UpTimeEdit MainPortEdit AdminPortEdit RefreshButton StartButton
        StopButton DenyLoginsCheckBox MaxConnectionsEdit TimeoutEdit DeadSessionIntervalEdit
        DeadSessionExpiresEdit MaxDeadSessionsEdit TempDirectoryEdit AuthorizedAddressesMemo
        BlockedAddressesMemo EditServerButton SaveServerButton CancelServerButton UsersListBox AddUserButton
        EditUserButton DeleteUserButton UserNameEdit PasswordEdit UserDescriptionMemo AdministratorCheckBox
        SaveUserButton CancelUserButton DatabasesListBox AddDatabaseButton EditDatabaseButton
        DeleteDatabaseButton DatabaseNameEdit DatabaseDescriptionMemo ServerDirectoryEdit SaveDatabaseButton
        CancelDatabaseButton DatabasesComboBox DatabaseUsersListBox AddDatabaseUserButton EditDatabaseUserButton
        DeleteDatabaseUserButton DatabaseUserEdit ReadCheckBox InsertCheckBox UpdateCheckBox DeleteCheckBox
        CreateCheckBox AlterCheckBox DropCheckBox SaveDatabaseUserButton CancelDatabaseUserButton LogListBox
        LoadLogButton SaveButton SelectTempFilesDirButton SelectDatabaseDirButton MainAddressEdit
        AdminAddressEdit RefreshRightsButton)")
                                     .split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    const auto expectContext = [this](const QString& name, int context)
    {
        const QWidget* control = Find(name.toLatin1().constData());
        ASSERT_NE(control, nullptr) << name.toStdString();
        EXPECT_EQ(control->property("helpContext").toInt(), context) << name.toStdString();
    };
    ASSERT_EQ(controls.size(), 67);
    int context = 16;
    for (const QString& name : controls)
        expectContext(name, context++);
    expectContext(QStringLiteral("SetRightsButton"), 82);
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
