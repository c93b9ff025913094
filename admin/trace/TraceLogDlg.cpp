#include "admin/trace/TraceLogDlg.h"

#include "admin/trace/TraceFile.h"
#include "admin/trace/TraceTableModel.h"

#include "admin/common/Command.h"
#include "admin/common/Dialogs.h"
#include "admin/common/Help.h"

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace korvel::admin
{

namespace
{

constexpr int RowHeight = 18;

QPushButton* MakeButton(const QString& caption, const char* name, int helpContext, QWidget* parent)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    SetHelpContext(button, helpContext);
    return button;
}

} // namespace

TTraceLogDlg::TTraceLogDlg()
{
    setObjectName("TraceLogDlg");
    setWindowTitle(QCoreApplication::translate("TTraceLogDlg", "Trace Log"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setModal(true);

    auto* frame = new QGroupBox(QCoreApplication::translate("TTraceLogDlg", "Trace Messages"), this);
    frame->setObjectName("TraceMessagesGroupBox");
    table_ = new TraceTableModel(this);
    shown_ = new QSortFilterProxyModel(this);
    shown_->setSourceModel(table_);
    shown_->setFilterKeyColumn(-1); // any cell
    shown_->setFilterCaseSensitivity(Qt::CaseInsensitive);
    filterEdit_ = new QLineEdit(frame);
    filterEdit_->setObjectName("TraceFilterEdit");
    filterEdit_->setPlaceholderText(QCoreApplication::translate("TTraceLogDlg", "Filter (any column)"));
    filterEdit_->setClearButtonEnabled(true);
    filterEdit_->setAccessibleName(QCoreApplication::translate("TTraceLogDlg", "Filter"));
    connect(filterEdit_, &QLineEdit::textChanged, shown_, &QSortFilterProxyModel::setFilterFixedString);
    traceTableView_ = new QTableView(frame);
    traceTableView_->setObjectName("TraceTableView");
    traceTableView_->setModel(shown_);
    traceTableView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    traceTableView_->setTabKeyNavigation(false); // Tab leaves the table; the arrow keys move in it
    traceTableView_->setAccessibleName(QCoreApplication::translate("TTraceLogDlg", "Trace messages"));
    traceTableView_->setSelectionBehavior(QAbstractItemView::SelectRows);
    traceTableView_->verticalHeader()->hide();
    traceTableView_->verticalHeader()->setDefaultSectionSize(RowHeight);
    traceTableView_->horizontalHeader()->setStretchLastSection(true);
    // Columns as wide as their longest usual content or their caption (a translation may be longer), so
    // nothing is cut at the dialog's size.
    const QFontMetrics metrics = traceTableView_->fontMetrics();
    const char* const widest[TraceTableModel::ColumnCount] = {
        "00:00:00.000", "Connection", "REQUEST_GETCONNECTEDSESSIONS", "Wire bytes", "Uncompressed",
        "KORVEL_NONE",  "Reply ms"};
    int tableWidth = 0;
    for (int column = 0; column < TraceTableModel::ColumnCount; ++column)
    {
        const QString caption = shown_->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
        const int width = std::max(metrics.horizontalAdvance(QString::fromLatin1(widest[column])),
                                   metrics.horizontalAdvance(caption)) +
                          20;
        traceTableView_->setColumnWidth(column, width);
        tableWidth += width;
    }
    // Small enough for an 800x600 screen; it opens as wide as its columns where the screen has the room.
    traceTableView_->setMinimumSize(320, 120);
    SetHelpContext(traceTableView_, 12);
    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->addWidget(filterEdit_);
    frameLayout->addWidget(traceTableView_);

    QPushButton* clear = MakeButton(QCoreApplication::translate("TTraceLogDlg", "&Clear Trace Log"),
                                    "ClearTraceLogButton", 11, this);
    connect(clear, &QPushButton::clicked, this,
            [this] { RunCommand(this, [this] { ClearTraceLogButtonClick(); }); });
    QPushButton* copy =
        MakeButton(QCoreApplication::translate("TTraceLogDlg", "Copy as &Text"), "CopyTraceButton", 12, this);
    connect(copy, &QPushButton::clicked, this, [this] { RunCommand(this, [this] { CopyButtonClick(); }); });
    QPushButton* close = MakeButton(QCoreApplication::translate("TTraceLogDlg", "&Close"), "CloseBtn", 10,
                                    this); // Escape closes the dialog as well
    connect(close, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(clear);
    buttons->addWidget(copy);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    layout->addLayout(buttons);
    const QSize wanted(tableWidth + 72, sizeHint().height() + 300 - traceTableView_->sizeHint().height());
    resize(screen() ? wanted.boundedTo(screen()->availableGeometry().size() - QSize(16, 48)) : wanted);
}

void TTraceLogDlg::AddRecord(const TraceRecord& record)
{
    QMetaObject::invokeMethod(
        this,
        [this, record]
        {
            // Followed unless the person scrolled up to read older rows; the current row does not say
            // where they look.
            const QScrollBar* bar = traceTableView_->verticalScrollBar();
            const bool atEnd = bar->value() >= bar->maximum();
            table_->Append(record);
            if (isVisible() && atEnd)
                traceTableView_->scrollToBottom();
        },
        Qt::QueuedConnection);
}

QStringList TTraceLogDlg::Lines() const
{
    QStringList lines;
    for (int row = 0; row < shown_->rowCount(); ++row)
    {
        QStringList cells;
        for (int column = 0; column < shown_->columnCount(); ++column)
            cells << shown_->index(row, column).data().toString();
        lines << cells.join('\t');
    }
    return lines;
}

void TTraceLogDlg::showEvent(QShowEvent* event)
{
    traceTableView_->scrollToBottom();
    traceTableView_->setFocus();
    QDialog::showEvent(event);
}

void TTraceLogDlg::CopyButtonClick()
{
    QStringList lines;
    QStringList headers;
    for (int column = 0; column < TraceTableModel::ColumnCount; ++column)
        headers << table_->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    lines << headers.join('\t') << Lines();
    QApplication::clipboard()->setText(lines.join('\n') + '\n');
}

void TTraceLogDlg::ClearTraceLogButtonClick()
{
    if (DialogsFor(this).AskConfirmationYesNo(
            this, QCoreApplication::translate(
                      "TTraceLogDlg", "Are you sure you want to clear the current trace log messages ?")) !=
        Answer::Yes)
        return;
    table_->Clear();
    if (traceFile_ != nullptr)
        traceFile_->Clear();
}

} // namespace korvel::admin
