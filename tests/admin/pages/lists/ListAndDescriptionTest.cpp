// What a person does with the mouse and the keyboard on the Users, Databases and Database Users pages: a
// click on a name shows that item, Ctrl+click deselects it, typing in a full description, descriptions
// written by another client (CR LF line breaks) coming back unchanged after an untouched Edit and Save, and
// where Edit puts the focus.
#include "admin/pages/PageFields.h"
#include "tests/admin/pages/PageFixture.h"

#include <QApplication>
#include <QTest>

#include <tuple>

namespace korvel::test
{
namespace
{

using admin::Answer;

class ListAndDescriptionTest : public PagesTest
{
protected:
    // The page shown, as the user sees it, so its rows have their places on the screen.
    void Show(PageIndex page)
    {
        SetCurrentPage(page);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    // A real mouse click in the middle of the row showing `text`.
    void ClickRow(const char* listName, const QString& text, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        auto* list = Find<QAbstractItemView>(listName);
        const QStringList rows = RowTexts(*list);
        ASSERT_EQ(rows.count(text), 1) << text.toStdString();
        const QRect rect = list->visualRect(list->model()->index(rows.indexOf(text), 0));
        ASSERT_FALSE(rect.isEmpty());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, rect.center());
        WaitForRunner();
    }
    QPlainTextEdit* Memo(const char* name) const { return Find<QPlainTextEdit>(name); }
    QString NoErrors() const { return dialogs.Errors().join('\n'); }
};

TEST_F(ListAndDescriptionTest, AClickOnANameShowsThatItemAndDeleteRemovesIt)
{
    session->AddServerUser("bob", "bob-pw", "Sales team", false);
    session->AddServerUser("carol", "carol-pw", "Warehouse", true);
    session->AddServerDatabase("Sales", "Orders", "/srv/sales");
    session->AddServerDatabaseUser("Sales", "bob", TUserRights::FromByte(0x07));
    session->AddServerDatabaseUser("Sales", "carol", TUserRights::FromByte(0x01));
    FillAtLogin();

    Show(UsersPage);
    ClickRow("UsersListBox", "bob");
    EXPECT_EQ(Text("UserNameEdit"), "bob");
    EXPECT_EQ(Text("PasswordEdit"), "bob-pw");
    EXPECT_EQ(Memo("UserDescriptionMemo")->toPlainText(), "Sales team");
    ClickRow("UsersListBox", "carol");
    EXPECT_EQ(Text("UserNameEdit"), "carol");
    EXPECT_TRUE(Find<QCheckBox>("AdministratorCheckBox")->isChecked());
    dialogs.Answers = {Answer::Yes};
    Click("DeleteUserButton");
    EXPECT_EQ(NoErrors(), "");
    EXPECT_EQ(Items("UsersListBox"), (QStringList{"admin", "bob"}));

    Show(DatabasesPage);
    session->AddServerDatabase("Archive", "Old orders", "/srv/archive");
    FillAtLogin(); // Archive sorts first and is selected
    ClickRow("DatabasesListBox", "Sales");
    EXPECT_EQ(Text("DatabaseNameEdit"), "Sales");
    EXPECT_EQ(Memo("DatabaseDescriptionMemo")->toPlainText(), "Orders");
    EXPECT_EQ(Text("ServerDirectoryEdit"), "/srv/sales");

    Show(DatabaseUsersPage);
    auto* selector = Find<QComboBox>("DatabasesComboBox");
    selector->setCurrentIndex(selector->findText("Sales"));
    emit selector->activated(selector->currentIndex());
    WaitForRunner();
    session->AddServerUser("dave", "d", "", false);
    session->AddServerDatabaseUser("Sales", "dave", TUserRights::FromByte(0x03));
    emit selector->activated(selector->currentIndex());
    WaitForRunner();
    ClickRow("DatabaseUsersListBox", "dave");
    EXPECT_EQ(Text("DatabaseUserEdit"), "dave");
    EXPECT_TRUE(Find<QCheckBox>("InsertCheckBox")->isChecked());
    EXPECT_FALSE(Find<QCheckBox>("UpdateCheckBox")->isChecked());
    dialogs.Answers = {Answer::Yes};
    Click("DeleteDatabaseUserButton");
    EXPECT_EQ(NoErrors(), "");
    EXPECT_FALSE(Items("DatabaseUsersListBox").contains("dave"));
    EXPECT_TRUE(Items("DatabaseUsersListBox").contains("bob"));
}

TEST_F(ListAndDescriptionTest, ACtrlClickThatDeselectsLeavesNoRowToEditOrDelete)
{
    session->AddServerUser("bob", "bob-pw", "Sales team", false);
    session->AddServerDatabase("Sales", "Orders", "/srv/sales");
    FillAtLogin();

    Show(UsersPage);
    ClickRow("UsersListBox", "bob");
    ASSERT_TRUE(Enabled("DeleteUserButton"));
    ClickRow("UsersListBox", "bob", Qt::ControlModifier);
    EXPECT_EQ(Selected("UsersListBox"), "");
    EXPECT_EQ(Text("UserNameEdit"), "");
    EXPECT_FALSE(Enabled("EditUserButton"));
    EXPECT_FALSE(Enabled("DeleteUserButton"));
    EXPECT_TRUE(Enabled("AddUserButton"));
    ClickRow("UsersListBox", "bob"); // chosen again
    EXPECT_EQ(Text("UserNameEdit"), "bob");
    EXPECT_TRUE(Enabled("DeleteUserButton"));

    Show(DatabasesPage);
    ClickRow("DatabasesListBox", "Sales", Qt::ControlModifier);
    EXPECT_EQ(Text("DatabaseNameEdit"), "");
    EXPECT_FALSE(Enabled("EditDatabaseButton"));
    EXPECT_FALSE(Enabled("DeleteDatabaseButton"));
    EXPECT_EQ(NoErrors(), "");
}

TEST_F(ListAndDescriptionTest, TypingInAFullFieldRefusesOnlyWhatDoesNotFit)
{
    const std::string full = "start-" + std::string(245, 'x') + "-end"; // 255 bytes
    session->AddServerUser("bob", std::string(255, 'p'), full, false);
    FillAtLogin();
    Show(UsersPage);
    ClickRow("UsersListBox", "bob");
    Click("EditUserButton");

    QPlainTextEdit* memo = Memo("UserDescriptionMemo");
    memo->setFocus();
    QTextCursor cursor = memo->textCursor();
    cursor.setPosition(3);
    memo->setTextCursor(cursor);
    QTest::keyClicks(memo, "yz");
    EXPECT_EQ(memo->toPlainText().toStdString(), full) << "nothing cut at the end";
    EXPECT_EQ(memo->textCursor().position(), 3);
    QTest::keyClick(memo, Qt::Key_Backspace); // "a" goes: one byte free, one character fits
    QTest::keyClicks(memo, "AB");
    EXPECT_EQ(memo->toPlainText().toStdString(), "stArt-" + std::string(245, 'x') + "-end");
    EXPECT_EQ(memo->textCursor().position(), 3);

    auto* password = Find<QLineEdit>("PasswordEdit");
    password->setFocus();
    password->setCursorPosition(10);
    QTest::keyClicks(password, "q");
    EXPECT_EQ(password->text(), QString(255, QLatin1Char('p')));
    EXPECT_EQ(password->cursorPosition(), 10);

    Click("SaveUserButton");
    EXPECT_EQ(NoErrors(), "");
    std::string storedPassword, description;
    bool administrator = false;
    session->GetServerUser("bob", storedPassword, description, administrator);
    EXPECT_EQ(description, "stArt-" + std::string(245, 'x') + "-end");
}

TEST_F(ListAndDescriptionTest, DescriptionsKeepTheirLineBreaksThroughEditAndSave)
{
    const std::string windows = "Head office\r\nsecond floor\r\n";
    const std::string unix = "Sales\nteam";
    session->AddServerUser("bob", "pw", windows, false);
    session->AddServerUser("carol", "pw", unix, false);
    session->AddServerDatabase("Sales", "Orders\r\nand invoices", "/srv/sales");
    FillAtLogin();
    auto userDescription = [this](const char* name)
    {
        std::string password, description;
        bool administrator = false;
        session->GetServerUser(name, password, description, administrator);
        return description;
    };

    Show(UsersPage);
    ClickRow("UsersListBox", "bob");
    EXPECT_EQ(Memo("UserDescriptionMemo")->toPlainText(), "Head office\nsecond floor\n");
    Click("EditUserButton");
    Find<QCheckBox>("AdministratorCheckBox")->setChecked(true); // a change elsewhere
    Click("SaveUserButton");
    EXPECT_EQ(userDescription("bob"), windows);

    ClickRow("UsersListBox", "bob");
    Click("EditUserButton");
    QPlainTextEdit* memo = Memo("UserDescriptionMemo");
    memo->setFocus();
    memo->moveCursor(QTextCursor::End);
    QTest::keyClicks(memo, "room 4");
    Click("SaveUserButton");
    EXPECT_EQ(userDescription("bob"), "Head office\r\nsecond floor\r\nroom 4") << "new text, same breaks";

    ClickRow("UsersListBox", "carol");
    Click("EditUserButton");
    memo->setFocus();
    memo->moveCursor(QTextCursor::End);
    QTest::keyClick(memo, Qt::Key_Return);
    QTest::keyClicks(memo, "north");
    Click("SaveUserButton");
    EXPECT_EQ(userDescription("carol"), "Sales\nteam\nnorth") << "a text with LF only keeps LF";

    Show(DatabasesPage);
    Click("EditDatabaseButton");
    Click("SaveDatabaseButton");
    std::string description, directory;
    session->GetServerDatabase("Sales", description, directory);
    EXPECT_EQ(description, "Orders\r\nand invoices");
    EXPECT_EQ(NoErrors(), "");
}

// Edit puts the focus straight from the button into its field: no control on the way (the list and the
// buttons being greyed, the Server page's Edit being hidden) takes it, as a screen reader would announce.
TEST_F(ListAndDescriptionTest, EditPutsTheFocusStraightIntoItsField)
{
    session->AddServerUser("bob", "bob-pw", "Sales team", false);
    FillAtLogin();
    Show(UsersPage);
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QStringList focused;
    QObject::connect(qApp, &QApplication::focusChanged, window.get(),
                     [&](QWidget*, QWidget* now) { focused << (now ? now->objectName() : QString()); });
    for (const auto& [page, button, cancel, field] :
         {std::tuple{UsersPage, "EditUserButton", "CancelUserButton", "PasswordEdit"},
          std::tuple{ServerPage, "EditServerButton", "CancelServerButton", "MaxConnectionsEdit"}})
    {
        SetCurrentPage(page);
        if (page == UsersPage)
            ClickRow("UsersListBox", "bob");
        focused.clear();
        Click(button);
        focused.removeOne(button); // the mouse's press gives it the focus first
        EXPECT_EQ(focused.join(", ").toStdString(), field);
        Click(cancel);
    }
}

// A memo shows view and edit mode by the base colour of its text area alone: in either mode, and switched to
// it from the other, it looks exactly as a memo whose whole palette carries that colour, frame included.
TEST(MemoModeTest, AMemoLooksInEachModeAsOneWhosePaletteHasThatBase)
{
    for (const bool editable : {false, true})
    {
        QWidget window;
        QPlainTextEdit* switched = admin::MakeMemo(&window, "Switched", 0);
        QPlainTextEdit* reference = admin::MakeMemo(&window, "Reference", 0);
        for (QPlainTextEdit* memo : {switched, reference})
        {
            memo->setPlainText(QStringLiteral("a description\nof two lines"));
            memo->setGeometry(0, 0, 200, 80);
        }
        admin::SetFieldEditable(switched, !editable);
        admin::SetFieldEditable(switched, editable);
        QPalette palette = reference->palette();
        palette.setBrush(QPalette::Base, QApplication::palette(reference).brush(editable ? QPalette::Base
                                                                                         : QPalette::Window));
        reference->setPalette(palette);
        reference->setReadOnly(!editable);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        // Neither shows the text cursor the first one in the focus chain would get.
        if (QWidget* focused = QApplication::focusWidget())
            focused->clearFocus();
        EXPECT_EQ(switched->grab().toImage(), reference->grab().toImage()) << "editable: " << editable;
    }
}

} // namespace
} // namespace korvel::test
