#include "admin/pages/log/LogListView.h"

#include "admin/pages/log/LogListAccessible.h"

#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace korvel::admin
{

LogListView::LogListView(QWidget* parent) : QAbstractItemView(parent)
{
    setSelectionMode(SingleSelection);
    InstallLogListAccessible();
}

int LogListView::RowCount() const
{
    return model() ? model()->rowCount(rootIndex()) : 0;
}

int LogListView::TopRow() const
{
    return verticalScrollBar()->value();
}

int LogListView::RowsInView() const
{
    return std::max(1, viewport()->height() / RowHeight());
}

int LogListView::RowAt(int y) const
{
    return TopRow() + (y < 0 ? -1 - (-1 - y) / RowHeight() : y / RowHeight());
}

QRect LogListView::RowRect(int row) const
{
    return {-horizontalOffset(), (row - TopRow()) * RowHeight(), rowSize_.width(), RowHeight()};
}

QModelIndex LogListView::Row(int row) const
{
    return model()->index(row, 0, rootIndex());
}

QRect LogListView::visualRect(const QModelIndex& index) const
{
    if (!index.isValid() || index.parent() != rootIndex() || index.column() != 0)
        return {};
    return RowRect(index.row());
}

void LogListView::scrollTo(const QModelIndex& index, ScrollHint hint)
{
    if (!index.isValid() || index.parent() != rootIndex())
        return;
    executeDelayedItemsLayout(); // the scroll range must know every row
    const int row = index.row();
    int top = TopRow();
    if (hint == EnsureVisible)
        hint = row < top ? PositionAtTop : row >= top + RowsInView() ? PositionAtBottom : EnsureVisible;
    // As QListView counts them: the rows that fit in the view up to this one.
    const int rowsUpToIt = std::min(RowsInView(), row + 1);
    switch (hint)
    {
    case PositionAtTop:
        top = row;
        break;
    case PositionAtBottom:
        top = row - rowsUpToIt + 1;
        break;
    case PositionAtCenter:
        top = row - rowsUpToIt / 2;
        break;
    case EnsureVisible:
        return;
    }
    verticalScrollBar()->setValue(top);
}

QModelIndex LogListView::indexAt(const QPoint& point) const
{
    const int row = RowAt(point.y());
    const int x = point.x() + horizontalOffset();
    if (row < 0 || row >= RowCount() || x < 0 || x >= rowSize_.width())
        return {};
    return Row(row);
}

std::pair<int, int> LogListView::ShownRows() const
{
    const int first = std::clamp(TopRow(), 0, RowCount());
    const int last = std::min(RowCount() - 1, RowAt(viewport()->height() - 1));
    return {first, std::max(0, last - first + 1)};
}

QModelIndex LogListView::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers)
{
    const int rows = RowCount();
    if (rows == 0)
        return {};
    const QModelIndex current = currentIndex();
    if (!current.isValid())
        return Row(0);
    const int page = std::max(1, RowsInView() - 1);
    int row = current.row();
    switch (cursorAction)
    {
    case MoveUp:
    case MovePrevious:
        --row;
        break;
    case MoveDown:
    case MoveNext:
        ++row;
        break;
    case MovePageUp:
        row -= page;
        break;
    case MovePageDown:
        row += page;
        break;
    case MoveHome:
        row = 0;
        break;
    case MoveEnd:
        row = rows - 1;
        break;
    case MoveLeft:
    case MoveRight:
        return current; // one column
    }
    return Row(std::clamp(row, 0, rows - 1));
}

int LogListView::horizontalOffset() const
{
    return horizontalScrollBar()->value();
}

int LogListView::verticalOffset() const
{
    return TopRow() * RowHeight();
}

bool LogListView::isIndexHidden(const QModelIndex&) const
{
    return false;
}

void LogListView::setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command)
{
    const QRect area = rect.normalized();
    const int first = std::max(0, RowAt(area.top()));
    const int last = std::min(RowCount() - 1, RowAt(area.bottom()));
    QItemSelection selection;
    if (first <= last)
        selection.select(Row(first), Row(last));
    selectionModel()->select(selection, command);
}

QRegion LogListView::visualRegionForSelection(const QItemSelection& selection) const
{
    QRegion region;
    const QRect view = viewport()->rect();
    for (const QItemSelectionRange& range : selection)
        if (range.isValid() && range.parent() == rootIndex())
            region += RowRect(range.top()).united(RowRect(range.bottom())) & view;
    return region;
}

void LogListView::paintEvent(QPaintEvent* event)
{
    const int rows = RowCount();
    if (rows == 0)
        return;
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QStyle::State state = option.state;
    const bool enabled = state & QStyle::State_Enabled;
    const QModelIndex current = currentIndex();
    const bool focus = (hasFocus() || viewport()->hasFocus()) && current.isValid();
    const QRect area = event->rect();
    const int last = std::min(rows - 1, RowAt(area.bottom()));
    QPainter painter(viewport());
    for (int row = std::max(0, RowAt(area.top())); row <= last; ++row)
    {
        const QModelIndex index = Row(row);
        option.rect = RowRect(row);
        option.state = state;
        if (selectionModel()->isSelected(index))
            option.state |= QStyle::State_Selected;
        if (enabled)
        {
            const bool rowEnabled = model()->flags(index) & Qt::ItemIsEnabled;
            option.state.setFlag(QStyle::State_Enabled, rowEnabled);
            option.palette.setCurrentColorGroup(rowEnabled ? QPalette::Normal : QPalette::Disabled);
        }
        if (focus && index == current)
            option.state |= QStyle::State_HasFocus;
        itemDelegateForIndex(index)->paint(&painter, option, index);
    }
}

void LogListView::updateGeometries()
{
    const int rows = RowCount();
    if (rows > 0)
        rowSize_ = sizeHintForIndex(Row(0));
    const int shown = RowsInView();
    verticalScrollBar()->setSingleStep(1);
    verticalScrollBar()->setPageStep(shown);
    verticalScrollBar()->setRange(0, std::max(0, rows - shown));
    horizontalScrollBar()->setSingleStep(rowSize_.width());
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setRange(0, rows > 0 ? std::max(0, rowSize_.width() - viewport()->width()) : 0);
    QAbstractItemView::updateGeometries();
}

void LogListView::scrollContentsBy(int dx, int dy)
{
    // The vertical scroll bar counts rows.
    const int pixels = dy * RowHeight();
    scrollDirtyRegion(dx, pixels);
    viewport()->scroll(dx, pixels);
}

void LogListView::rowsInserted(const QModelIndex& parent, int start, int end)
{
    QAbstractItemView::rowsInserted(parent, start, end);
    if (parent != rootIndex())
        return;
    updateGeometries();
    if (start <= TopRow() + RowsInView())
        viewport()->update();
}

void LogListView::rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end)
{
    QAbstractItemView::rowsAboutToBeRemoved(parent, start, end);
    scheduleDelayedItemsLayout(); // runs once the rows are gone
}

} // namespace korvel::admin
