#include "admin/pages/log/LogPage.h"

#include "admin/common/BackgroundRunner.h"
#include "admin/common/Command.h"
#include "admin/common/Dialogs.h"
#include "admin/common/Help.h"
#include "admin/common/NoAnswerWatch.h"
#include "admin/common/TimerSecond.h"
#include "admin/pages/PageFields.h"
#include "admin/pages/log/LogFile.h"
#include "admin/pages/log/LogFilterModel.h"
#include "admin/pages/log/LogHighlightDelegate.h"
#include "admin/pages/log/LogListModel.h"
#include "admin/pages/log/LogListView.h"
#include "admin/pages/log/LogSearch.h"
#include "session/KORVELSession.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTime>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace korvel::admin
{
namespace
{

constexpr int SearchDelayMs = 250; // typing pauses this long before a search starts
constexpr int DefaultFollowSeconds = 5;

QString Now()
{
    return QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
}

} // namespace

LogPage::LogPage(const PageContext& context, QWidget* parent)
    : AdminPage(parent), session_(context.Session), runner_(context.Runner),
      dialogStartDir_(context.DialogStartDir)
{
    CreateControls();
    ConnectCommand(LoadLogButton, this, &LogPage::LoadLogButtonClick);
    ConnectCommand(CancelLoadButton, this, &LogPage::CancelLoadButtonClick);
    ConnectCommand(SaveButton, this, &LogPage::SaveButtonClick);
    ConnectCommand(SaveMatchingButton, this, &LogPage::SaveMatchingButtonClick);
    ConnectCommand(FindNextButton, this, &LogPage::FindNext);
    ConnectCommand(FindPreviousButton, this, &LogPage::FindPrevious);

    search_ = new LogSearch(
        model_->Shared(), [this](bool finished) { SearchProgress(finished); }, this);
    join_ = std::make_unique<LogJoin>([this](LogJoin::Joined& joined) { FollowJoined(joined); });
    searchDelay_ = new QTimer(this);
    searchDelay_->setSingleShot(true);
    searchDelay_->setInterval(SearchDelayMs);
    connect(searchDelay_, &QTimer::timeout, this, [this] { StartSearch(); });
    connect(SearchEdit, &QLineEdit::textEdited, this, [this] { SearchTextEdited(); });
    connect(SearchEdit, &QLineEdit::returnPressed, this,
            [this] { searchDelay_->isActive() || !search_->Complete() ? StartSearch() : FindNext(); });
    connect(RegexCheckBox, &QCheckBox::toggled, this, [this] { StartSearch(); });
    connect(MatchCaseCheckBox, &QCheckBox::toggled, this, [this] { StartSearch(); });
    connect(OnlyMatchingCheckBox, &QCheckBox::toggled, this, [this](bool on) { OnlyMatchingToggled(on); });
    SearchEdit->installEventFilter(this);

    noAnswer_ = std::make_unique<NoAnswerWatch>(this, context.ServerEndpoint, session_,
                                                [this](const QString& text) { FollowGotNoAnswer(text); });
    followTimer_ = new QTimer(this);
    followTimer_->setSingleShot(true);
    connect(followTimer_, &QTimer::timeout, this, [this] { FollowTick(); });
    connect(FollowCheckBox, &QCheckBox::toggled, this, [this](bool on) { FollowToggled(on); });
    connect(FollowIntervalSpinBox, &QSpinBox::valueChanged, this,
            [this]
            {
                if (FollowCheckBox->isChecked())
                    ScheduleFollow();
            });
    ShowLineCount();
}

LogPage::~LogPage() = default;

void LogPage::CreateControls()
{
    QGroupBox* frame = MakePageFrame(this, QCoreApplication::translate("LogPage", "Log Entries"));
    model_ = new LogListModel(this);
    filter_ = new LogFilterModel(this);
    filter_->setSourceModel(model_);
    LogListBox = new LogListView(frame);
    LogListBox->setObjectName(QStringLiteral("LogListBox"));
    LogListBox->setAccessibleName(QCoreApplication::translate("LogPage", "Log lines"));
    LogListBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    LogListBox->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Every row is as wide as 255 "0" characters, so long lines scroll into view.
    const int rowWidth = LogListBox->fontMetrics().horizontalAdvance(QString(255, QLatin1Char('0')));
    LogListBox->setItemDelegate(
        new LogHighlightDelegate(LogListBox, rowWidth, [this] { return search_->Matcher().get(); }));
    LogListBox->setModel(filter_);
    SetHelpContext(LogListBox, 75);

    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->addLayout(CreateSearchBar(frame));
    QWidget::setTabOrder(OnlyMatchingCheckBox, LogListBox); // the search bar stands above the list
    frameLayout->addWidget(LogListBox, 1);
    frameLayout->addLayout(CreateBottomBar(frame));
}

QLayout* LogPage::CreateSearchBar(QWidget* parent)
{
    SearchEdit = new QLineEdit(parent);
    SearchEdit->setObjectName(QStringLiteral("SearchEdit"));
    // A hint short enough to show whole at the smallest width; the keys are in the tool tip.
    SearchEdit->setPlaceholderText(QCoreApplication::translate("LogPage", "Search"));
    SearchEdit->setToolTip(
        QCoreApplication::translate("LogPage", "Search (F3 next, Shift+F3 previous, Esc stops)"));
    SearchEdit->setClearButtonEnabled(true);
    SearchEdit->setAccessibleName(QCoreApplication::translate("LogPage", "Search the log"));
    SearchEdit->setMinimumWidth(SearchEdit->fontMetrics().horizontalAdvance(QString(14, QLatin1Char('0'))));
    RegexCheckBox = new QCheckBox(QCoreApplication::translate("LogPage", "Re&gex"), parent);
    RegexCheckBox->setObjectName(QStringLiteral("RegexCheckBox"));
    MatchCaseCheckBox = new QCheckBox(QCoreApplication::translate("LogPage", "Match &case"), parent);
    MatchCaseCheckBox->setObjectName(QStringLiteral("MatchCaseCheckBox"));
    FindPreviousButton =
        MakeButton(parent, "FindPreviousButton", QCoreApplication::translate("LogPage", "&Previous"), 75);
    FindNextButton =
        MakeButton(parent, "FindNextButton", QCoreApplication::translate("LogPage", "&Next"), 75);
    MatchCountLabel = new QLabel(parent);
    MatchCountLabel->setObjectName(QStringLiteral("MatchCountLabel"));
    MatchCountLabel->setMinimumWidth(MatchCountLabel->fontMetrics().horizontalAdvance("0,000,000 matches"));
    OnlyMatchingCheckBox = new QCheckBox(QCoreApplication::translate("LogPage", "&Only matching"), parent);
    OnlyMatchingCheckBox->setObjectName(QStringLiteral("OnlyMatchingCheckBox"));

    auto* bar = new QHBoxLayout;
    bar->addWidget(SearchEdit, 1);
    bar->addWidget(RegexCheckBox);
    bar->addWidget(MatchCaseCheckBox);
    bar->addWidget(FindPreviousButton);
    bar->addWidget(FindNextButton);
    bar->addWidget(MatchCountLabel);
    bar->addWidget(OnlyMatchingCheckBox);
    return bar;
}

QLayout* LogPage::CreateBottomBar(QWidget* parent)
{
    LoadProgressBar = new QProgressBar(parent);
    LoadProgressBar->setObjectName(QStringLiteral("LoadProgressBar"));
    LoadProgressBar->setRange(0, 0); // indeterminate: one reply of unknown size
    LoadProgressBar->setMaximumWidth(120);
    LoadProgressBar->hide();
    CancelLoadButton =
        MakeButton(parent, "CancelLoadButton", QCoreApplication::translate("LogPage", "Cancel"), 76);
    CancelLoadButton->hide();
    LineCountLabel = new QLabel(parent);
    LineCountLabel->setObjectName(QStringLiteral("LineCountLabel"));
    FollowCheckBox = new QCheckBox(QCoreApplication::translate("LogPage", "Follo&w"), parent);
    FollowCheckBox->setObjectName(QStringLiteral("FollowCheckBox"));
    FollowIntervalSpinBox = new QSpinBox(parent);
    FollowIntervalSpinBox->setObjectName(QStringLiteral("FollowIntervalSpinBox"));
    FollowIntervalSpinBox->setRange(1, 3600);
    FollowIntervalSpinBox->setValue(DefaultFollowSeconds);
    FollowIntervalSpinBox->setSuffix(QCoreApplication::translate("LogPage", " s"));
    FollowIntervalSpinBox->setAccessibleName(QCoreApplication::translate("LogPage", "Follow interval"));
    FollowStatusLabel = new QLabel(parent);
    FollowStatusLabel->setObjectName(QStringLiteral("FollowStatusLabel"));
    LoadLogButton = MakeButton(parent, "LoadLogButton", QCoreApplication::translate("LogPage", "&Load"), 76);
    SaveButton = MakeButton(parent, "SaveButton", QCoreApplication::translate("LogPage", "&Save..."), 77);
    SaveMatchingButton = MakeButton(parent, "SaveMatchingButton",
                                    QCoreApplication::translate("LogPage", "Save &Matching..."), 77);
    SaveMatchingButton->setEnabled(false);

    auto* bar = new QHBoxLayout;
    bar->addWidget(LoadProgressBar);
    bar->addWidget(CancelLoadButton);
    bar->addWidget(LineCountLabel);
    bar->addWidget(FollowCheckBox);
    bar->addWidget(FollowIntervalSpinBox);
    bar->addWidget(FollowStatusLabel, 1);
    bar->addWidget(LoadLogButton);
    bar->addWidget(SaveButton);
    bar->addWidget(SaveMatchingButton);
    return bar;
}

void LogPage::RefreshPage()
{
    LoadLogButton->click(); // nothing while a load is under way
}

QWidget* LogPage::SearchBox()
{
    return SearchEdit;
}

// --- Loading and following ---

void LogPage::LoadLogButtonClick()
{
    if (Loading())
        return;
    // The lines shown stay until the new ones arrive: a cancelled or failed load leaves the page as it was.
    TKORVELSession& session = session_;
    load_ = SubmitCommand<LogText>(
        this, runner_, {.Waiting = QCoreApplication::translate("LogPage", "Loading the log").toStdString()},
        [&session](JobContext& job)
        {
            job.Check();
            LogText log;
            session.GetServerLogText(log);
            return log;
        },
        [this](LogText log) { LoadFinished(log); }, [this](std::exception_ptr) { ShowLoading(false); });
    if (load_)
        ShowLoading(true);
}

void LogPage::CancelLoadButtonClick()
{
    if (!Loading())
        return;
    // The request is cut off; other pages' work on the runner goes on.
    load_->Cancel();
    ShowLoading(false);
    FollowStatusLabel->setText(QCoreApplication::translate("LogPage", "Loading cancelled"));
}

void LogPage::ShowLoading(bool loading)
{
    LoadProgressBar->setVisible(loading);
    CancelLoadButton->setVisible(loading);
    LoadLogButton->setEnabled(!loading);
}

void LogPage::LoadFinished(LogText& log)
{
    ShowLoading(false);
    search_->Cancel(); // its matches are of the lines going away
    model_->SetLog(std::move(log));
    zeroByteLine_.reset();
    ShowLineCount();
    if (model_->rowCount() > 0)
        LogListBox->setCurrentIndex(filter_->index(filter_->rowCount() - 1, 0));
    LogListBox->scrollToBottom();
    StartSearch();
    if (FollowCheckBox->isChecked())
        ScheduleFollow();
}

int LogPage::FollowIntervalSeconds() const
{
    return FollowIntervalSpinBox->value();
}

void LogPage::FollowToggled(bool on)
{
    if (on)
    {
        ScheduleFollow();
        return;
    }
    followTimer_->stop();
    noAnswer_->Stop();
    if (follow_)
        follow_->Cancel();
    followReading_ = false;
    FollowStatusLabel->clear();
}

void LogPage::ScheduleFollow()
{
    followReading_ = follow_ && follow_->Pending();
    if (!FollowCheckBox->isChecked())
        return;
    const int seconds = FollowIntervalSeconds();
    followTimer_->start(TimerMs(seconds));
    if (!followReading_)
        FollowStatusLabel->setText(QCoreApplication::translate("LogPage", "every %1 s").arg(seconds));
}

void LogPage::FollowTick()
{
    TKORVELSession& session = session_;
    // Background work: skipped while a command runs, and then simply tried again at the next tick.
    if (!Loading())
        follow_ = runner_.Submit<LogText>(
            this, {.Kind = Priority::Background},
            [&session](JobContext& job)
            {
                job.Check();
                LogText log;
                session.GetServerLogText(log);
                return log;
            },
            [this](LogText latest) { FollowRead(latest); },
            [this](std::exception_ptr error)
            {
                noAnswer_->Stop();
                followReading_ = false;
                if (IsPreempted(error))
                    return ScheduleFollow();
                try
                {
                    std::rethrow_exception(error);
                }
                catch (const std::exception& failure)
                {
                    StopFollowing(QString::fromStdString(failure.what()));
                }
            });
    const bool queued = !Loading() && follow_;
    if (!queued)
    {
        if (!session_.Active())
            return StopFollowing(QCoreApplication::translate("LogPage", "Not logged in"));
        return ScheduleFollow();
    }
    followReading_ = true;
    noAnswer_->Start(follow_, FollowIntervalSeconds());
}

void LogPage::FollowGotNoAnswer(const QString& text)
{
    followReading_ = false;
    ScheduleFollow();
    FollowStatusLabel->setText(text); // until the next round answers
}

void LogPage::FollowRead(LogText& latest)
{
    noAnswer_->Stop();
    followReading_ = false;
    join_->Join(model_->Shared(), std::move(latest)); // FollowJoined goes on
}

void LogPage::FollowJoined(LogJoin::Joined& joined)
{
    if (!joined.Failure.isEmpty())
        return StopFollowing(joined.Failure);
    // Following may have been stopped while the read was joined: its lines are shown all the same.
    const bool following = FollowCheckBox->isChecked();
    if (following)
        ScheduleFollow();
    if (joined.Held != model_->Shared())
        return; // the log was loaded again meanwhile: the read was joined to lines no longer shown
    const bool atEnd = ViewAtEnd();
    QString status;
    std::size_t firstNewLine = 0;
    if (!joined.Cut)
    {
        firstNewLine = model_->Log().LineCount();
        model_->AppendLines(std::move(joined.Text));
        search_->Continue();
        status = QCoreApplication::translate("LogPage", "+%L1 at %2").arg(joined.Added).arg(Now());
    }
    else
    {
        model_->SetLog(std::move(joined.Text));
        zeroByteLine_.reset();
        StartSearch();
        status = QCoreApplication::translate("LogPage", "Log was cut: reloaded at %1").arg(Now());
    }
    ShowLineCount(firstNewLine);
    if (atEnd)
    {
        if (!OnlyMatchingCheckBox->isChecked() && model_->rowCount() > 0)
            LogListBox->setCurrentIndex(filter_->index(filter_->rowCount() - 1, 0));
        LogListBox->scrollToBottom();
    }
    if (following)
        FollowStatusLabel->setText(
            status + QCoreApplication::translate("LogPage", ", every %1 s").arg(FollowIntervalSeconds()));
}

void LogPage::StopRepeatedWork()
{
    for (const auto& job : {load_, follow_})
        if (job)
            job->Cancel();
    noAnswer_->Stop();
    followReading_ = false;
    ShowLoading(false);
    if (FollowCheckBox->isChecked())
        StopFollowing(QCoreApplication::translate("LogPage", "Not logged in"));
}

void LogPage::StopFollowing(const QString& why)
{
    FollowCheckBox->setChecked(false);
    FollowStatusLabel->setText(QCoreApplication::translate("LogPage", "Following stopped: %1").arg(why));
}

bool LogPage::ViewAtEnd() const
{
    const QScrollBar* bar = LogListBox->verticalScrollBar();
    return bar->value() >= bar->maximum();
}

// --- Search ---

bool LogPage::Searching() const
{
    return search_->Running() || searchDelay_->isActive();
}

bool LogPage::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == SearchEdit && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && Searching())
    {
        searchDelay_->stop();
        search_->Cancel();
        MatchCountLabel->setText(
            QCoreApplication::translate("LogPage", "Stopped: %L1 so far").arg(search_->Matches().size()));
        return true;
    }
    return AdminPage::eventFilter(watched, event);
}

