#include "tests/admin/pages/PageFixture.h"

#include <QApplication>
#include <QKeyEvent>

namespace korvel::test
{
namespace
{

using admin::Answer;
using admin::esAdding;
using admin::esEditing;
using admin::esViewing;

class UsersPageTest : public PagesTest
{
protected:
    void AddUser(const QString& name, const QString& password, bool administrator = false)
    {
        Click("AddUserButton");
        SetText("UserNameEdit", name);
        SetText("PasswordEdit", password);
        Find<QPlainTextEdit>("UserDescriptionMemo")->setPlainText("about " + name);
        Find<QCheckBox>("AdministratorCheckBox")->setChecked(administrator);
        Click("SaveUserButton");
    }
    QStringList ChooserItems() const
    {
        QStringList items;
        const auto* chooser = Find<QComboBox>("UserComboBox");
        for (int i = 0; i < chooser->count(); ++i)
            items << chooser->itemText(i);
        return items;
    }
};

TEST_F(UsersPageTest, AddingSelectsTheNewUserInTheSortedListAndUpdatesTheUserChooser)
{
    FillAtLogin();
    AddUser("zed", "z-pass");
    AddUser("Bob", "b-pass", true);
    EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join('\n').toStdString();

    EXPECT_EQ(Items("UsersListBox"), (QStringList{"admin", "Bob", "zed"}));
    EXPECT_EQ(Selected("UsersListBox"), "Bob");
    EXPECT_EQ(Text("UserNameEdit"), "Bob");
    EXPECT_EQ(Text("PasswordEdit"), "b-pass");
    EXPECT_EQ(Find<QPlainTextEdit>("UserDescriptionMemo")->toPlainText(), "about Bob");
    EXPECT_TRUE(Find<QCheckBox>("AdministratorCheckBox")->isChecked());
    EXPECT_EQ(State(UsersPage), esViewing);
    EXPECT_EQ(ChooserItems(), Items("UsersListBox"));

    Pick("UsersListBox", 2);
    EXPECT_EQ(Text("UserNameEdit"), "zed");
    EXPECT_EQ(Text("PasswordEdit"), "z-pass");
    EXPECT_FALSE(Find<QCheckBox>("AdministratorCheckBox")->isChecked());

    std::string password, description;
    bool administrator = false;
    session->GetServerUser("Bob", password, description, administrator);
    EXPECT_EQ(password, "b-pass");
    EXPECT_TRUE(administrator);
}

TEST_F(UsersPageTest, EditModesSwitchEveryControl)
{
    FillAtLogin();
    EXPECT_TRUE(ReadOnly("UserNameEdit"));
    EXPECT_TRUE(ReadOnly("PasswordEdit"));
    EXPECT_EQ(Find<QLineEdit>("PasswordEdit")->echoMode(), QLineEdit::Password);
    EXPECT_FALSE(Find<QCheckBox>("AdministratorCheckBox")->isEnabled());
    EXPECT_TRUE(Enabled("EditUserButton"));
    EXPECT_FALSE(Shown("SaveUserButton"));

    Click("AddUserButton");
    EXPECT_EQ(State(UsersPage), esAdding);
    EXPECT_FALSE(ReadOnly("UserNameEdit"));
    EXPECT_EQ(Text("UserNameEdit"), "");
    EXPECT_EQ(Find<QCheckBox>("AdministratorCheckBox")->text(), "Administrator");
    for (const char* name : {"UsersListBox", "AddUserButton", "EditUserButton", "DeleteUserButton"})
        EXPECT_FALSE(Enabled(name)) << name;
    EXPECT_TRUE(Shown("SaveUserButton"));
    EXPECT_TRUE(Shown("CancelUserButton"));
    Click("CancelUserButton");
    EXPECT_EQ(Text("UserNameEdit"), "admin"); // the selected user again

    Click("EditUserButton");
    EXPECT_EQ(State(UsersPage), esEditing);
    EXPECT_TRUE(ReadOnly("UserNameEdit"));
    EXPECT_FALSE(ReadOnly("PasswordEdit"));
    EXPECT_FALSE(Find<QPlainTextEdit>("UserDescriptionMemo")->isReadOnly());
}

TEST_F(UsersPageTest, CancelAfterEditRestoresTheServerValuesIncludingThePassword)
{
    FillAtLogin();
    AddUser("carol", "original");
    Click("EditUserButton");
    SetText("PasswordEdit", "changed");
    Find<QCheckBox>("AdministratorCheckBox")->setChecked(true);
    EXPECT_EQ(
        Editable(UsersPage)->PendingEditsQuestion(),
        "You are currently editing the user information. Would you like to save this information before "
        "continuing ?");
    Editable(UsersPage)->CancelEdits();
    WaitForRunner();
    EXPECT_EQ(Text("PasswordEdit"), "original");
    EXPECT_FALSE(Find<QCheckBox>("AdministratorCheckBox")->isChecked());
    EXPECT_EQ(State(UsersPage), esViewing);
}

TEST_F(UsersPageTest, DeletingSelectsTheUserThatTookItsPlaceOrTheNewLast)
{
    FillAtLogin();
    for (const char* name : {"b", "c", "d"})
        AddUser(name, "p");
    Pick("UsersListBox", 2); // c, in the middle
    dialogs.Answers = {Answer::No, Answer::Yes, Answer::Yes};
    Click("DeleteUserButton");
    EXPECT_EQ(Items("UsersListBox").size(), 4);
    Click("DeleteUserButton");
    EXPECT_EQ(Items("UsersListBox"), (QStringList{"admin", "b", "d"}));
    EXPECT_EQ(Selected("UsersListBox"), "d");
    EXPECT_EQ(Text("UserNameEdit"), "d");
    Click("DeleteUserButton"); // the last one
    EXPECT_EQ(Selected("UsersListBox"), "b");
    EXPECT_EQ(Text("UserNameEdit"), "b");
    EXPECT_EQ(dialogs.Boxes.front().Text, "Are you sure you want to delete the selected user ?");
    EXPECT_EQ(dialogs.Boxes.front().BoxKind, ScriptedDialogs::Kind::WarningYesNo);
    EXPECT_EQ(ChooserItems(), (QStringList{"admin", "b"}));
}

TEST_F(UsersPageTest, AFailedSaveKeepsEditModeAndTheTypedValues)
{
    FillAtLogin();
    AddUser("admin", "other"); // the server refuses a duplicate name
    ASSERT_EQ(dialogs.Errors().size(), 1);
    EXPECT_EQ(State(UsersPage), esAdding);
    EXPECT_EQ(Text("PasswordEdit"), "other");
    EXPECT_TRUE(Shown("SaveUserButton"));
    // The save the window's guard runs fails the same way, and says nothing is saved.
    bool saved = false;
    Editable(UsersPage)->SaveEdits([&] { saved = true; });
    WaitForRunner();
    EXPECT_FALSE(saved);
    EXPECT_EQ(dialogs.Errors().size(), 2);
    EXPECT_EQ(State(UsersPage), esAdding);
}

TEST_F(UsersPageTest, TextFieldsAcceptAtMost255BytesOfUtf8)
{
    FillAtLogin();
    Click("AddUserButton");
    auto* name = Find<QLineEdit>("UserNameEdit");
    for (int i = 0; i < 200; ++i) // two bytes each
    {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(QChar(0x00E9)));
        QApplication::sendEvent(name, &key);
    }
    EXPECT_EQ(name->text().toUtf8().size(), 254);
    auto* description = Find<QPlainTextEdit>("UserDescriptionMemo");
    description->insertPlainText(QString(250, QLatin1Char('x')));
    description->insertPlainText(QString(50, QLatin1Char('y'))); // does not fit: refused whole
    EXPECT_EQ(description->toPlainText(), QString(250, QLatin1Char('x')));
    SetText("PasswordEdit", "p");
    Click("SaveUserButton");
    EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join('\n').toStdString();
    EXPECT_EQ(Text("UserNameEdit"), QString(127, QChar(0x00E9))); // stored whole, not cut by the session
}

} // namespace
} // namespace korvel::test
