// The lines of the server's log as a list model over one block of the server's bytes (LogText): a line
// becomes text only when the view shows it, so a log of a million lines loads and scrolls without a string
// per line. The text is never changed in place, only replaced, so the search and the joining of a follow
// read can go on reading the one they were given on threads of their own.
#pragma once

#include "engine/LogText.h"

#include <QAbstractListModel>

#include <memory>

namespace korvel::admin
{

class LogListModel : public QAbstractListModel
{
public:
    explicit LogListModel(QObject* parent);

    // Shows `log` instead of the held text and resets the view.
    void SetLog(LogText log);
    void Clear();
    // Shows `longer`, the held text followed by more lines, which become new rows.
    void AppendLines(LogText longer);
    const LogText& Log() const { return *log_; }
    // The held text, for reading on another thread while the model goes on.
    const std::shared_ptr<const LogText>& Shared() const { return log_; }
    QString LineText(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    std::shared_ptr<const LogText> log_;
};

} // namespace korvel::admin
