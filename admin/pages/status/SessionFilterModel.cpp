#include "admin/pages/status/SessionFilterModel.h"

#include "admin/pages/status/SessionTableModel.h"

namespace korvel::admin
{

SessionFilterModel::SessionFilterModel(QObject* parent) : QSortFilterProxyModel(parent)
{
    setSortRole(SessionTableModel::SortRole);
    setSortCaseSensitivity(Qt::CaseInsensitive);
    setDynamicSortFilter(true); // changed and new rows take their sorted place
}

void SessionFilterModel::SetFilterText(const QString& text)
{
    if (text == text_)
        return;
    text_ = text;
    invalidateRowsFilter();
}

void SessionFilterModel::SetHideDead(bool hide)
{
    if (hide == hideDead_)
        return;
    hideDead_ = hide;
    invalidateRowsFilter();
}

bool SessionFilterModel::filterAcceptsRow(int sourceRow, const QModelIndex&) const
{
    const auto* sessions = static_cast<const SessionTableModel*>(sourceModel());
    const SessionRow& row = sessions->Row(sourceRow);
    if (hideDead_ && !row.Connected())
        return false;
    return text_.isEmpty() || row.UserName.contains(text_, Qt::CaseInsensitive) ||
           row.Address.contains(text_, Qt::CaseInsensitive);
}

} // namespace korvel::admin
