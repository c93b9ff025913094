// The rows the Log page's list shows: every line of the log, or only the matching ones. A proxy over the log
// model, so the log stays in memory once; the matching lines are the search's list of line numbers.
#pragma once

#include <QAbstractProxyModel>

#include <cstdint>
#include <vector>

namespace korvel::admin
{

class LogFilterModel : public QAbstractProxyModel
{
public:
    using QAbstractProxyModel::QAbstractProxyModel;

    void setSourceModel(QAbstractItemModel* source) override;
    // Shows only the lines in `*lines` (sorted, owned by the caller), or every line for null.
    void SetLines(const std::vector<std::uint32_t>* lines);
    // The caller's list grew at its end.
    void LinesAppended();
    bool Filtering() const { return lines_ != nullptr; }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QModelIndex mapToSource(const QModelIndex& proxyIndex) const override;
    // A source line that is filtered out maps to the invalid index.
    QModelIndex mapFromSource(const QModelIndex& sourceIndex) const override;

private:
    const std::vector<std::uint32_t>* lines_ = nullptr;
    int shown_ = 0; // rows of lines_ the view was told about
};

} // namespace korvel::admin
