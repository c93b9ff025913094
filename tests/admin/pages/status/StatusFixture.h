// The Status page among the window's pages, with ways to read and click its list of sessions.
#pragma once

#include "tests/admin/pages/PageFixture.h"

#include "admin/pages/status/StatusPage.h"

#include <QAbstractItemModel>
#include <QTreeView>

#include <set>

namespace korvel::test
{

class StatusPageTest : public PagesTest
{
protected:
    void SetUp() override
    {
        PagesTest::SetUp();
        window->show();
        SetCurrentPage(StatusPage);
    }

    QTreeView* Sessions() const { return Find<QTreeView>("SessionsListView"); }
    QAbstractItemModel* Shown() const { return Sessions()->model(); }
    int RowCount() const { return Shown()->rowCount(); }
    QString Cell(int row, int column) const { return Shown()->index(row, column).data().toString(); }
    std::int32_t IdOf(int row) const
    {
        return Shown()->index(row, 0).data(admin::StatusPage::SessionIdRole).toInt();
    }
    bool ConnectedAt(int row) const
    {
        return Shown()->index(row, 0).data(admin::StatusPage::ConnectedRole).toBool();
    }
    // The first shown row of a session with (or without) a connection, or -1.
    int RowWith(bool connected) const
    {
        for (int row = 0; row < RowCount(); ++row)
            if (ConnectedAt(row) == connected)
                return row;
        return -1;
    }
    int RowOf(std::int32_t id) const
    {
        for (int row = 0; row < RowCount(); ++row)
            if (IdOf(row) == id)
                return row;
        return -1;
    }
    // Clicks a row as the user does, with Ctrl to add it to the selection.
    void ClickRow(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier) const
    {
        const QModelIndex index = Shown()->index(row, 0);
        Sessions()->scrollTo(index);
        QTest::mouseClick(Sessions()->viewport(), Qt::LeftButton, modifiers,
                          Sessions()->visualRect(index).center());
    }
    std::set<std::int32_t> SelectedIds() const
    {
        std::set<std::int32_t> ids;
        for (const QModelIndex& index : Sessions()->selectionModel()->selectedRows())
            ids.insert(index.data(admin::StatusPage::SessionIdRole).toInt());
        return ids;
    }
    // A command through its button; the result arrives through the runner.
    // A command button pressed without moving the mouse across the list (whose hover would repaint a row).
    void Command(const char* button)
    {
        Find<QPushButton>(button)->click();
        WaitForRunner();
    }
    void Refresh() { Command("RefreshButton"); }
};

} // namespace korvel::test
