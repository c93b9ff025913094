// What the sessions list shows of the model: the rows whose user name or address holds the filter text
// (without regard to case), without the sessions that have no connection when those are hidden, sorted by
// the raw values (times as dates, ids as numbers) rather than by their text.
#pragma once

#include <QSortFilterProxyModel>

namespace korvel::admin
{

class SessionFilterModel : public QSortFilterProxyModel
{
public:
    explicit SessionFilterModel(QObject* parent);

    void SetFilterText(const QString& text);
    void SetHideDead(bool hide);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    QString text_;
    bool hideDead_ = false;
};

} // namespace korvel::admin
