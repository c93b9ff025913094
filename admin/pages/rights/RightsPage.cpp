#include "admin/pages/rights/RightsPage.h"

#include "admin/common/Accessible.h"
#include "admin/common/BackgroundRunner.h"
#include "admin/common/Command.h"
#include "admin/pages/PageFields.h"
#include "admin/pages/rights/RightsCellEditor.h"
#include "engine/wire/EngineError.h"
#include "session/KORVELSession.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>

namespace korvel::admin
{

namespace
{

// Each with a key of its own on this page (not F or H either, which open the menus).
const char* const RightCaptions[] = {
    QT_TRANSLATE_NOOP("RightsPage", "R&ead"),   QT_TRANSLATE_NOOP("RightsPage", "&Insert"),
    QT_TRANSLATE_NOOP("RightsPage", "&Update"), QT_TRANSLATE_NOOP("RightsPage", "&Delete"),
    QT_TRANSLATE_NOOP("RightsPage", "Crea&te"), QT_TRANSLATE_NOOP("RightsPage", "&Alter"),
    QT_TRANSLATE_NOOP("RightsPage", "Dr&op")};
// The help file's topic for the page.
constexpr int RightsTopic = 82;
const char* const RightBoxNames[] = {"RightsReadCheckBox",   "RightsInsertCheckBox", "RightsUpdateCheckBox",
                                     "RightsDeleteCheckBox", "RightsCreateCheckBox", "RightsAlterCheckBox",
                                     "RightsDropCheckBox"};

constexpr int ReadRetryMs = 50; // how often a waiting read asks the runner again

// Header names that do not fit their section end in "...", measured in the font they are drawn in (bold in
// the headers of a selected cell); the style the window uses draws them cut off instead.
class ElidingHeaderStyle : public QProxyStyle
{
public:
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override
    {
        const auto* header = qstyleoption_cast<const QStyleOptionHeader*>(option);
        if (element != CE_HeaderLabel || header == nullptr)
            return QProxyStyle::drawControl(element, option, painter, widget);
        QStyleOptionHeader elided(*header);
        // The label is drawn a margin inside its rectangle on either side, in bold when its section is on.
        const int room = header->rect.width() - 2 * pixelMetric(PM_HeaderMargin, option, widget);
        QFont font = painter->font();
        font.setBold(font.bold() || (header->state & State_On));
        elided.text = QFontMetrics(font).elidedText(header->text, Qt::ElideRight, room);
        QProxyStyle::drawControl(element, &elided, painter, widget);
    }
};

} // namespace

RightsPage::RightsPage(const PageContext& context, DatabaseUsersPage& databaseUsers, QWidget* parent)
    : AdminPage(parent), session_(context.Session), runner_(context.Runner), journal_(context.Journal),
      databaseUsers_(databaseUsers)
{
    proxy_.setSourceModel(&model_);
    readRetry_ = new QTimer(this);
    readRetry_->setSingleShot(true);
    connect(readRetry_, &QTimer::timeout, this, [this] { StartLoading(); });
    CreateControls();
    ConnectControls();
    connect(&runner_, &BackgroundRunner::commandRunningChanged, this,
            [this](bool running) { ShowCommandRunning(running); });
    ShowCommandRunning(runner_.CommandRunning());
    LoadingEnded({});
}

RightsPage::~RightsPage() = default;

void RightsPage::CreateControls()
{
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    RightsFilterEdit = MakeLineEdit(this, "RightsFilterEdit", RightsTopic);
    RightsFilterEdit->setPlaceholderText(QCoreApplication::translate("RightsPage", "user or database name"));
    TransposeRightsCheckBox = MakeCheckBox(this, "TransposeRightsCheckBox", RightsTopic);
    TransposeRightsCheckBox->setText(QCoreApplication::translate("RightsPage", "Databases as rows"));
    RefreshRightsButton = MakeButton(this, "RefreshRightsButton",
                                     QCoreApplication::translate("RightsPage", "&Refresh"), RightsTopic);
    top->addWidget(
        MakeLabel(this, QCoreApplication::translate("RightsPage", "Fi&lter"), RightsFilterEdit, RightsTopic));
    top->addWidget(RightsFilterEdit, 1);
    top->addWidget(TransposeRightsCheckBox);
    top->addWidget(RefreshRightsButton);
    layout->addLayout(top);

    RightsGrid = new QTableView(this);
    RightsGrid->setObjectName("RightsGrid");
    RightsGrid->setAccessibleName(QCoreApplication::translate("RightsPage", "Rights of users on databases"));
    RightsGrid->setModel(&proxy_);
    RightsGrid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    RightsGrid->setEditTriggers(QAbstractItemView::DoubleClicked);
    RightsGrid->setItemDelegate(new RightsCellDelegate(
        [this](const operations::PairRights& rights) { CellEdited(rights); }, RightsGrid));
    RightsGrid->setContextMenuPolicy(Qt::CustomContextMenu);
    RightsGrid->setTabKeyNavigation(false); // Tab leaves the grid; the arrow keys move between cells
    // Names fit their header up to a limit, in bold as a selected cell's headers show them; a longer name
    // (255 characters at most) is elided and shown whole in its tooltip.
    const int nameLimit = RightsGrid->fontMetrics().horizontalAdvance(QString(16, QLatin1Char('M')));
    // Never narrower than a cell holding all seven rights.
    const QString allRights = FromStd(operations::RightsLetters(
        TUserRights{urRead, urInsert, urUpdate, urDelete, urCreate, urAlter, urDrop}));
    RightsGrid->horizontalHeader()->setMinimumSectionSize(
        RightsGrid->fontMetrics().horizontalAdvance(allRights) +
        2 * RightsGrid->fontMetrics().averageCharWidth());
    RightsGrid->horizontalHeader()->setMaximumSectionSize(nameLimit);
    RightsGrid->verticalHeader()->setMaximumWidth(nameLimit);
    auto* elidingStyle = new ElidingHeaderStyle;
    elidingStyle->setParent(this);
    RightsGrid->horizontalHeader()->setStyle(elidingStyle);
    RightsGrid->verticalHeader()->setStyle(elidingStyle);
    RightsGrid->verticalHeader()->setDefaultSectionSize(20);
    RightsGrid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    // A header click sorts the rows by that column: ascending, descending, then back to name order.
    RightsGrid->horizontalHeader()->setSortIndicatorClearable(true);
    RightsGrid->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    RightsGrid->setSortingEnabled(true);
    layout->addWidget(RightsGrid, 1);

    auto* progress = new QHBoxLayout;
    RightsStatusLabel = new QLabel(this);
    RightsStatusLabel->setObjectName("RightsStatusLabel");
    RightsProgressBar = new QProgressBar(this);
    RightsProgressBar->setObjectName("RightsProgressBar");
    CancelRightsButton = MakeButton(this, "CancelRightsButton",
                                    QCoreApplication::translate("RightsPage", "Cancel"), RightsTopic);
    progress->addWidget(RightsStatusLabel, 1);
    progress->addWidget(RightsProgressBar);
    progress->addWidget(CancelRightsButton);
    layout->addLayout(progress);
    layout->addWidget(CreateEditBox());
}

QWidget* RightsPage::CreateEditBox()
{
    auto* edit = new QGroupBox(QCoreApplication::translate("RightsPage", "Selected cells"), this);
    auto* editLayout = new QGridLayout(edit);
    for (int bit = 0; bit < 7; ++bit)
    {
        RightsCheckBoxes[bit] = MakeCheckBox(edit, RightBoxNames[bit], RightsTopic);
        RightsCheckBoxes[bit]->setText(QCoreApplication::translate("RightsPage", RightCaptions[bit]));
        editLayout->addWidget(RightsCheckBoxes[bit], 0, bit);
    }
    SetRightsButton =
        MakeButton(edit, "SetRightsButton", QCoreApplication::translate("RightsPage", "&Set"), RightsTopic);
    GrantRightsButton = MakeButton(edit, "GrantRightsButton",
                                   QCoreApplication::translate("RightsPage", "&Grant"), RightsTopic);
    RevokeRightsButton = MakeButton(edit, "RevokeRightsButton",
                                    QCoreApplication::translate("RightsPage", "Re&voke"), RightsTopic);
    NotDatabaseUserButton =
        MakeButton(edit, "NotDatabaseUserButton",
                   QCoreApplication::translate("RightsPage", "&Not a Database User"), RightsTopic);
    CopyFromComboBox = new QComboBox(edit);
    CopyFromComboBox->setObjectName("CopyFromComboBox");
    NameByLabel(CopyFromComboBox, QCoreApplication::translate("RightsPage", "User to copy from"));
    CopyRightsButton =
        MakeButton(edit, "CopyRightsButton",
                   QCoreApplication::translate("RightsPage", "&Copy Rights from User"), RightsTopic);
    auto* buttons = new QHBoxLayout;
    for (QWidget* widget : std::initializer_list<QWidget*>{SetRightsButton, GrantRightsButton,
                                                           RevokeRightsButton, NotDatabaseUserButton})
        buttons->addWidget(widget);
    buttons->addStretch();
    buttons->addWidget(CopyRightsButton);
    buttons->addWidget(CopyFromComboBox);
    QWidget::setTabOrder(CopyRightsButton, CopyFromComboBox); // as they stand, left to right
    editLayout->addLayout(buttons, 1, 0, 1, 8);
    return edit;
}

void RightsPage::FitColumnsToNames()
{
    // Sized once per set of names: sizing to contents on every change would measure the whole header each
    // time a column of rights arrives.
    QHeaderView* header = RightsGrid->horizontalHeader();
    for (int column = 0; column < header->count(); ++column)
        header->resizeSection(column, std::clamp(header->sectionSizeHint(column),
                                                 header->minimumSectionSize(), header->maximumSectionSize()));
}

void RightsPage::ConnectControls()
{
    QObject::connect(&proxy_, &QAbstractItemModel::modelReset, this, [this] { FitColumnsToNames(); });
    QObject::connect(&proxy_, &QAbstractItemModel::columnsInserted, this, [this] { FitColumnsToNames(); });
    QObject::connect(RightsFilterEdit, &QLineEdit::textChanged, this,
                     [this](const QString& text) { proxy_.SetFilterText(text); });
    QObject::connect(TransposeRightsCheckBox, &QCheckBox::toggled, this,
                     [this](bool transposed)
                     {
                         model_.SetTransposed(transposed);
                         // The sorted column now holds other names: back to name order.
                         RightsGrid->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
                     });
    // The corner button above the names sorts by name instead of selecting everything (Ctrl+A still does).
    if (auto* corner = RightsGrid->findChild<QAbstractButton*>())
    {
        QObject::disconnect(corner, nullptr, RightsGrid, nullptr);
        corner->setObjectName("SortByNameButton");
        corner->setToolTip(
            QCoreApplication::translate("RightsPage", "Sort the rows by name; click again to reverse"));
        ConnectCommand(corner, this, &RightsPage::SortByNameClick);
    }
    QObject::connect(RightsGrid, &QWidget::customContextMenuRequested, this,
                     [this](const QPoint& position) { ShowCellMenu(position); });
    RightsGrid->installEventFilter(this);
    ConnectCommand(RefreshRightsButton, this, &RightsPage::RefreshRightsButtonClick);
    ConnectCommand(CancelRightsButton, this, &RightsPage::CancelRightsButtonClick);
    ConnectCommand(SetRightsButton, this, &RightsPage::SetRightsButtonClick);
    ConnectCommand(GrantRightsButton, this, &RightsPage::GrantRightsButtonClick);
    ConnectCommand(RevokeRightsButton, this, &RightsPage::RevokeRightsButtonClick);
    ConnectCommand(NotDatabaseUserButton, this, &RightsPage::NotDatabaseUserButtonClick);
    ConnectCommand(CopyRightsButton, this, &RightsPage::CopyRightsButtonClick);
}

void RightsPage::RefreshPage()
{
    RefreshRightsButton->click(); // nothing while it is greyed
}

QWidget* RightsPage::SearchBox()
{
    return RightsFilterEdit;
}

void RightsPage::MarkStale()
{
    stale_ = true;
    if (isVisible())
        ReadSoon();
}

void RightsPage::ReadSoon()
{
    // Called from a delivery, the runner still counts it as busy: the read starts from the event loop.
    ShowReading(QCoreApplication::translate("RightsPage", "Reading the rights..."));
    readRetry_->start(0);
}

bool RightsPage::Busy() const
{
    return Reading() || readRetry_->isActive() || sending_;
}

void RightsPage::showEvent(QShowEvent* event)
{
    AdminPage::showEvent(event);
    if (stale_ && session_.Active() && !Busy())
        StartLoading();
}

bool RightsPage::eventFilter(QObject* watched, QEvent* event)
{
    // An open editor takes Enter itself.
    if (watched == RightsGrid && event->type() == QEvent::KeyPress)
    {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) &&
            (RightsGrid->currentIndex().flags() & Qt::ItemIsEditable))
        {
            RightsGrid->edit(RightsGrid->currentIndex());
            return true;
        }
    }
    return AdminPage::eventFilter(watched, event);
}