void LogPage::keyPressEvent(QKeyEvent* event)
{
    // F3 and Shift+F3 reach the page from the list and the search box, which leave them unused.
    if (event->key() != Qt::Key_F3)
        return AdminPage::keyPressEvent(event);
    RunCommand(this, [this, event] { GoToMatch(!(event->modifiers() & Qt::ShiftModifier)); });
}

void LogPage::SearchTextEdited()
{
    search_->Cancel(); // the running search is for a pattern no longer in the box
    searchDelay_->start();
}

void LogPage::StartSearch()
{
    searchDelay_->stop();
    const QString pattern = SearchEdit->text();
    auto matcher =
        std::make_shared<LogLineMatcher>(pattern, RegexCheckBox->isChecked(), MatchCaseCheckBox->isChecked());
    const int line = CurrentLine();
    SaveMatchingButton->setEnabled(false); // until the new pattern's first match
    if (pattern.isEmpty())
        search_->Reset();
    else
        search_->Start(matcher);
    filter_->SetLines(OnlyMatchingCheckBox->isChecked() ? &search_->Matches() : nullptr);
    if (!OnlyMatchingCheckBox->isChecked() && line >= 0)
        SelectLine(line);
    jumpToFirstMatch_ = !pattern.isEmpty();
    LogListBox->viewport()->update();
    if (!matcher->Error().isEmpty())
        MatchCountLabel->setText(QCoreApplication::translate("LogPage", "Invalid: %1").arg(matcher->Error()));
    else if (pattern.isEmpty())
        MatchCountLabel->clear();
    else if (!search_->Running())
        SearchProgress(true); // nothing to search
    else
        MatchCountLabel->setText(QCoreApplication::translate("LogPage", "Searching..."));
}

