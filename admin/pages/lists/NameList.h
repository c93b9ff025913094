// The name list of the Users, Databases and Database Users pages: a view over a read-only model of the names,
// which shows (and a screen reader reads) each name as ShownText shows it and keeps the name itself
// (Qt::UserRole) for what is done with it. A new listing is one model reset with no object per row, so
// thousands of names fill the list at once.
#pragma once

#include <QAbstractListModel>
#include <QListView>
#include <QStringList>

namespace korvel::admin
{

class NameListModel : public QAbstractListModel
{
public:
    using QAbstractListModel::QAbstractListModel;

    // The view lays out every row when the rows are new, asking for each one's index: without the virtual
    // calls of the inherited check.
    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // Replaces the rows with `names`, each shown as `shown` (as long), unless they are these names already:
    // a listing read again unchanged keeps its rows. Whether the rows were replaced.
    bool SetRows(const QStringList& names, const QStringList& shown);

private:
    QStringList names_;
    QStringList shown_;
};

// One row at most is selected, and it is the current row: a row deselected with Ctrl+click stops being
// current, so the page shows no record and offers no Edit or Delete for it.
class NameListView : public QListView
{
    Q_OBJECT

public:
    explicit NameListView(QWidget* parent);

    NameListModel* Rows() const { return rows_; }
    int count() const { return rows_->rowCount(); }
    int currentRow() const { return currentIndex().row(); }
    // Selects `row` and makes it current (-1: none).
    void setCurrentRow(int row);

Q_SIGNALS:
    // The current row moved (-1: none). Blocking the view's signals keeps a refill from reporting it.
    void currentRowChanged(int row);

protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    NameListModel* rows_;
};

} // namespace korvel::admin
