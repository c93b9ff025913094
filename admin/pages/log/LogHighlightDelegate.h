// Paints a Log page row with every match of the current search on a highlight background.
#pragma once

#include "admin/pages/FixedRowDelegate.h"

#include <functional>

namespace korvel::admin
{

class LogLineMatcher;

class LogHighlightDelegate : public FixedRowDelegate
{
public:
    // `matcher` returns the current search, or null when there is none.
    LogHighlightDelegate(QObject* parent, int width, std::function<const LogLineMatcher*()> matcher);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

    static QColor HighlightColor() { return {255, 214, 0}; }

private:
    std::function<const LogLineMatcher*()> matcher_;
};

} // namespace korvel::admin
