#include "admin/pages/servers/ServersPage.h"

#include "admin/common/Command.h"
#include "admin/common/FirstPaint.h"
#include "admin/pages/servers/ServersModel.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QStyleOptionHeader>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

namespace korvel::admin
{

namespace
{

constexpr int MostColumnWidth = 220;

// Qt's header measures its captions in bold, for the bold it shows them in while they "intersect" the
// selection, which with whole rows chosen is every caption whenever a row is: bold that says nothing, and
// whose font face, loaded only for it before the first frame, cost a tenth of the launch. This header keeps
// its captions in its own font, and measures them so.
class ServersHeader : public QHeaderView
{
public:
    explicit ServersHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent)
    {
        setSectionsClickable(true); // as the table's own header, for sorting
    }

    void setModel(QAbstractItemModel* model) override
    {
        QHeaderView::setModel(model);
        measured_.clear();
        if (model != nullptr)
            connect(model, &QAbstractItemModel::headerDataChanged, this, [this] { measured_.clear(); });
    }

protected:
    // Each caption is measured once: the header asks for every section's size at each of its many relayouts
    // (most of them before the first frame), and every measure lays the caption's text out anew.
    QSize sectionSizeFromContents(int logicalIndex) const override
    {
        if (logicalIndex >= static_cast<int>(measured_.size()))
            measured_.resize(static_cast<std::size_t>(logicalIndex) + 1);
        QSize& measured = measured_[static_cast<std::size_t>(logicalIndex)];
        QStyleOptionHeader option;
        initStyleOption(&option);
        option.section = logicalIndex;
        if (!measured.isValid())
        {
            option.text = model()->headerData(logicalIndex, orientation(), Qt::DisplayRole).toString();
            measured = style()->sizeFromContents(QStyle::CT_HeaderSection, &option, QSize(), this);
        }
        QSize size = measured;
        if (isSortIndicatorShown())
            size.rwidth() += size.height() + style()->pixelMetric(QStyle::PM_HeaderMargin, &option, this);
        return size;
    }

    void changeEvent(QEvent* event) override
    {
        // What a caption measures changes with the font, the style and the language.
        if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange ||
            event->type() == QEvent::LanguageChange)
            measured_.clear();
        QHeaderView::changeEvent(event);
    }

private:
    mutable std::vector<QSize> measured_; // by logical index; invalid: not measured yet
};

} // namespace

ServersPage::ServersPage(const PageContext& context, QWidget* parent)
    : AdminPage(parent), context_(context), model_(new ServersModel(this))
{
    setObjectName("ServersPage");
    CreateControls();
    repeat_ = new QTimer(this);
    repeat_->setObjectName("ServersRepeatTimer");
    connect(repeat_, &QTimer::timeout, this, [this] { CheckNow(); });
    IntervalChanged();
    ReadProfiles();
}

ServersPage::~ServersPage()
{
    // The pool's threads end before anything they report to does.
    sweep_.reset();
}

void ServersPage::CreateControls()
{
    auto* layout = new QVBoxLayout(this);
    auto* bar = new QHBoxLayout;
    layout->addLayout(bar);

    searchEdit_ = new QLineEdit(this);
    searchEdit_->setObjectName("ServersSearchEdit");
    searchEdit_->setAccessibleName(tr("Search servers"));
    searchEdit_->setPlaceholderText(tr("Name, where or state"));
    searchEdit_->setClearButtonEnabled(true);
    auto* searchLabel = new QLabel(tr("&Search:"), this);
    searchLabel->setObjectName("ServersSearchLabel");
    searchLabel->setBuddy(searchEdit_);
    bar->addWidget(searchLabel);
    bar->addWidget(searchEdit_, 1);

    intervalComboBox_ = new QComboBox(this);
    intervalComboBox_->setObjectName("ServersIntervalComboBox");
    intervalComboBox_->setAccessibleName(tr("Check every"));
    intervalComboBox_->addItem(tr("Off"), 0);
    intervalComboBox_->addItem(tr("30 s"), 30);
    intervalComboBox_->addItem(tr("1 min"), 60);
    intervalComboBox_->addItem(tr("5 min"), 300);
    intervalComboBox_->setCurrentIndex(2);
    auto* intervalLabel = new QLabel(tr("Check &every:"), this);
    intervalLabel->setObjectName("ServersIntervalLabel");
    intervalLabel->setBuddy(intervalComboBox_);
    bar->addWidget(intervalLabel);
    bar->addWidget(intervalComboBox_);
    connect(intervalComboBox_, &QComboBox::currentIndexChanged, this, [this] { IntervalChanged(); });

    checkButton_ = new QPushButton(tr("Check &Now"), this);
    checkButton_->setObjectName("ServersCheckButton");
    checkButton_->setAccessibleName(tr("Check now"));
    checkButton_->setToolTip(tr("Check every server again (F5)"));
    bar->addWidget(checkButton_);
    connect(checkButton_, &QPushButton::clicked, this, [this] { RunCommand(this, [this] { CheckNow(); }); });

    shown_ = new QSortFilterProxyModel(this);
    shown_->setSourceModel(model_);
    shown_->setFilterCaseSensitivity(Qt::CaseInsensitive);
    shown_->setFilterKeyColumn(-1); // any column
    shown_->setSortRole(ServersModel::SortRole);
    connect(searchEdit_, &QLineEdit::textChanged, shown_, &QSortFilterProxyModel::setFilterFixedString);

    tableView_ = new QTableView(this);
    tableView_->setHorizontalHeader(new ServersHeader(tableView_));
    tableView_->setObjectName("ServersTableView");
    tableView_->setAccessibleName(tr("Servers and their states"));
    tableView_->setAccessibleDescription(tr("Every profile and the state of its server; Enter logs in"));
    tableView_->setModel(shown_);
    tableView_->setSelectionBehavior(QAbstractItemView::SelectRows);
    tableView_->setSelectionMode(QAbstractItemView::SingleSelection);
    tableView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tableView_->setSortingEnabled(true);
    tableView_->sortByColumn(ServersModel::Number(ServersModel::Column::Name), Qt::AscendingOrder);
    tableView_->verticalHeader()->hide();
    tableView_->horizontalHeader()->setStretchLastSection(true);
    tableView_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    tableView_->setWordWrap(false);
    tableView_->setTabKeyNavigation(false);
    layout->addWidget(tableView_, 1);
    connect(tableView_, &QTableView::activated, this,
            [this](const QModelIndex& index)
            { RunCommand(this, [&] { ServersTableViewActivated(index); }); });
    setFocusProxy(tableView_);
}

