// The model behind the Rights page's grid: one row per user and one column per database (or the transpose),
// each cell the user's rights on that database as letters. Columns fill in as their database is read; a cell
// of a database not read yet shows "?" and cannot be edited. The proxy keeps the rows and columns whose name
// holds the filter text (all of them on a side where no name does), and sorts the rows by name or by the
// rights in one column: "?" first, then "-" (not a database user), "·" (no rights), then by the number of
// rights; rows with equal rights stay in name order.
#pragma once

#include "operations/RightsMatrix.h"

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>

#include <set>
#include <utility>

namespace korvel::admin
{

class RightsGridModel : public QAbstractTableModel
{
public:
    using QAbstractTableModel::QAbstractTableModel;
    // An int that orders a cell's rights (see above).
    static constexpr int SortKeyRole = Qt::UserRole;

    // New names (sorted without regard to case); every column unread.
    void SetNames(const StringList& users, const StringList& databases);
    // A database's users arrived.
    void SetColumn(operations::DatabaseColumn column);
    void SetTransposed(bool transposed);

    const operations::RightsMatrix& Matrix() const { return matrix_; }
    int DatabasesRead() const { return static_cast<int>(read_.size()); }
    // (user, database) of a cell.
    std::pair<std::string, std::string> PairAt(const QModelIndex& index) const;
    // The cell of (user, database); invalid when either name is not in the grid.
    QModelIndex IndexOf(const std::string& user, const std::string& database) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    const StringList& RowNames() const { return transposed_ ? matrix_.Databases : matrix_.Users; }
    const StringList& ColumnNames() const { return transposed_ ? matrix_.Users : matrix_.Databases; }

    operations::RightsMatrix matrix_;
    std::set<std::string> read_;
    bool transposed_ = false;
};

class RightsFilterProxy : public QSortFilterProxyModel
{
public:
    RightsFilterProxy();
    void SetFilterText(const QString& text);
    // Rows by their names (the model's order, or its reverse).
    void SortByName(Qt::SortOrder order);
    bool SortedByName() const { return byName_; }
    // Rows by the rights in `column`; a column of -1 returns to the model's order.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
    bool filterAcceptsColumn(int sourceColumn, const QModelIndex& sourceParent) const override;

private:
    bool Accepts(Qt::Orientation orientation, int section) const;
    bool AnyMatches(Qt::Orientation orientation) const;
    QString text_;
    bool byName_ = false;
};

} // namespace korvel::admin
