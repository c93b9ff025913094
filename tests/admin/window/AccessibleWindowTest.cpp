// The window as a screen reader and a keyboard user meet it: every control Tab reaches has a name of its own
// and a role, the log and the rights grid read as text, Tab walks each page in the order it is seen and
// leaves every table, and the choosers and dialogs keep what the person typed.
#include "testing/AdminLogin.h"
#include "testing/LoadClients.h"
#include "testing/admin/WaitFor.h"
#include "tests/admin/window/WindowFixture.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabBar>
#include <QTableView>
#include <QTest>
#include <QTreeView>

namespace korvel::test
{
namespace
{

QString NameOf(const QWidget* widget)
{
    return widget->objectName().isEmpty() ? QString::fromLatin1(widget->metaObject()->className())
                                          : widget->objectName();
}

// What a screen reader could not tell about each control Tab reaches in `root`'s window: no name, its value
// for a name, the name of another such control, or no role.
QStringList Complaints(QWidget* root)
{
    QStringList complaints;
    QHash<QString, QString> named;
    for (QWidget* widget : root->findChildren<QWidget*>())
    {
        if (!widget->isVisible() || !widget->isEnabled() || (widget->focusPolicy() & Qt::TabFocus) == 0 ||
            widget->focusProxy() != nullptr || widget->window() != root->window())
            continue;
        const QString what = NameOf(widget);
        QAccessibleInterface* described = QAccessible::queryAccessibleInterface(widget);
        const QString name = described->text(QAccessible::Name).trimmed();
        const QString value = described->text(QAccessible::Value).trimmed();
        if (name.isEmpty())
            complaints << what + ": no name";
        else if (widget->accessibleName().isEmpty() && name == value) // a name given may equal the value
            complaints << what + ": named by its value \"" + value + "\"";
        else if (named.contains(name))
            complaints << what + " and " + named[name] + ": both \"" + name + "\"";
        named.insert(name, what);
        const QAccessible::Role role = described->role();
        if (role == QAccessible::NoRole || role == QAccessible::Client) // "filler"
            complaints << what + ": no role";
    }
    return complaints;
}

class AccessibleWindowTest : public WindowTest
{
protected:
    void SetUp() override
    {
        for (const char* variable : {"XDG_CONFIG_HOME", "XDG_STATE_HOME"})
        {
            restore.emplace_back(variable, qgetenv(variable));
            qputenv(variable, home.path().toUtf8());
        }
    }
    void TearDown() override
    {
        WindowTest::TearDown();
        for (const auto& [variable, value] : restore)
            qputenv(variable, value);
    }

    // Logged in with the real pages; bob holds read, insert and update on Sales.
    void LogInWithRealPages()
    {
        StartServer();
        TKORVELSession other;
        LogInAsAdministrator(other, *server, "Other");
        other.AddServerUser("bob", "pw", "", false);
        other.AddServerDatabase("Sales", "", "/data/sales");
        other.AddServerDatabaseUser("Sales", "bob", {urRead, urInsert, urUpdate});
        OpenWindow(admin::CreatePages);
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
        LoginAsAdmin();
        ASSERT_TRUE(PageControl()->isVisible());
    }
    void ShowPage(int page)
    {
        PageControl()->setCurrentIndex(page);
        Settle();
        ASSERT_TRUE(WaitFor([this] { return !PageBusy(); }, 20000));
    }
    bool PageBusy() const
    {
        auto* rights = form->findChild<QWidget*>("RightsProgressBar");
        auto* log = form->findChild<QWidget*>("LoadProgressBar");
        return form->Runner().Busy() || (rights && rights->isVisible()) || (log && log->isVisible());
    }
    // A key as the person presses it, to whatever has the focus.
    void Press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) const
    {
        QWidget* focus = QApplication::focusWidget();
        QTest::keyClick(focus != nullptr ? focus : form.get(), static_cast<Qt::Key>(key), modifiers);
    }
    // The controls Tab visits from `start` until the focus leaves `within` or comes back to `start` (then
    // "back"); "trapped" when neither happens within 60 presses.
    QStringList TabWalk(QWidget* start, QWidget* within) const
    {
        start->setFocus(Qt::TabFocusReason);
        QStringList visited;
        for (int press = 0; press < 60; ++press)
        {
            Press(Qt::Key_Tab);
            QWidget* focus = QApplication::focusWidget();
            if (focus == start)
                return visited << "back";
            if (focus == nullptr || !within->isAncestorOf(focus))
                return visited;
            visited << NameOf(focus);
        }
        return visited << "trapped";
    }
    // Runs `look` in the modal dialog that `item` opens, then closes it with Escape.
    void InDialog(const char* item, const std::function<void(QWidget&)>& look)
    {
        bool looked = false;
        WhenModal(
            [&](QWidget& dialog)
            {
                EXPECT_TRUE(QTest::qWaitForWindowExposed(&dialog));
                look(dialog);
                looked = true;
                QTest::keyClick(&dialog, Qt::Key_Escape);
            });
        Pick(item);
        EXPECT_TRUE(looked) << item;
    }