QWidget* ServersPage::SearchBox()
{
    return searchEdit_;
}

void ServersPage::showEvent(QShowEvent* event)
{
    AdminPage::showEvent(event);
    // The first look starts the first sweep, once the page has been painted: the sweep re-reads the profiles
    // and starts the checking threads, which the first frame need not wait for. Later looks follow the
    // interval.
    if (!checkedOnce_)
        RunAfterFirstPaint(this, [this] { RunCommand(this, [this] { CheckNow(); }); });
    checkedOnce_ = true;
}

void ServersPage::IntervalChanged()
{
    const int seconds = intervalComboBox_->currentData().toInt();
    if (seconds <= 0)
        return repeat_->stop();
    repeat_->start(std::chrono::seconds(seconds));
}

void ServersPage::SetCheckSettings(fleet::CheckSettings settings)
{
    sweep_.reset();
    checkSettings_ = std::move(settings);
}

void ServersPage::ReadProfiles()
{
    const std::string current = ChosenProfile();
    model_->SetProfiles(store_.List());
    if (context_.ConnectedProfile)
        model_->SetLoggedIn(context_.ConnectedProfile().toStdString());
    for (int row = 0; row < shown_->rowCount(); ++row)
        if (model_->ProfileName(shown_->mapToSource(shown_->index(row, 0)).row()) == current)
            tableView_->setCurrentIndex(shown_->index(row, 0));
    // A long failure message would push the figures out of sight: it is cut, and whole in the tooltip.
    tableView_->resizeColumnsToContents();
    for (int column = 0; column < ServersModel::ColumnCount; ++column)
        tableView_->setColumnWidth(column, std::min(tableView_->columnWidth(column), MostColumnWidth));
}

void ServersPage::CheckNow()
{
    ReadProfiles();
    if (!sweep_)
        sweep_ = std::make_unique<fleet::Sweep>(checkSettings_);
    // Reports come from the pool's threads; a queued call brings each to this thread. The pool ends before
    // the page does (see the destructor), so the page is there for every report.
    sweep_->Start(model_->ToCheck(),
                  [this](const fleet::ServerReport& report)
                  {
                      QMetaObject::invokeMethod(
                          this,
                          [this, report]
                          {
                              // A check ended by a new sweep tells nothing about its server.
                              if (report.State != fleet::ServerState::NotChecked)
                                  model_->Report(report);
                          },
                          Qt::QueuedConnection);
                  });
    if (repeat_->isActive())
        repeat_->start(); // the next repeat counts from now
}

void ServersPage::LoggedInChanged(bool)
{
    // Logged in through a profile, its row reads "Logged in" and its refusal, if any, is forgotten.
    model_->SetLoggedIn(context_.ConnectedProfile ? context_.ConnectedProfile().toStdString()
                                                  : std::string());
}

std::string ServersPage::ChosenProfile() const
{
    const QModelIndex current = tableView_->currentIndex();
    if (!current.isValid())
        return {};
    return model_->ProfileName(shown_->mapToSource(current).row());
}

void ServersPage::ServersTableViewActivated(const QModelIndex& index)
{
    if (!index.isValid() || !context_.LoginToProfile)
        return;
    context_.LoginToProfile(model_->ProfileName(shown_->mapToSource(index).row()));
}

} // namespace korvel::admin
