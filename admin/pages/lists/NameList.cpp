#include "admin/pages/lists/NameList.h"

#include <QItemSelectionModel>

namespace korvel::admin
{

QModelIndex NameListModel::index(int row, int column, const QModelIndex& parent) const
{
    return row >= 0 && row < names_.size() && column == 0 && !parent.isValid() ? createIndex(row, 0)
                                                                               : QModelIndex();
}

int NameListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(names_.size());
}

QVariant NameListModel::data(const QModelIndex& index, int role) const
{
    // Asked of no row as well: the name of the current row when there is none is empty.
    if (!index.isValid() || index.row() >= names_.size())
        return {};
    switch (role)
    {
    case Qt::DisplayRole:
    case Qt::EditRole: // what an editable chooser shows
        return shown_.at(index.row());
    case Qt::UserRole:
        return names_.at(index.row());
    default:
        return {};
    }
}

bool NameListModel::SetRows(const QStringList& names, const QStringList& shown)
{
    // A listing read again unchanged shares its lists with the last one: the comparison ends at once.
    if (names == names_)
        return false;
    beginResetModel();
    names_ = names;
    shown_ = shown;
    endResetModel();
    return true;
}

NameListView::NameListView(QWidget* parent) : QListView(parent), rows_(new NameListModel(this))
{
    setModel(rows_);
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this]
            {
                if (!selectionModel()->hasSelection() && currentRow() >= 0)
                    setCurrentRow(-1);
            });
}

void NameListView::setCurrentRow(int row)
{
    selectionModel()->setCurrentIndex(rows_->index(row, 0), QItemSelectionModel::ClearAndSelect);
}

void NameListView::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QListView::currentChanged(current, previous);
    Q_EMIT currentRowChanged(current.row());
}

} // namespace korvel::admin
