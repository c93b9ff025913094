// The Rights grid used in place, with the mouse and the keyboard: header clicks sort the rows, the cells'
// context menu applies the buttons' actions and copies a user's rights, and a double-click or Enter opens the
// rights editor, whose Apply goes through the same question as the buttons.
#include "admin/pages/rights/RightsCellEditor.h"
#include "admin/pages/rights/RightsGrid.h"
#include "tests/admin/pages/rights/RightsFixture.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QToolButton>

namespace korvel::test
{
namespace
{

using admin::Answer;

class RightsInPlaceTest : public RightsPageTest
{
protected:
    QMenu* OpenCellMenu(int row, int column)
    {
        MouseOnCell(QTest::MouseClick, Qt::RightButton, row, column);
        QMenu* menu = nullptr;
        EXPECT_TRUE(WaitFor(
            [&]
            {
                menu = window->findChild<QMenu*>("RightsCellMenu");
                return menu != nullptr && menu->isVisible();
            }));
        return menu;
    }
    static QAction* Action(QMenu* menu, const QString& caption)
    {
        for (QAction* action : menu->actions())
            if (action->text() == caption)
                return action;
        ADD_FAILURE() << "no menu item " << caption.toStdString();
        return nullptr;
    }
    static void ClickItem(QMenu* menu, QAction* action)
    {
        ASSERT_NE(action, nullptr);
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
    }
    admin::RightsCellEditor* Editor() const
    {
        auto* editor = Grid()->findChild<admin::RightsCellEditor*>("RightsCellEditor");
        return editor != nullptr && editor->isVisible() ? editor : nullptr;
    }
    void ClickToggle(const char* name) const
    {
        auto* toggle = Editor()->findChild<QToolButton*>(name);
        ASSERT_NE(toggle, nullptr) << name;
        QTest::mouseClick(toggle, Qt::LeftButton);
    }
    QString Checked() const
    {
        QString letters;
        for (auto* toggle : Editor()->findChildren<QToolButton*>())
            if (toggle->isChecked())
                letters += toggle->text();
        return letters;
    }
};

TEST_F(RightsInPlaceTest, HeaderClicksSortTheRowsByRightsAndTheCornerByName)
{
    // sales: admin -, alice -, bob RIUDCAX, carol ·
    ClickHeader(1);
    EXPECT_EQ(RowNames(), (QStringList{"admin", "alice", "carol", "bob"})) << "'-' before '·' before rights";
    ClickHeader(1);
    EXPECT_EQ(RowNames(), (QStringList{"bob", "carol", "admin", "alice"}))
        << "equal rights stay in name order";
    ClickHeader(1);
    EXPECT_EQ(RowNames(), (QStringList{"admin", "alice", "bob", "carol"})) << "a third click: name order";
    EXPECT_EQ(Grid()->horizontalHeader()->sortIndicatorSection(), -1);

    ClickHeader(2); // stock: only carol has R
    ClickHeader(2);
    EXPECT_EQ(RowNames(), (QStringList{"carol", "admin", "alice", "bob"}));
    EXPECT_EQ(Shown()[0], QString::fromUtf8("carol - \u00b7 R")) << "cells move with their rows";

    // The corner button above the names: by name, then reversed.
    auto* corner = Find<QAbstractButton>("SortByNameButton");
    QTest::mouseClick(corner, Qt::LeftButton);
    EXPECT_EQ(RowNames(), (QStringList{"admin", "alice", "bob", "carol"}));
    EXPECT_EQ(Grid()->horizontalHeader()->sortIndicatorSection(), -1);
    QTest::mouseClick(corner, Qt::LeftButton);
    EXPECT_EQ(RowNames(), (QStringList{"carol", "bob", "alice", "admin"}));
    EXPECT_TRUE(Grid()->selectionModel()->selectedIndexes().isEmpty()) << "the corner no longer selects all";

    // A refresh keeps the chosen order; ties stay in name order whatever came before.
    ClickHeader(1);
    ClickHeader(1);
    ClickButton("RefreshRightsButton");
    WaitUntilIdle();
    EXPECT_EQ(RowNames(), (QStringList{"bob", "carol", "admin", "alice"}));
}

TEST(RightsGridSortTest, UnreadCellsComeFirstThenNotAUserNoRightsAndMoreRights)
{
    admin::RightsGridModel model;
    model.SetNames({"a", "b", "c", "d", "e", "f"}, {"db", "later"});
    model.SetColumn({"db",
                     {{"b", TUserRights{urRead, urInsert}},
                      {"c", TUserRights{}},
                      {"d", TUserRights{urInsert}},
                      {"e", TUserRights{urRead}},
                      {"f", TUserRights{urDrop, urRead, urInsert}}}});
    admin::RightsFilterProxy proxy;
    proxy.setSourceModel(&model);
    auto order = [&]
    {
        QStringList rows;
        for (int row = 0; row < proxy.rowCount(); ++row)
            rows << proxy.headerData(row, Qt::Vertical).toString() + "=" +
                        proxy.index(row, 0).data().toString();
        return rows.join(' ');
    };
    proxy.sort(0, Qt::AscendingOrder);
    EXPECT_EQ(order(), QString::fromUtf8("a=- c=\u00b7 e=R d=I b=RI f=RIX"));
    proxy.sort(1, Qt::AscendingOrder);
    EXPECT_EQ(order(), QString::fromUtf8("a=- b=RI c=\u00b7 d=I e=R f=RIX")) << "all unread: name order";
    model.SetColumn({"later", {{"d", TUserRights{}}}});
    EXPECT_EQ(order(), QString::fromUtf8("a=- b=RI c=\u00b7 e=R f=RIX d=I")) << "sorted again as it arrives";
    proxy.SortByName(Qt::DescendingOrder);
    EXPECT_EQ(order(), QString::fromUtf8("f=RIX e=R d=I c=\u00b7 b=RI a=-"));
}

TEST_F(RightsInPlaceTest, TheCellMenuAppliesTheButtonsActionsAndCopiesAUsersRights)
{
    // alice on empty and sales, Read ticked, then the menu on one of the selected cells.
    ClickCell(1, 0);
    ClickCell(1, 1, Qt::ControlModifier);
    Tick("RightsReadCheckBox", true);
    QMenu* menu = OpenCellMenu(1, 1);
    ASSERT_NE(menu, nullptr);
    QStringList captions;
    for (QAction* action : menu->actions())
        if (!action->isSeparator())
            captions << action->text();
    EXPECT_EQ(captions, (QStringList{"&Edit Rights", "&Set Rights to R", "&Grant R", "Re&voke R",
                                     "&Not a Database User", "&Copy Rights from User"}));
    EXPECT_EQ(Grid()->selectionModel()->selectedIndexes().size(), 2) << "a right-click keeps the selection";
    dialogs.Answers = {Answer::Yes};
    ClickItem(menu, Action(menu, "&Grant R"));
    WaitUntilIdle();
    ASSERT_EQ(dialogs.Boxes.size(), 1u) << dialogs.Errors().join('\n').toStdString();
    EXPECT_EQ(Summary(dialogs.Boxes[0].Text), "2 additions. Send these changes?");
    EXPECT_EQ(ServerRights("empty", "alice"), TUserRights{urRead});
    EXPECT_EQ(ServerRights("sales", "alice"), TUserRights{urRead});
    EXPECT_EQ(Shown()[1], "alice R R -");

    // Copy from carol through the submenu, on a cell not selected before: it becomes the selection.
    ClickCell(3, 0);
    menu = OpenCellMenu(1, 2);
    ASSERT_NE(menu, nullptr);
    QAction* copy = Action(menu, "&Copy Rights from User");
    ASSERT_NE(copy, nullptr);
    ClickItem(menu, copy);
    QMenu* users = copy->menu();
    ASSERT_TRUE(WaitFor([&] { return users->isVisible(); }));
    dialogs.Answers = {Answer::Yes};
    ClickItem(users, Action(users, "carol"));
    WaitUntilIdle();
    ASSERT_EQ(dialogs.Boxes.size(), 2u) << dialogs.Errors().join('\n').toStdString();
    EXPECT_EQ(Summary(dialogs.Boxes[1].Text), "1 addition, 1 change, 1 removal. Send these changes?");
    EXPECT_EQ(Shown()[1], QString::fromUtf8("alice - \u00b7 R"));
    EXPECT_EQ(Shown()[3], QString::fromUtf8("carol - \u00b7 R")) << "carol was not selected any more";
}

TEST_F(RightsInPlaceTest, DoubleClickOrEnterOpensTheEditorWhoseApplyAsksLikeTheButtons)
{
    window->activateWindow(); // the focus moves among the editor's toggles
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    MouseOnCell(QTest::MouseDClick, Qt::LeftButton, 2, 1); // bob on sales
    ASSERT_NE(Editor(), nullptr);
    EXPECT_EQ(Checked(), "RIUDCAX");
    ClickToggle("RightXToggle");
    // The focus stands on one toggle, read by its right's name and state; the arrow keys move it.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Left);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
    QWidget* focused = QApplication::focusWidget();
    ASSERT_TRUE(Editor()->isAncestorOf(focused)) << (focused ? focused->objectName().toStdString() : "none");
    QAccessibleInterface* toggle = QAccessible::queryAccessibleInterface(focused);
    EXPECT_EQ(toggle->text(QAccessible::Name), "Drop");
    EXPECT_TRUE(toggle->state().checkable);
    EXPECT_FALSE(toggle->state().checked);
    QTest::keyClick(focused, Qt::Key_I); // a right's letter toggles it too
    EXPECT_EQ(Checked(), "RUDCA");
    dialogs.Answers = {Answer::Yes};
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(Editor(), nullptr) << "Enter closes the editor";
    WaitUntilIdle();
    ASSERT_EQ(dialogs.Boxes.size(), 1u) << dialogs.Errors().join('\n').toStdString();
    EXPECT_EQ(dialogs.Boxes[0].Text, "~ rights bob@sales: RIUDCAX -> RUDCA\n\n1 change. Send these changes?")
        << "the changes as plan lists them";
    EXPECT_EQ(ServerRights("sales", "bob"), (TUserRights{urRead, urUpdate, urDelete, urCreate, urAlter}));
    EXPECT_EQ(Shown()[2], "bob - RUDCA -");
    EXPECT_EQ(Grid()->currentIndex(), Grid()->model()->index(2, 1)) << "the grid read again keeps the cell";

    // A row of alice's cells (Shift+click), Enter, then Apply with the mouse: one question for all three.
    ClickCell(1, 0);
    ClickCell(1, 2, Qt::ShiftModifier);
    QTest::keyClick(Grid(), Qt::Key_Return);
    ASSERT_NE(Editor(), nullptr);
    EXPECT_EQ(Checked(), "-") << "the current cell: alice is not a database user of stock";
    ClickToggle("RightUToggle");
    EXPECT_EQ(Checked(), "U") << "a right makes a database user";
    dialogs.Answers = {Answer::No};
    ClickToggle("ApplyCellRightsButton");
    WaitUntilIdle();
    ASSERT_EQ(dialogs.Boxes.size(), 2u);
    EXPECT_EQ(Summary(dialogs.Boxes[1].Text), "3 additions. Send these changes?");
    EXPECT_EQ(ServerRights("stock", "alice"), std::nullopt) << "No sends nothing";

    // Esc leaves the editor without a question; "·" opens with nothing held.
    MouseOnCell(QTest::MouseDClick, Qt::LeftButton, 3, 1); // carol on sales
    ASSERT_NE(Editor(), nullptr);
    EXPECT_EQ(Checked(), "");
    QTest::keyClick(Editor(), Qt::Key_Minus);
    EXPECT_EQ(Checked(), "-");
    QTest::keyClick(Editor(), Qt::Key_Escape);
    EXPECT_EQ(Editor(), nullptr);
    WaitUntilIdle(); // an Apply would run once the editor has closed
    EXPECT_EQ(dialogs.Boxes.size(), 2u);
    EXPECT_EQ(ServerRights("sales", "carol"), TUserRights{});
}

} // namespace
} // namespace korvel::test
