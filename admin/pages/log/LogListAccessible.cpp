#include "admin/pages/log/LogListAccessible.h"

#include "admin/pages/log/LogListView.h"

#include <QAccessibleWidget>
#include <QPointer>
#include <QWindow>

#include <vector>

namespace korvel::admin
{
namespace
{

// The `slot`-th row the view shows, whichever row of the log that is at the moment.
class ShownRowAccessible : public QAccessibleInterface
{
public:
    ShownRowAccessible(LogListView* view, int slot) : view_(view), slot_(slot) {}

    bool isValid() const override { return view_ != nullptr && Index().isValid(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return view_ ? view_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(view_); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name && isValid() ? Index().data().toString() : QString();
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override
    {
        if (!isValid())
            return {};
        const QRect shown = view_->visualRect(Index()) & view_->viewport()->rect();
        return {view_->viewport()->mapToGlobal(shown.topLeft()), shown.size()};
    }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override
    {
        QAccessible::State state;
        state.selectable = true;
        state.focusable = true;
        if (isValid())
        {
            state.selected = view_->selectionModel()->isSelected(Index());
            state.focused = view_->hasFocus() && view_->currentIndex() == Index();
        }
        return state;
    }

private:
    QModelIndex Index() const
    {
        const auto [first, count] = view_->ShownRows();
        return slot_ < count ? view_->model()->index(first + slot_, 0, view_->rootIndex()) : QModelIndex();
    }

    QPointer<LogListView> view_;
    int slot_;
};

class LogListAccessible : public QAccessibleWidget
{
public:
    explicit LogListAccessible(LogListView* view) : QAccessibleWidget(view, QAccessible::List) {}
    ~LogListAccessible() override
    {
        for (QAccessible::Id id : rows_)
            QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return View()->model() ? View()->ShownRows().second : 0; }
    QAccessibleInterface* child(int index) const override
    {
        if (index < 0 || index >= childCount())
            return nullptr;
        // One item per place in the view, made when first asked for and kept with the view's description.
        while (static_cast<int>(rows_.size()) <= index)
            rows_.push_back(QAccessible::registerAccessibleInterface(
                new ShownRowAccessible(View(), static_cast<int>(rows_.size()))));
        return QAccessible::accessibleInterface(rows_[static_cast<std::size_t>(index)]);
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        for (std::size_t slot = 0; slot < rows_.size(); ++slot)
            if (QAccessible::accessibleInterface(rows_[slot]) == child)
                return static_cast<int>(slot);
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override
    {
        const QPoint at = View()->viewport()->mapFromGlobal(QPoint(x, y));
        const QModelIndex index = View()->indexAt(at);
        return index.isValid() ? child(index.row() - View()->ShownRows().first) : nullptr;
    }

private:
    LogListView* View() const { return static_cast<LogListView*>(widget()); }

    mutable std::vector<QAccessible::Id> rows_;
};

QAccessibleInterface* DescribeLogList(const QString&, QObject* object)
{
    if (auto* view = dynamic_cast<LogListView*>(object))
        return new LogListAccessible(view);
    return nullptr;
}

} // namespace

void InstallLogListAccessible()
{
    static const bool installed = [] { return QAccessible::installFactory(DescribeLogList), true; }();
    (void)installed;
}

} // namespace korvel::admin