void RightsPage::SortByNameClick()
{
    const bool namesAscending =
        proxy_.sortColumn() < 0 || (proxy_.SortedByName() && proxy_.sortOrder() == Qt::AscendingOrder);
    {
        // Clears the header's indicator without the view sorting by it.
        const QSignalBlocker quiet(RightsGrid->horizontalHeader());
        RightsGrid->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    }
    RightsGrid->horizontalHeader()->viewport()->update();
    proxy_.SortByName(namesAscending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

// --- Reading ---

void RightsPage::RefreshRightsButtonClick()
{
    StartLoading();
}

bool RightsPage::Reading() const
{
    return read_ && read_->Pending();
}

void RightsPage::CancelRead()
{
    if (read_)
        read_->Cancel();
    read_.reset();
}

void RightsPage::CancelRightsButtonClick()
{
    CancelRead();
    readRetry_->stop();
    LoadingEnded(QCoreApplication::translate("RightsPage", "Reading cancelled: %1.").arg(ReadCount()));
}

void RightsPage::StopRepeatedWork()
{
    CancelRead();
    readRetry_->stop();
    sending_ = false; // the runner dropped the changes' delivery with the logout
    stale_ = true;
    LoadingEnded(QCoreApplication::translate("RightsPage", "Not logged in."));
}

void RightsPage::StartLoading()
{
    stale_ = false;
    readRetry_->stop();
    TKORVELSession& session = session_;
    // The work runs on the worker: it touches the page only through what it posts.
    read_ = runner_.Submit<bool>(
        this, {.Kind = Priority::Background},
        [this, &session](JobContext& job)
        {
            job.Check();
            auto names =
                std::make_shared<operations::RightsMatrix>(operations::RightsMatrix::ReadNames(session));
            job.Post([this, names] { NamesRead(*names); });
            for (const std::string& database : names->Databases)
            {
                auto column = std::make_shared<operations::DatabaseColumn>(
                    operations::ReadDatabaseColumn(session, database, [&job] { job.Check(); }));
                job.Post([this, column] { ColumnRead(std::move(*column)); });
            }
            return true;
        },
        [this](bool) { LoadingEnded({}); },
        [this](std::exception_ptr error)
        {
            if (IsPreempted(error))
                ReadInterrupted();
            else
                ReadFailed(error);
        });
    const bool started = read_ != nullptr;
    if (started)
        return ShowReading(QCoreApplication::translate("RightsPage", "Reading the rights..."));
    if (!session_.Active())
    {
        stale_ = true;
        return LoadingEnded(QCoreApplication::translate("RightsPage", "Not logged in."));
    }
    // Another page's work or a command is under way: the read starts after it.
    ShowReading(QCoreApplication::translate("RightsPage", "Waiting for other work to end..."));
    readRetry_->start(ReadRetryMs);
}

void RightsPage::ShowReading(const QString& status)
{
    RightsProgressBar->setRange(0, 0); // busy until the names are known
    RightsProgressBar->show();
    CancelRightsButton->show();
    RightsStatusLabel->setText(status);
}

void RightsPage::NamesRead(const operations::RightsMatrix& names)
{
    // The cell the person stands on stays current across the new read (after Send, F5, another page's
    // change).
    const QModelIndex current = proxy_.mapToSource(RightsGrid->currentIndex());
    const auto kept = current.isValid() ? model_.PairAt(current) : std::pair<std::string, std::string>{};
    model_.SetNames(names.Users, names.Databases);
    if (const QModelIndex again = model_.IndexOf(kept.first, kept.second); again.isValid())
        RightsGrid->setCurrentIndex(proxy_.mapFromSource(again));
    CopyFromComboBox->clear();
    for (const std::string& user : model_.Matrix().Users)
        CopyFromComboBox->addItem(ShownText(FromStd(user)), FromStd(user));
    RightsProgressBar->setRange(0, static_cast<int>(names.Databases.size()));
    RightsProgressBar->setValue(0);
}

void RightsPage::ColumnRead(operations::DatabaseColumn column)
{
    model_.SetColumn(std::move(column));
    RightsProgressBar->setValue(model_.DatabasesRead());
}

void RightsPage::ReadInterrupted()
{
    readRetry_->stop();
    stale_ = true; // read again when next shown
    LoadingEnded(QCoreApplication::translate(
                     "RightsPage", "Reading interrupted by another command: %1. Refresh reads again.")
                     .arg(ReadCount()));
}

void RightsPage::ReadFailed(std::exception_ptr error)
{
    LoadingEnded(QCoreApplication::translate("RightsPage", "Reading stopped: %1.").arg(ReadCount()));
    ShowCommandError(this, runner_, error);
}

void RightsPage::LoadingEnded(const QString& status)
{
    RightsProgressBar->hide();
    CancelRightsButton->hide();
    if (status.isEmpty())
        ShowCounts();
    else
        RightsStatusLabel->setText(status);
}

QString RightsPage::ReadCount() const
{
    return QCoreApplication::translate("RightsPage", "%1 of %2 databases read")
        .arg(model_.DatabasesRead())
        .arg(model_.Matrix().Databases.size());
}

void RightsPage::ShowCounts()
{
    const auto& matrix = model_.Matrix();
    RightsStatusLabel->setText(QCoreApplication::translate("RightsPage", "%1 users, %2 databases")
                                   .arg(matrix.Users.size())
                                   .arg(matrix.Databases.size()));
}

void RightsPage::ShowCommandRunning(bool running)
{
    for (QWidget* widget :
         std::initializer_list<QWidget*>{SetRightsButton, GrantRightsButton, RevokeRightsButton,
                                         NotDatabaseUserButton, CopyRightsButton, RefreshRightsButton})
        widget->setEnabled(!running);
}

} // namespace korvel::admin
