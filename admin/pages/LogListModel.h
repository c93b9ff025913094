// The lines of the server's log as a list model over one block of the server's bytes (LogText): a line
// becomes text only when the view shows it, so a log of a million lines loads and scrolls without a string
// per line.
#pragma once

#include "engine/LogText.h"

#include <QAbstractListModel>

namespace korvel::admin
{

class LogListModel : public QAbstractListModel
{
public:
    using QAbstractListModel::QAbstractListModel;

    // Takes the text over (the argument receives the old one) and resets the view.
    void SetLog(LogText& log);
    void Clear();
    // Adds the lines of `latest` from `firstLine` on as new rows.
    void AppendLines(LogText& latest, std::size_t firstLine);
    const LogText& Log() const { return log_; }
    QString LineText(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    LogText log_;
};

} // namespace korvel::admin
