#include "admin/history/ChangeHistoryDialog.h"
#include "admin/common/Help.h"

#include "admin/common/Accessible.h"
#include "admin/common/Command.h"
#include "engine/wire/Utf8.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QCoreApplication>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <set>

namespace korvel::admin
{

namespace
{

// Journal fields come from outside (names, a hand-edited line): shown so that none can pass for another.
QString ShownField(const std::string& text)
{
    return QString::fromStdString(ShownName(text));
}

} // namespace

// The entries the filter lets through, oldest first.
class ChangeHistoryModel : public QAbstractTableModel
{
public:
    enum class Column
    {
        Time,
        Server,
        Profile,
        User,
        Program,
        Operation,
        Object,
        Change,
        Result
    };
    static constexpr int ColumnCount = static_cast<int>(Column::Result) + 1;

    using QAbstractTableModel::QAbstractTableModel;

    void SetEntries(std::vector<journal::Entry> entries)
    {
        entries_ = std::move(entries);
        SetFilter(filter_);
    }
    void SetFilter(const journal::Filter& filter)
    {
        beginResetModel();
        filter_ = filter;
        shown_.clear();
        for (const journal::Entry& entry : entries_)
            if (journal::Matches(entry, filter_))
                shown_.push_back(&entry);
        endResetModel();
    }
    const std::vector<journal::Entry>& Entries() const { return entries_; }
    const journal::Entry& Shown(int row) const { return *shown_[static_cast<std::size_t>(row)]; }

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(shown_.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : ColumnCount;
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
            return {};
        const journal::Entry& entry = Shown(index.row());
        if (role == Qt::ToolTipRole)
            return QString::fromStdString(journal::EntryText(entry));
        using enum Column;
        switch (static_cast<Column>(index.column()))
        {
        case Time:
            return TimeText(entry.Time);
        case Server:
            return ShownField(entry.From.Server);
        case Profile:
            return ShownField(entry.From.Profile);
        case User:
            return ShownField(entry.From.User);
        case Program:
            return ShownField(entry.From.Program);
        case Operation:
            return ShownField(entry.Operation);
        case Object:
            return ShownField(entry.Object) +
                   (entry.Database ? QCoreApplication::translate("ChangeHistoryDialog", " on %1")
                                         .arg(ShownField(*entry.Database))
                                   : QString());
        case Change:
            return ShownField(entry.Change);
        case Result:
            break;
        }
        return ResultText(entry);
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        static const char* const captions[ColumnCount] = {
            QT_TRANSLATE_NOOP("ChangeHistoryDialog", "Time (UTC)"),
            QT_TRANSLATE_NOOP("ChangeHistoryDialog", "Server"),
            QT_TRANSLATE_NOOP("ChangeHistoryDialog", "Profile"),
            QT_TRANSLATE_NOOP("ChangeHistoryDialog", "User"),
            QT_TRANSLATE_NOOP("ChangeHistoryDialog", "Program"),
            QT_TRANSLATE_NOOP("ChangeHistoryDialog", "Operation"),
            QT_TRANSLATE_NOOP("ChangeHistoryDialog", "Object"),
            QT_TRANSLATE_NOOP("ChangeHistoryDialog", "Change"),
            QT_TRANSLATE_NOOP("ChangeHistoryDialog", "Result")};
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount)
            return {};
        return QCoreApplication::translate("ChangeHistoryDialog", captions[section]);
    }

private:
    // "2024-05-01 12:00:00" for the journal's UTC times, to the second (the copied text keeps them whole).
    static QString TimeText(const std::string& time)
    {
        const QString text = QString::fromStdString(time);
        if (text.size() != 29 || !text.endsWith(QStringLiteral("+00:00")))
            return text;
        return text.left(19).replace(QLatin1Char('T'), QLatin1Char(' '));
    }
    static QString ResultText(const journal::Entry& entry)
    {
        if (entry.Ok)
            return QCoreApplication::translate("ChangeHistoryDialog", "ok");
        const QString message = QString::fromStdString(entry.ErrorMessage);
        if (entry.Unknown)
            return QCoreApplication::translate("ChangeHistoryDialog", "unknown: %1").arg(message);
        return entry.ErrorCode != 0 ? QCoreApplication::translate("ChangeHistoryDialog", "error %1: %2")
                                          .arg(QString::number(entry.ErrorCode), message)
                                    : message;
    }

    std::vector<journal::Entry> entries_;
    journal::Filter filter_;
    std::vector<const journal::Entry*> shown_;
};

namespace
{

constexpr int RowHeight = 18;
QString AnyChoice()
{
    return QCoreApplication::translate("ChangeHistoryDialog", "(any)");
}

} // namespace

