// The rows of the window's lists: one fixed height, and a paint that keeps each plain row's text laid out.
#pragma once

#include <QStyledItemDelegate>

#include <memory>

namespace korvel::admin
{

// Every list row has the same height (18 pixels) and, optionally, the same width. Rows look as the style
// paints them; but the style lays a row's text out three times at each paint, so a plain row (text only, on
// one line that fits, neither selected nor focused) draws its text from a layout kept from an earlier paint,
// and, painted again on the view's own opaque surface, is an image of that paint kept from the one before.
class RowTextLayouts;
class RowImages;
class FixedRowDelegate : public QStyledItemDelegate
{
public:
    explicit FixedRowDelegate(QObject* parent, int width = 0);
    ~FixedRowDelegate() override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

    static constexpr int RowHeight = 18;

private:
    int width_;
    std::unique_ptr<RowTextLayouts> layouts_;
    std::unique_ptr<RowImages> images_;
};

} // namespace korvel::admin
