#include "admin/pages/status/ScrollAnchor.h"

#include <QAbstractItemView>
#include <QHash>
#include <QItemSelectionModel>
#include <QScrollBar>
#include <QSet>

namespace korvel::admin
{

ScrollAnchor::ScrollAnchor(QAbstractItemView* view, int keyRole)
    : QObject(view), view_(view), keyRole_(keyRole)
{
    QAbstractItemModel* model = view->model();
    for (auto about : {&QAbstractItemModel::rowsAboutToBeInserted, &QAbstractItemModel::rowsAboutToBeRemoved})
        connect(model, about, this, &ScrollAnchor::ChangeStarts);
    connect(model, &QAbstractItemModel::layoutAboutToBeChanged, this, &ScrollAnchor::ChangeStarts);
    connect(model, &QAbstractItemModel::modelAboutToBeReset, this, &ScrollAnchor::ChangeStarts);
    for (auto done : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(model, done, this, &ScrollAnchor::ChangeEnds);
    connect(model, &QAbstractItemModel::layoutChanged, this, &ScrollAnchor::ChangeEnds);
    connect(model, &QAbstractItemModel::modelReset, this, &ScrollAnchor::ChangeEnds);
    connect(view->verticalScrollBar(), &QScrollBar::valueChanged, this,
            [this]
            {
                if (depth_ == 0)
                    Remember();
            });
}

void ScrollAnchor::Remember()
{
    // Read between changes only: once a change has begun, the view no longer knows its rows until it ends.
    keys_.clear();
    for (QModelIndex row = view_->indexAt(QPoint(1, 1));
         row.isValid() && view_->visualRect(row).top() < view_->viewport()->height();
         row = row.sibling(row.row() + 1, row.column()))
        keys_.push_back({row.data(keyRole_), view_->visualRect(row).top()});
}

void ScrollAnchor::ChangeStarts()
{
    if (depth_++ > 0)
        return;
    const QScrollBar* bar = view_->verticalScrollBar();
    anchored_ = bar->value() != bar->minimum();
    picked_.clear();
    for (const QModelIndex& row : view_->selectionModel()->selectedRows())
        picked_.push_back(row.data(keyRole_));
    current_ = view_->currentIndex().data(keyRole_);
}

void ScrollAnchor::ChangeEnds()
{
    if (depth_ == 0 || --depth_ > 0)
        return;
    KeepPicked();
    if (anchored_)
        Restore();
    Remember();
}

void ScrollAnchor::KeepPicked()
{
    QItemSelectionModel* selection = view_->selectionModel();
    QSet<QString> selected;
    for (const QModelIndex& row : selection->selectedRows())
        selected.insert(row.data(keyRole_).toString());
    const bool currentKept = !current_.isValid() || view_->currentIndex().data(keyRole_) == current_;
    std::vector<QString> missing;
    for (const QVariant& key : picked_)
        if (!selected.contains(key.toString()))
            missing.push_back(key.toString());
    if (missing.empty() && currentKept)
        return;
    // One pass over the rows, however many were picked (all of them, after Ctrl+A).
    QAbstractItemModel* model = view_->model();
    QHash<QString, int> rows;
    for (int row = 0; row < model->rowCount(); ++row)
        rows.insert(model->index(row, 0).data(keyRole_).toString(), row);
    if (!currentKept)
        if (const auto found = rows.constFind(current_.toString()); found != rows.constEnd())
            selection->setCurrentIndex(model->index(*found, 0), QItemSelectionModel::NoUpdate);
    QItemSelection again;
    for (const QString& key : missing)
        if (const auto found = rows.constFind(key); found != rows.constEnd())
            again.select(model->index(*found, 0), model->index(*found, 0));
    if (!again.isEmpty())
        selection->select(again, QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void ScrollAnchor::Restore()
{
    // The rows that were in view from the top: when the top one went, the next one still there takes its
    // place.
    QAbstractItemModel* model = view_->model();
    for (const Key& key : keys_)
    {
        const QModelIndexList found =
            model->match(model->index(0, 0), keyRole_, key.Value, 1, Qt::MatchExactly);
        if (found.isEmpty())
            continue;
        view_->scrollTo(found.front(), QAbstractItemView::PositionAtTop);
        // Scrolling by pixels, the row may stand partly above the top: so it does again.
        QScrollBar* bar = view_->verticalScrollBar();
        bar->setValue(bar->value() + view_->visualRect(found.front()).top() - key.Top);
        return;
    }
}

} // namespace korvel::admin
