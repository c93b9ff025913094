#include "admin/pages/servers/ServersModel.h"

#include "engine/wire/Utf8.h"

#include <QBrush>
#include <QColor>
#include <QDateTime>
#include <QIcon>
#include <QLocale>
#include <QPainter>
#include <QPixmap>

#include <algorithm>
#include <array>
#include <chrono>

namespace korvel::admin
{

using fleet::ServerState;

namespace
{

// What a state asks of the person, shown by colour and by the icon's shape both: colour alone is no cue.
enum class Health
{
    Good,
    Down,
    Attention,
    Unknown
};

Health HealthOf(ServerState state, bool loggedIn)
{
    if (loggedIn)
        return Health::Good;
    switch (state)
    {
    case ServerState::Up:
        return Health::Good;
    case ServerState::Refused:
    case ServerState::NoAnswer:
    case ServerState::Failed:
        return Health::Down;
    case ServerState::LoginRefused:
    case ServerState::PasswordNeeded:
    case ServerState::HostKeyUnknown:
        return Health::Attention;
    case ServerState::NotChecked:
        break;
    }
    return Health::Unknown;
}

QColor ColourOf(Health health)
{
    switch (health)
    {
    case Health::Good:
        return QColor(0x1b, 0x6e, 0x20);
    case Health::Down:
        return QColor(0xb0, 0x00, 0x20);
    case Health::Attention:
        return QColor(0x8a, 0x52, 0x00);
    case Health::Unknown:
        break;
    }
    return QColor(0x5f, 0x63, 0x68);
}

// A disc of the state's colour with a mark of its own: a tick, a cross, an exclamation mark, a question mark.
QIcon IconOf(Health health)
{
    static const std::array<QIcon, 4> icons = []
    {
        std::array<QIcon, 4> made;
        const std::array<QString, 4> marks{QStringLiteral("\u2713"), QStringLiteral("\u2715"),
                                           QStringLiteral("!"), QStringLiteral("?")};
        for (std::size_t kind = 0; kind < made.size(); ++kind)
        {
            QPixmap pixmap(32, 32);
            pixmap.fill(Qt::transparent);
            QPainter painter(&pixmap);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(Qt::NoPen);
            painter.setBrush(ColourOf(static_cast<Health>(kind)));
            painter.drawEllipse(1, 1, 30, 30);
            QFont font = painter.font();
            font.setPixelSize(22);
            font.setBold(true);
            painter.setFont(font);
            painter.setPen(Qt::white);
            painter.drawText(pixmap.rect(), Qt::AlignCenter, marks[kind]);
            made[kind] = QIcon(pixmap);
        }
        return made;
    }();
    return icons[static_cast<std::size_t>(health)];
}

QString Shown(const std::string& text)
{
    return QString::fromStdString(ShownName(text));
}

// Today's checks by the second, as checks repeat within a minute; older ones with their date.
QString CheckedText(std::chrono::system_clock::time_point checkedAt)
{
    const QDateTime when = QDateTime::fromMSecsSinceEpoch(
        std::chrono::duration_cast<std::chrono::milliseconds>(checkedAt.time_since_epoch()).count());
    const QLocale locale;
    if (when.date() == QDate::currentDate())
        return locale.toString(when.time(), QStringLiteral("HH:mm:ss"));
    return locale.toString(when, QLocale::ShortFormat);
}

} // namespace

ServersModel::ServersModel(QObject* parent) : QAbstractTableModel(parent) {}

void ServersModel::SetProfiles(const std::vector<settings::Profile>& profiles)
{
    std::vector<Row> rows;
    rows.reserve(profiles.size());
    for (const settings::Profile& profile : profiles)
    {
        Row row{profile, {}};
        row.Last.Profile = profile.Name;
        auto old = std::find_if(rows_.begin(), rows_.end(),
                                [&](const Row& kept) { return kept.Profile.Name == profile.Name; });
        // An edited profile is another server, or other credentials: what was seen of the old one is void.
        if (old != rows_.end() && old->Profile == profile)
            row.Last = old->Last;
        rows.push_back(std::move(row));
    }
    const bool sameNames =
        std::equal(rows.begin(), rows.end(), rows_.begin(), rows_.end(),
                   [](const Row& a, const Row& b) { return a.Profile.Name == b.Profile.Name; });
    // The same profiles keep their rows, so the person's place in the list stays where it was.
    if (sameNames)
    {
        rows_ = std::move(rows);
        if (!rows_.empty())
            emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
        return;
    }
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

void ServersModel::SetLoggedIn(const std::string& profileName)
{
    loggedIn_ = profileName;
    for (Row& row : rows_)
        if (LoggedIn(row) && row.Last.State == ServerState::LoginRefused)
        {
            row.Last = {};
            row.Last.Profile = row.Profile.Name;
        }
    if (!rows_.empty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
}

void ServersModel::Report(const fleet::ServerReport& report)
{
    for (std::size_t at = 0; at < rows_.size(); ++at)
        if (rows_[at].Profile.Name == report.Profile)
        {
            rows_[at].Last = report;
            const int row = static_cast<int>(at);
            emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
            return;
        }
}

std::vector<settings::Profile> ServersModel::ToCheck() const
{
    std::vector<settings::Profile> profiles;
    for (const Row& row : rows_)
        if (!LoggedIn(row) && row.Last.State != ServerState::LoginRefused)
            profiles.push_back(row.Profile);
    return profiles;
}

const std::string& ServersModel::ProfileName(int row) const
{
    return rows_.at(static_cast<std::size_t>(row)).Profile.Name;
}

int ServersModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ServersModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString ServersModel::StateShown(const Row& row) const
{
    // The wording is the one the CLI and the exporter use too, here in the window's language; a failure's
    // message may carry the server's own bytes.
    if (LoggedIn(row))
        return tr("Logged in");
    const fleet::ServerReport& last = row.Last;
    switch (last.State)
    {
    case ServerState::NotChecked:
        return tr("Not checked");
    case ServerState::Up:
        return tr("Up");
    case ServerState::Refused:
        return tr("Down: refused");
    case ServerState::NoAnswer:
        return tr("No answer in %1 s").arg(std::chrono::duration<double>(last.Deadline).count());
    case ServerState::LoginRefused:
        return tr("Login refused");
    case ServerState::PasswordNeeded:
        return tr("Password needed");
    case ServerState::HostKeyUnknown:
        return tr("Host key unknown");
    case ServerState::Failed:
        break;
    }
    return tr("Down: %1").arg(Shown(last.Detail));
}

QString ServersModel::Text(const Row& row, Column column) const
{
    const fleet::ServerReport& last = row.Last;
    const bool figures = last.State == ServerState::Up && !LoggedIn(row);
    switch (column)
    {
    case Column::Name:
        return Shown(row.Profile.Name);
    case Column::Where:
        return Shown(fleet::WhereText(row.Profile));
    case Column::State:
        return StateShown(row);
    case Column::Engine:
        return figures ? QString::fromStdString(last.Version) : QString();
    case Column::Sessions:
        return figures ? tr("%1 / %2").arg(last.Connected).arg(last.Sessions) : QString();
    case Column::RoundTrip:
        return figures ? tr("%1 ms").arg(last.RoundTripMs, 0, 'f', last.RoundTripMs < 10 ? 1 : 0) : QString();
    case Column::Checked:
        if (LoggedIn(row) || last.State == ServerState::NotChecked)
            return {};
        return CheckedText(last.CheckedAt);
    }
    return {};
}

QVariant ServersModel::SortKey(const Row& row, Column column) const
{
    const fleet::ServerReport& last = row.Last;
    switch (column)
    {
    case Column::State:
        // The states that need the person first, then the rest by their text.
        return QString::number(static_cast<int>(HealthOf(last.State, LoggedIn(row))) ^ 1) + StateShown(row);
    case Column::Sessions:
        return last.State == ServerState::Up ? last.Connected : -1;
    case Column::RoundTrip:
        return last.State == ServerState::Up ? last.RoundTripMs : -1.0;
    case Column::Checked:
        return static_cast<qlonglong>(last.CheckedAt.time_since_epoch().count());
    default:
        return Text(row, column);
    }
}

QVariant ServersModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const Row& row = rows_[static_cast<std::size_t>(index.row())];
    const auto column = static_cast<Column>(index.column());
    const bool stateCell = column == Column::State;
    switch (role)
    {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return Text(row, column);
    case Qt::ToolTipRole:
        return stateCell && !row.Last.Detail.empty() ? Shown(row.Last.Detail) : QVariant();
    case Qt::DecorationRole:
        return stateCell ? IconOf(HealthOf(row.Last.State, LoggedIn(row))) : QVariant();
    case Qt::ForegroundRole:
        return stateCell ? QBrush(ColourOf(HealthOf(row.Last.State, LoggedIn(row)))) : QVariant();
    case SortRole:
        return SortKey(row, column);
    default:
        return {};
    }
}

QVariant ServersModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (static_cast<Column>(section))
    {
    case Column::Name:
        return tr("Name");
    case Column::Where:
        return tr("Where");
    case Column::State:
        return tr("State");
    case Column::Engine:
        return tr("Engine");
    case Column::Sessions:
        return tr("Sessions");
    case Column::RoundTrip:
        return tr("Round Trip");
    case Column::Checked:
        return tr("Checked");
    }
    return {};
}

} // namespace korvel::admin
