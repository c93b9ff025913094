// The Rights page against a real korvel-refserver with a few users and databases: alice on no database, bob
// with all rights on sales, carol with none on sales and read on stock, and "empty" with no user. The grid is
// read when the page is first shown; the helpers act as the user does, with the mouse and the keyboard.
#pragma once

#include "admin/pages/rights/RightsPage.h"
#include "tests/admin/pages/PageFixture.h"

#include <QHeaderView>
#include <QTableView>
#include <QTest>

#include <algorithm>
#include <optional>

namespace korvel::test
{

class RightsPageTest : public PagesTest
{
protected:
    void SetUp() override
    {
        PagesTest::SetUp();
        session->AddServerUser("alice", "a", "", false); // on no database
        session->AddServerUser("bob", "b", "", false);   // all rights on sales
        session->AddServerUser("carol", "c", "", false); // no rights on sales, read on stock
        session->AddServerDatabase("sales", "", "/data/sales");
        session->AddServerDatabase("stock", "", "/data/stock");
        session->AddServerDatabase("empty", "", "/data/empty"); // no user
        session->AddServerDatabaseUser("sales", "bob", All());
        session->AddServerDatabaseUser("sales", "carol", {});
        session->AddServerDatabaseUser("stock", "carol", {urRead});
        FillAtLogin();
        window->show();
        SetCurrentPage(RightsPage); // shown: the grid is read
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        WaitUntilIdle();
    }

    static TUserRights All() { return {urRead, urInsert, urUpdate, urDelete, urCreate, urAlter, urDrop}; }
    admin::RightsPage* Page() const { return static_cast<admin::RightsPage*>(PageAt(RightsPage)); }
    QTableView* Grid() const { return Find<QTableView>("RightsGrid"); }
    // Whatever the last click queued (an editor's Apply runs once the editor has closed) has run and been
    // answered.
    void WaitUntilIdle() const
    {
        QCoreApplication::processEvents();
        ASSERT_TRUE(WaitFor([this] { return !Page()->Busy(); }, 20000));
    }

    // The grid as shown: row name, then each cell, one line per row.
    QStringList Shown() const
    {
        QStringList rows;
        auto* model = Grid()->model();
        for (int row = 0; row < model->rowCount(); ++row)
        {
            QStringList cells{model->headerData(row, Qt::Vertical).toString()};
            for (int column = 0; column < model->columnCount(); ++column)
                cells << model->index(row, column).data().toString();
            rows << cells.join(' ');
        }
        return rows;
    }
    // The row names from top to bottom.
    QStringList RowNames() const
    {
        QStringList names;
        for (int row = 0; row < Grid()->model()->rowCount(); ++row)
            names << Grid()->model()->headerData(row, Qt::Vertical).toString();
        return names;
    }
    QStringList Columns() const
    {
        QStringList names;
        for (int column = 0; column < Grid()->model()->columnCount(); ++column)
            names << Grid()->model()->headerData(column, Qt::Horizontal).toString();
        return names;
    }
    // A click on a cell as the user does it (Ctrl adds to the selection).
    void ClickCell(int row, int column, Qt::KeyboardModifiers modifiers = Qt::NoModifier) const
    {
        QRect cell = Grid()->visualRect(Grid()->model()->index(row, column));
        ASSERT_TRUE(cell.isValid());
        QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, modifiers, cell.center());
    }
    QPoint CellCenter(int row, int column) const
    {
        return Grid()->visualRect(Grid()->model()->index(row, column)).center();
    }
    // Through the window system, as a real mouse does it: a right click also asks for the context menu, and
    // the second press of a double click arrives as one.
    void MouseOnCell(QTest::MouseAction action, Qt::MouseButton button, int row, int column) const
    {
        const QPoint inWindow = Grid()->viewport()->mapTo(window.get(), CellCenter(row, column));
        QTest::mouseEvent(action, window->windowHandle(), button, {}, inWindow);
    }
    // A click in the middle of a column's header section.
    void ClickHeader(int column) const
    {
        QHeaderView* header = Grid()->horizontalHeader();
        const QRect section(header->sectionViewportPosition(column), 0, header->sectionSize(column),
                            header->height());
        ASSERT_TRUE(header->viewport()->rect().contains(section.center()));
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, section.center());
    }
    void Tick(const char* box, bool on) const
    {
        auto* check = Find<QCheckBox>(box);
        if (check->isChecked() != on)
            QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(4, check->height() / 2));
    }
    // The question's last paragraph: "<summary>. Send these changes?" (the changes are listed above it).
    static QString Summary(const QString& question) { return question.section(QStringLiteral("\n\n"), -1); }
    void ClickButton(const char* name) const
    {
        auto* button = Find<QPushButton>(name);
        QTest::mouseClick(button, Qt::LeftButton);
    }
    std::optional<TUserRights> ServerRights(const std::string& database, const std::string& user)
    {
        StringList users;
        session->GetServerDatabaseUserNames(database, users);
        if (std::find(users.begin(), users.end(), user) == users.end())
            return std::nullopt;
        TUserRights rights;
        session->GetServerDatabaseUser(database, user, rights);
        return rights;
    }
};

} // namespace korvel::test
