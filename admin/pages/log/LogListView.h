// The Log page's list: one column of rows of one height, laid out by arithmetic. Appending rows or resetting
// the model costs the same for ten rows as for a million, where QListView lays every row out again each time
// (some 40 ms for a million, uniform item sizes or not). Otherwise it looks and behaves as a QListView of
// rows of one size: it scrolls a row at a time, selects one row, and each row is as wide as the delegate
// says, so long lines scroll into view.
#pragma once

#include <QAbstractItemView>

#include <algorithm>
#include <utility>

namespace korvel::admin
{

class LogListView : public QAbstractItemView
{
public:
    explicit LogListView(QWidget* parent);

    QRect visualRect(const QModelIndex& index) const override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
    QModelIndex indexAt(const QPoint& point) const override;
    // The rows the viewport shows, whole or in part: the first and how many (a screen reader reads them).
    std::pair<int, int> ShownRows() const;

protected:
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    int horizontalOffset() const override;
    int verticalOffset() const override;
    bool isIndexHidden(const QModelIndex& index) const override;
    void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) override;
    QRegion visualRegionForSelection(const QItemSelection& selection) const override;

    void paintEvent(QPaintEvent* event) override;
    void updateGeometries() override;
    void scrollContentsBy(int dx, int dy) override;
    void rowsInserted(const QModelIndex& parent, int start, int end) override;
    void rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) override;

private:
    int RowCount() const;
    int RowHeight() const { return std::max(1, rowSize_.height()); }
    int TopRow() const;
    // The rows the view shows whole.
    int RowsInView() const;
    // The row at a height in the viewport (before the first row or after the last one too).
    int RowAt(int y) const;
    QRect RowRect(int row) const;
    QModelIndex Row(int row) const;

    QSize rowSize_; // the delegate's, taken from the first row at every layout
};

} // namespace korvel::admin
