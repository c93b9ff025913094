// The rows of the Servers view: one per profile, with the last report of its server. The row of the profile
// the window is logged in through is never checked here: it reads "Logged in" (its figures are the Status
// page's). A profile whose login was refused keeps that report and is left out of later sweeps until the
// person logs in to it or edits it, so a sweep never adds to the server's login delay.
#pragma once

#include "fleet/ServerCheck.h"
#include "settings/Profiles.h"

#include <QAbstractTableModel>
#include <QCoreApplication>

#include <vector>

namespace korvel::admin
{

class ServersModel : public QAbstractTableModel
{
    Q_DECLARE_TR_FUNCTIONS(ServersModel)

public:
    enum class Column
    {
        Name,
        Where,
        State,
        Engine,
        Sessions,
        RoundTrip,
        Checked
    };
    static constexpr int ColumnCount = static_cast<int>(Column::Checked) + 1;
    // The column's number in Qt's views and models.
    static constexpr int Number(Column column) { return static_cast<int>(column); }
    // What a column sorts by: numbers as numbers, times as times.
    static constexpr int SortRole = Qt::UserRole;

    explicit ServersModel(QObject* parent = nullptr);

    // The profiles as they are now: rows of profiles that went away go, new ones read "Not checked", an
    // edited profile is checked again even if its login was refused.
    void SetProfiles(const std::vector<settings::Profile>& profiles);
    // The profile the window is logged in through (empty: none); logging in to a refused one clears that.
    void SetLoggedIn(const std::string& profileName);
    void Report(const fleet::ServerReport& report);

    // The profiles the next sweep checks: neither the logged-in one nor one whose login was refused.
    std::vector<settings::Profile> ToCheck() const;
    // The exact name of the profile in `row`, for acting on it.
    const std::string& ProfileName(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    struct Row
    {
        settings::Profile Profile;
        fleet::ServerReport Last;
    };
    bool LoggedIn(const Row& row) const { return !loggedIn_.empty() && row.Profile.Name == loggedIn_; }
    QString Text(const Row& row, Column column) const;
    QVariant SortKey(const Row& row, Column column) const;
    QString StateShown(const Row& row) const;

    std::vector<Row> rows_;
    std::string loggedIn_;
};

} // namespace korvel::admin
