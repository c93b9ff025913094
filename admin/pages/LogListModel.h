// The lines of the server's log as a list model: the bytes stay as the server sent them and a line becomes
// text only when the view shows it, so a log of a million lines loads and scrolls without a widget per line.
#pragma once

#include "engine/wire/Message.h"

#include <QAbstractListModel>

namespace korvel::admin
{

class LogListModel : public QAbstractListModel
{
public:
    using QAbstractListModel::QAbstractListModel;

    void SetLines(StringList lines);
    const StringList& Lines() const { return lines_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    StringList lines_;
};

} // namespace korvel::admin