    QTemporaryDir home;
    std::vector<std::pair<const char*, QByteArray>> restore;
};

TEST_F(AccessibleWindowTest, EveryControlHasANameOfItsOwnAndARoleAndTabGoesRoundEachDialog)
{
    LogInWithRealPages();
    for (int page = 0; page < PageControl()->count(); ++page)
    {
        ShowPage(page);
        EXPECT_EQ(Complaints(form.get()).join("; ").toStdString(), "")
            << PageControl()->tabText(page).toStdString();
    }

    // The sessions' times are read whole, on screen too.
    LoadClients client(*server, 1);
    ShowPage(0);
    Press(Qt::Key_F5);
    Settle();
    auto* sessions = form->findChild<QTreeView*>("SessionsListView");
    ASSERT_GT(sessions->model()->rowCount(), 0);
    for (int column : {2, 3})
    {
        const QString time = sessions->model()->index(0, column).data().toString();
        EXPECT_GE(sessions->columnWidth(column), sessions->fontMetrics().horizontalAdvance(time) + 8)
            << time.toStdString();
    }

    // The log reads as the rows it shows.
    ShowPage(6);
    Press(Qt::Key_F5);
    ASSERT_TRUE(WaitFor([this] { return !PageBusy(); }, 20000));
    auto* log = form->findChild<QAbstractItemView*>("LogListBox");
    ASSERT_GT(log->model()->rowCount(), 0);
    QAccessibleInterface* lines = QAccessible::queryAccessibleInterface(log);
    EXPECT_EQ(lines->role(), QAccessible::List);
    ASSERT_GT(lines->childCount(), 0);
    const QModelIndex top = log->indexAt(QPoint(1, 1));
    EXPECT_EQ(lines->child(0)->role(), QAccessible::ListItem);
    EXPECT_EQ(lines->child(0)->text(QAccessible::Name), top.data().toString());

    // A rights cell reads as words, not letters.
    ShowPage(5);
    auto* grid = form->findChild<QTableView*>("RightsGrid");
    const QAbstractItemModel* cells = grid->model();
    int bob = -1, sales = -1;
    for (int row = 0; row < cells->rowCount(); ++row)
        if (cells->headerData(row, Qt::Vertical).toString() == "bob")
            bob = row;
    for (int column = 0; column < cells->columnCount(); ++column)
        if (cells->headerData(column, Qt::Horizontal).toString() == "Sales")
            sales = column;
    ASSERT_TRUE(bob >= 0 && sales >= 0);
    QAccessibleTableInterface* table = QAccessible::queryAccessibleInterface(grid)->tableInterface();
    EXPECT_EQ(table->cellAt(bob, sales)->text(QAccessible::Name), "bob on Sales: read, insert, update");

    // Each dialog too; Tab goes round it from where it puts the focus, through its table (once), and Enter
    // presses its default button.
    struct DialogWalk
    {
        const char* Item;
        const char* DefaultButton;
        const char* Table;
    };
    for (const DialogWalk walk : {DialogWalk{"OptionsItem", "OKButton", ""},
                                  {"ProfilesItem", "", ""},
                                  {"ChangeHistoryItem", "", "ChangeHistoryTable"},
                                  {"HelpAboutItem", "OkButton", ""}})
        InDialog(walk.Item,
                 [this, walk](QWidget& dialog)
                 {
                     EXPECT_EQ(Complaints(&dialog).join("; ").toStdString(), "") << walk.Item;
                     const QStringList visited = TabWalk(QApplication::focusWidget(), &dialog);
                     EXPECT_TRUE(visited.endsWith("back")) << visited.join(' ').toStdString();
                     EXPECT_EQ(visited.count(walk.Table), *walk.Table ? 1 : 0)
                         << visited.join(' ').toStdString();
                     QString defaults;
                     for (const QPushButton* button : dialog.findChildren<QPushButton*>())
                         if (button->isDefault())
                             defaults += button->objectName();
                     EXPECT_EQ(defaults, walk.DefaultButton) << walk.Item;
                 });
    traceLog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(traceLog.get()));
    EXPECT_EQ(Complaints(traceLog.get()).join("; ").toStdString(), "") << "Trace Log";
    const QStringList visited = TabWalk(traceLog->findChild<QWidget*>("TraceFilterEdit"), traceLog.get());
    EXPECT_EQ(visited.count("TraceTableView"), 1) << visited.join(' ').toStdString();
    EXPECT_TRUE(visited.endsWith("back")) << visited.join(' ').toStdString();
    traceLog->hide();
}