void LogPage::SearchProgress(bool finished)
{
    filter_->LinesAppended();
    const std::size_t count = search_->Matches().size();
    SaveMatchingButton->setEnabled(count > 0);
    if (!finished)
    {
        MatchCountLabel->setText(QCoreApplication::translate("LogPage", "Searching: %L1 so far").arg(count));
        return;
    }
    MatchCountLabel->setText(count == 1 ? QCoreApplication::translate("LogPage", "1 match")
                                        : QCoreApplication::translate("LogPage", "%L1 matches").arg(count));
    if (jumpToFirstMatch_ && count > 0)
    {
        jumpToFirstMatch_ = false;
        GoToMatch(true);
    }
}

void LogPage::GoToMatch(bool forward)
{
    const std::vector<std::uint32_t>& matches = search_->Matches();
    if (matches.empty())
        return;
    const auto line = static_cast<std::uint32_t>(std::max(CurrentLine(), 0));
    auto it = forward ? std::upper_bound(matches.begin(), matches.end(), line)
                      : std::lower_bound(matches.begin(), matches.end(), line);
    if (CurrentLine() < 0)
        it = forward ? matches.begin() : matches.end();
    if (forward && it == matches.end())
        it = matches.begin(); // wraps to the first
    else if (!forward)
        it = it == matches.begin() ? matches.end() - 1 : it - 1; // wraps to the last
    SelectLine(static_cast<int>(*it));
}

