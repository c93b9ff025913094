#include "admin/TraceLogDlg.h"

#include "admin/TraceFile.h"

#include "admin/common/Command.h"
#include "admin/common/Dialogs.h"
#include "admin/common/Help.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QListView>
#include <QPushButton>
#include <QStringListModel>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

namespace korvel::admin
{

namespace
{

constexpr int RowHeight = 18;

// Rows 18 pixels high and as wide as 255 "0" characters, which sets the horizontal scroll range once,
// whatever the lines hold; a long line scrolls instead of widening the list.
class TraceRowDelegate : public QStyledItemDelegate
{
public:
    explicit TraceRowDelegate(QListView* view)
        : QStyledItemDelegate(view), width_(view->fontMetrics().horizontalAdvance(QString(255, '0')))
    {
    }
    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override
    {
        return {width_, RowHeight};
    }

private:
    int width_;
};

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
    setWindowTitle("Trace Log");
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setModal(true);

    auto* frame = new QGroupBox("Trace Messages", this);
    frame->setObjectName("TraceMessagesGroupBox");
    traceMessagesListBox_ = new QListView(frame);
    traceMessagesListBox_->setObjectName("TraceMessagesListBox");
    traceMessages_ = new QStringListModel(traceMessagesListBox_);
    traceMessagesListBox_->setModel(traceMessages_);
    traceMessagesListBox_->setUniformItemSizes(true); // a long trace stays quick to show
    traceMessagesListBox_->setItemDelegate(new TraceRowDelegate(traceMessagesListBox_));
    traceMessagesListBox_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    traceMessagesListBox_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    traceMessagesListBox_->setMinimumSize(560, 300);
    SetHelpContext(traceMessagesListBox_, 12);
    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->addWidget(traceMessagesListBox_);

    QPushButton* clear = MakeButton("&Clear Trace Log", "ClearTraceLogButton", 11, this);
    connect(clear, &QPushButton::clicked, this,
            [this] { RunCommand(this, [this] { ClearTraceLogButtonClick(); }); });
    QPushButton* close = MakeButton("&Close", "CloseBtn", 10, this); // Escape closes the dialog as well
    connect(close, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(clear);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TTraceLogDlg::LoadTraceFile(TraceFile& file)
{
    traceFile_ = &file;
    traceMessages_->setStringList({});
    traceMessages_->setStringList(file.ReadLines());
}

QStringList TTraceLogDlg::Lines() const
{
    return traceMessages_->stringList();
}

void TTraceLogDlg::showEvent(QShowEvent* event)
{
    if (traceMessages_->rowCount() > 0)
        traceMessagesListBox_->setCurrentIndex(traceMessages_->index(0));
    traceMessagesListBox_->setFocus();
    QDialog::showEvent(event);
}

void TTraceLogDlg::ClearTraceLogButtonClick()
{
    if (CurrentDialogs().AskConfirmationYesNo(
            this, "Are you sure you want to clear the current trace log messages ?") != Answer::Yes)
        return;
    traceMessages_->setStringList({});
    if (traceFile_ != nullptr)
        traceFile_->Clear();
}

} // namespace korvel::admin