struct PageWalk
{
    int Page;
    const char* Start; // a button clicked first (an edit mode), or none
    QStringList Order; // the controls Tab visits from the page tabs on
};

TEST_F(AccessibleWindowTest, TabWalksEveryPageInTheOrderItIsSeenAndLeavesIt)
{
    LogInWithRealPages();
    const PageWalk walks[] = {
        {0,
         nullptr,
         {"SessionFilterEdit", "HideDeadCheckBox", "SessionsListView", "RefreshButton", "StopButton",
          "AutoRefreshComboBox", "back"}},
        {1, nullptr, {"EditServerButton", "back"}},
        {2, nullptr, {"UsersListBox", "AddUserButton", "EditUserButton", "DeleteUserButton", "back"}},
        {2,
         "AddUserButton",
         {"UserNameEdit", "PasswordEdit", "UserDescriptionMemo", "AdministratorCheckBox", "SaveUserButton",
          "CancelUserButton", "back"}},
        {3,
         "EditDatabaseButton",
         {"DatabaseDescriptionMemo", "ServerDirectoryEdit", "SelectDatabaseDirButton", "SaveDatabaseButton",
          "CancelDatabaseButton", "back"}},
        {4,
         nullptr,
         {"DatabasesComboBox", "DatabaseUsersListBox", "AddDatabaseUserButton", "EditDatabaseUserButton",
          "DeleteDatabaseUserButton", "back"}},
        {4,
         "AddDatabaseUserButton",
         {"DatabasesComboBox", "UserComboBox", "ReadCheckBox", "InsertCheckBox", "UpdateCheckBox",
          "DeleteCheckBox", "CreateCheckBox", "AlterCheckBox", "DropCheckBox", "SaveDatabaseUserButton",
          "CancelDatabaseUserButton", "back"}},
        {5,
         nullptr,
         {"RightsFilterEdit", "TransposeRightsCheckBox", "RefreshRightsButton", "RightsGrid",
          "RightsReadCheckBox", "RightsInsertCheckBox", "RightsUpdateCheckBox", "RightsDeleteCheckBox",
          "RightsCreateCheckBox", "RightsAlterCheckBox", "RightsDropCheckBox", "SetRightsButton",
          "GrantRightsButton", "RevokeRightsButton", "NotDatabaseUserButton", "CopyRightsButton",
          "CopyFromComboBox", "back"}},
        {6,
         nullptr,
         {"SearchEdit", "RegexCheckBox", "MatchCaseCheckBox", "FindPreviousButton", "FindNextButton",
          "OnlyMatchingCheckBox", "LogListBox", "FollowCheckBox", "FollowIntervalSpinBox", "LoadLogButton",
          "SaveButton", "back"}},
    };
    for (const PageWalk& walk : walks)
    {
        ShowPage(walk.Page);
        QWidget* page = PageControl()->currentWidget();
        if (walk.Start != nullptr)
            QTest::mouseClick(page->findChild<QPushButton*>(walk.Start), Qt::LeftButton);
        EXPECT_EQ(TabWalk(PageControl()->tabBar(), page).join(' ').toStdString(),
                  walk.Order.join(' ').toStdString())
            << PageControl()->tabText(walk.Page).toStdString() << " " << (walk.Start ? walk.Start : "");
        for (QPushButton* cancel : page->findChildren<QPushButton*>()) // back to view mode
            if (cancel->objectName().startsWith("Cancel") && cancel->isVisible())
                QTest::mouseClick(cancel, Qt::LeftButton);
        Settle();
    }
}