void LogPage::OnlyMatchingToggled(bool on)
{
    const int line = CurrentLine();
    filter_->SetLines(on ? &search_->Matches() : nullptr);
    if (line >= 0)
        SelectLine(line);
}

int LogPage::CurrentLine() const
{
    const QModelIndex current = LogListBox->currentIndex();
    return current.isValid() ? filter_->mapToSource(current).row() : -1;
}

// Selects the line, or while filtering the nearest shown line at or after it.
void LogPage::SelectLine(int line)
{
    QModelIndex shown = filter_->mapFromSource(model_->index(line, 0));
    if (!shown.isValid() && filter_->rowCount() > 0)
    {
        const std::vector<std::uint32_t>& matches = search_->Matches();
        const auto it = std::lower_bound(matches.begin(), matches.end(), static_cast<std::uint32_t>(line));
        const auto row = std::min<std::ptrdiff_t>(it - matches.begin(), filter_->rowCount() - 1);
        shown = filter_->index(static_cast<int>(row), 0);
    }
    if (!shown.isValid())
        return;
    LogListBox->setCurrentIndex(shown);
    LogListBox->scrollTo(shown, QAbstractItemView::PositionAtCenter);
}

void LogPage::ShowLineCount(std::size_t firstNewLine)
{
    const LogText& log = model_->Log();
    if (!zeroByteLine_)
        zeroByteLine_ = log.ZeroByteLine(firstNewLine);
    const std::size_t count = log.LineCount();
    QString text = count == 1 ? QCoreApplication::translate("LogPage", "1 line")
                              : QCoreApplication::translate("LogPage", "%L1 lines").arg(count);
    if (zeroByteLine_)
        text += QLatin1Char(' ') +
                QCoreApplication::translate(
                    "LogPage", "(the log holds a zero byte at line %1; the rest is shown after it)")
                    .arg(*zeroByteLine_ + 1);
    LineCountLabel->setText(text);
}

// --- Saving ---

void LogPage::SaveButtonClick()
{
    WriteLines(false);
}

void LogPage::SaveMatchingButtonClick()
{
    WriteLines(true);
}

void LogPage::WriteLines(bool matchingOnly)
{
    const Dialogs::SaveFileRequest request{
        QCoreApplication::translate("LogPage", "Enter a name for the text file"), dialogStartDir_,
        QCoreApplication::translate("LogPage", "Text Files (*.TXT)"), QStringLiteral("TXT")};
    if (const std::optional<QString> fileName = DialogsFor(this).GetSaveFileName(this, request))
        WriteLogFile(*fileName, model_->Log(), matchingOnly ? &search_->Matches() : nullptr);
}

} // namespace korvel::admin