ChangeHistoryDialog::ChangeHistoryDialog(std::string journalPath, QWidget* parent)
    : QDialog(parent), path_(std::move(journalPath))
{
    setObjectName("ChangeHistoryDialog");
    setWindowTitle(QCoreApplication::translate("ChangeHistoryDialog", "Change History"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setModal(true);

    serverBox_ = new QComboBox(this);
    serverBox_->setObjectName("ServerFilterBox");
    userBox_ = new QComboBox(this);
    userBox_->setObjectName("UserFilterBox");
    for (QComboBox* box : {serverBox_, userBox_})
    {
        box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        box->setMinimumContentsLength(16);
        connect(box, &QComboBox::currentIndexChanged, this, [this] { ApplyFilter(); });
    }
    objectEdit_ = new QLineEdit(this);
    objectEdit_->setObjectName("ObjectFilterEdit");
    objectEdit_->setPlaceholderText(QCoreApplication::translate("ChangeHistoryDialog", "Part of a name"));
    objectEdit_->setClearButtonEnabled(true);
    sinceEdit_ = new QLineEdit(this);
    sinceEdit_->setObjectName("SinceEdit");
    sinceEdit_->setPlaceholderText(QCoreApplication::translate(
        "ChangeHistoryDialog", "2024-05-01 or 2024-05-01T12:00 (UTC unless an offset follows)"));
    sinceEdit_->setClearButtonEnabled(true);
    for (QLineEdit* edit : {objectEdit_, sinceEdit_})
        connect(edit, &QLineEdit::textChanged, this, [this] { ApplyFilter(); });

    auto* filters = new QFormLayout;
    auto* names = new QHBoxLayout;
    auto* serverLabel = new QLabel(QCoreApplication::translate("ChangeHistoryDialog", "&Server:"), this);
    serverLabel->setBuddy(serverBox_);
    auto* sinceLabel = new QLabel(QCoreApplication::translate("ChangeHistoryDialog", "S&ince:"), this);
    sinceLabel->setBuddy(sinceEdit_);
    names->addWidget(serverBox_);
    auto* userLabel = new QLabel(QCoreApplication::translate("ChangeHistoryDialog", "&User:"), this);
    userLabel->setBuddy(userBox_);
    names->addWidget(userLabel);
    names->addWidget(userBox_);
    auto* objectLabel = new QLabel(QCoreApplication::translate("ChangeHistoryDialog", "&Object:"), this);
    objectLabel->setBuddy(objectEdit_);
    names->addWidget(objectLabel);
    names->addWidget(objectEdit_, 1);
    filters->addRow(serverLabel, names);
    filters->addRow(sinceLabel, sinceEdit_);
    NameControlsByLabels(this);

    model_ = new ChangeHistoryModel(this);
    table_ = new QTableView(this);
    SetHelpContext(table_, 84);
    table_->setObjectName("ChangeHistoryTable");
    table_->setModel(model_);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setTabKeyNavigation(false); // Tab leaves the table; the arrow keys move in it
    table_->setAccessibleName(QCoreApplication::translate("ChangeHistoryDialog", "Changes"));
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setWordWrap(false);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(RowHeight);
    // Columns as wide as their usual content or their caption (a translation may be longer), each resizable;
    // the last one takes what is left.
    const QFontMetrics metrics = table_->fontMetrics();
    const char* const widest[ChangeHistoryModel::ColumnCount] = {
        "2024-05-01 12:00:00", "127.0.0.1:12006",      "Profile",         "admin",
        "korvel-admin-cli",    "modify database user", "Inventory@Sales", "administrator false -> true",
        "error 10021"};
    int tableWidth = 0;
    for (int column = 0; column < ChangeHistoryModel::ColumnCount; ++column)
    {
        const QString caption = model_->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
        const int width = std::max(metrics.horizontalAdvance(QString::fromLatin1(widest[column])),
                                   metrics.horizontalAdvance(caption)) +
                          16;
        table_->setColumnWidth(column, width);
        tableWidth += width;
    }
    table_->horizontalHeader()->setStretchLastSection(true);
    // Small enough for an 800x600 screen with the buttons under it; it opens as wide as its columns where the
    // screen has the room (below).
    table_->setMinimumSize(320, 120);

    countLabel_ = new QLabel(this);
    countLabel_->setObjectName("CountLabel");
    countLabel_->setToolTip(QString::fromStdString(path_));
    auto* copy = new QPushButton(QCoreApplication::translate("ChangeHistoryDialog", "&Copy as Text"), this);
    copy->setObjectName("CopyHistoryButton");
    copy->setAutoDefault(false);
    connect(copy, &QPushButton::clicked, this, [this] { RunCommand(this, [this] { CopyButtonClick(); }); });
    auto* close = new QPushButton(QCoreApplication::translate("ChangeHistoryDialog", "C&lose"),
                                  this); // Escape closes the dialog as well
    close->setObjectName("CloseBtn");
    close->setAutoDefault(false);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(countLabel_, 1);
    buttons->addWidget(copy);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(table_, 1);
    layout->addLayout(buttons);
    const QSize wanted(std::min(tableWidth + 48, 1100),
                       sizeHint().height() + 300 - table_->sizeHint().height());
    resize(screen() ? wanted.boundedTo(screen()->availableGeometry().size() - QSize(16, 48)) : wanted);
    Read();
}

ChangeHistoryDialog::~ChangeHistoryDialog() = default;

void ChangeHistoryDialog::Read()
{
    reading_ = true;
    countLabel_->setText(QCoreApplication::translate("ChangeHistoryDialog", "Reading the journal..."));
    reader_.Queue(
        [this, path = path_](const LocalWorker::Deliver& deliver)
        {
            try
            {
                auto history = std::make_shared<journal::History>(journal::ReadHistory(path));
                deliver([this, history] { ShowHistory(std::move(*history)); });
            }
            catch (const std::exception& error)
            {
                deliver([this, message = QString::fromUtf8(error.what())] { ShowReadError(message); });
            }
        });
}

void ChangeHistoryDialog::ShowHistory(journal::History history)
{
    std::set<std::string> servers;
    std::set<std::string> users;
    for (const journal::Entry& entry : history.Entries)
    {
        servers.insert(entry.From.Server);
        users.insert(entry.From.User);
    }
    unreadable_ = history.Unreadable;
    model_->SetEntries(std::move(history.Entries));
    FillChoices(serverBox_, {servers.begin(), servers.end()});
    FillChoices(userBox_, {users.begin(), users.end()});
    reading_ = false;
    ApplyFilter();
    table_->scrollToBottom();
}

void ChangeHistoryDialog::ShowReadError(const QString& message)
{
    reading_ = false;
    countLabel_->setText(message);
}

void ChangeHistoryDialog::FillChoices(QComboBox* box, const std::vector<std::string>& values)
{
    const QSignalBlocker quiet(box);
    box->clear();
    box->addItem(AnyChoice());
    for (const std::string& value : values)
        box->addItem(ShownField(value), QByteArray::fromStdString(value)); // the exact bytes, to filter by
}

void ChangeHistoryDialog::ApplyFilter()
{
    if (reading_)
        return;
    journal::Filter filter;
    if (serverBox_->currentIndex() > 0)
        filter.Server = serverBox_->currentData().toByteArray().toStdString();
    if (userBox_->currentIndex() > 0)
        filter.User = userBox_->currentData().toByteArray().toStdString();
    filter.Object = objectEdit_->text().toStdString();
    const QString since = sinceEdit_->text().trimmed();
    const bool badSince = !since.isEmpty() && !(filter.Since = journal::ParseTime(since.toStdString()));
    model_->SetFilter(filter);

    const std::size_t all = model_->Entries().size();
    QString count = all == 0 ? QCoreApplication::translate("ChangeHistoryDialog", "No changes recorded yet.")
                    : static_cast<std::size_t>(model_->rowCount()) == all
                        ? QCoreApplication::translate("ChangeHistoryDialog", "%1 changes.").arg(all)
                        : QCoreApplication::translate("ChangeHistoryDialog", "%1 of %2 changes shown.")
                              .arg(model_->rowCount())
                              .arg(all);
    if (unreadable_ > 0)
        count += QLatin1Char(' ') +
                 QCoreApplication::translate("ChangeHistoryDialog",
                                             "%1 lines of the journal are not changes and were left out.")
                     .arg(unreadable_);
    if (badSince)
        count += QLatin1Char(' ') + QCoreApplication::translate(
                                        "ChangeHistoryDialog", "Since: not a time such as 2024-05-01T12:00.");
    countLabel_->setText(count);
}

QString ChangeHistoryDialog::CopyText() const
{
    std::vector<journal::Entry> entries;
    const QModelIndexList selected = table_->selectionModel()->selectedRows();
    if (selected.isEmpty())
        for (int row = 0; row < model_->rowCount(); ++row)
            entries.push_back(model_->Shown(row));
    else
    {
        std::vector<int> rows;
        for (const QModelIndex& index : selected)
            rows.push_back(index.row());
        std::sort(rows.begin(), rows.end());
        for (int row : rows)
            entries.push_back(model_->Shown(row));
    }
    return QString::fromStdString(journal::HistoryText(entries));
}

void ChangeHistoryDialog::CopyButtonClick()
{
    QApplication::clipboard()->setText(CopyText());
}

} // namespace korvel::admin