TEST_F(AccessibleWindowTest, TypingInTheUserChooserReplacesTheNameItOffers)
{
    LogInWithRealPages();
    ShowPage(4);
    auto* add = form->findChild<QPushButton*>("AddDatabaseUserButton");
    ASSERT_TRUE(WaitFor([add] { return add->isEnabled(); })) << "a database to add to";
    Press(Qt::Key_A, Qt::AltModifier);
    auto* chooser = form->findChild<QComboBox*>("UserComboBox");
    ASSERT_TRUE(WaitFor([chooser] { return chooser->hasFocus(); }))
        << "a key clicks as the mouse does, a moment later";
    ASSERT_FALSE(chooser->currentText().isEmpty()) << "a user is offered";
    Press(Qt::Key_E);
    EXPECT_EQ(chooser->currentText(), "e");
    Press(Qt::Key_Escape);
}

TEST_F(AccessibleWindowTest, ClosingProfilesWithEditsAsksFirst)
{
    StartServer();
    OpenWindow(admin::CreatePages);
    using admin::Answer;
    // Cancel keeps the dialog and the edit, No drops the edit, Yes saves it; no edit: no question.
    struct Case
    {
        Answer Reply;
        bool StaysOpen;
        bool Saved;
    };
    const Case cases[] = {
        {Answer::Cancel, true, false}, {Answer::No, false, false}, {Answer::Yes, false, true}};
    for (const Case& reply : cases)
    {
        const std::size_t asked = dialogs.Boxes.size();
        bool open = false;
        QStringList saved;
        WhenModal(
            [&](QWidget& dialog)
            {
                auto* name = dialog.findChild<QLineEdit*>("ProfileNameEdit");
                name->setFocus();
                name->selectAll();
                QTest::keyClicks(name, "Kept");
                dialogs.Answers = {reply.Reply};
                QTest::mouseClick(dialog.findChild<QPushButton*>("CloseButton"), Qt::LeftButton);
                open = dialog.isVisible();
                if (open)
                    static_cast<QDialog&>(dialog).done(QDialog::Rejected);
            });
        Pick("ProfilesItem");
        EXPECT_EQ(dialogs.Boxes.size(), asked + 1);
        EXPECT_EQ(open, reply.StaysOpen);
        bool listed = false;
        WhenModal(
            [&](QWidget& dialog)
            {
                auto* list = dialog.findChild<QListWidget*>("ProfilesListBox");
                listed = !list->findItems("Kept", Qt::MatchExactly).isEmpty();
                QTest::keyClick(&dialog, Qt::Key_Escape); // nothing edited: closes at once
            });
        Pick("ProfilesItem");
        EXPECT_EQ(listed, reply.Saved);
        EXPECT_EQ(dialogs.Boxes.size(), asked + 1) << "no edit, no question";
    }
}

} // namespace
} // namespace korvel::test
