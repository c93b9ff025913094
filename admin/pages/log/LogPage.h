// The "Log" page: the server's log on request, saved as a text file on this computer. The list keeps its
// lines until the next load, also across logout and login. Loading runs in the background and ends scrolled
// to the newest line; a search box finds, highlights and optionally filters lines; Follow re-reads the log
// and appends what is new.
//
// Both go through the runner the window shares with every page. Load is a user command (other commands wait
// for its one request; Cancel cuts it off). A follow read is background work: skipped while the runner is
// busy, and interrupted by a user command on any page, after which the next one comes at the next tick.
#pragma once

#include "admin/common/AdminPage.h"
#include "admin/common/BackgroundRunner.h"
#include "admin/pages/log/LogJoin.h"
#include "engine/LogText.h"

#include <cstddef>
#include <exception>
#include <memory>
#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QKeyEvent;
class QTimer;

namespace korvel::admin
{

class LogFilterModel;
class LogListModel;
class LogListView;
class LogSearch;
class NoAnswerWatch;

class LogPage : public AdminPage
{
public:
    LogPage(const PageContext& context, QWidget* parent);
    ~LogPage() override;

    QString Caption() const override { return QCoreApplication::translate("LogPage", "Log"); }
    // Logout: a load is dropped and following stops.
    void StopRepeatedWork() override;
    // F5 loads the log again.
    void RefreshPage() override;
    QWidget* SearchBox() override;

    void LoadLogButtonClick();
    void CancelLoadButtonClick();
    void SaveButtonClick();
    void SaveMatchingButtonClick();
    void FindNext() { GoToMatch(true); }
    void FindPrevious() { GoToMatch(false); }

    bool Loading() const { return load_ && load_->Pending(); }
    bool Searching() const;
    // The seconds between two reads while following: the person's choice, however long a read took.
    int FollowIntervalSeconds() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override; // Esc in the search box
    void keyPressEvent(QKeyEvent* event) override;              // F3, Shift+F3

private:
    void CreateControls();
    QLayout* CreateSearchBar(QWidget* parent);
    QLayout* CreateBottomBar(QWidget* parent);

    void ShowLoading(bool loading);
    void LoadFinished(LogText& log);
    void FollowToggled(bool on);
    void ScheduleFollow();
    void FollowTick();
    void FollowGotNoAnswer(const QString& text);
    void FollowRead(LogText& latest);
    void FollowJoined(LogJoin::Joined& joined);
    void StopFollowing(const QString& why);

    void SearchTextEdited();
    void StartSearch();
    void SearchProgress(bool finished);
    void OnlyMatchingToggled(bool on);
    void GoToMatch(bool forward);

    // The line count, and the first zero byte from `firstNewLine` on unless one was found since the load.
    void ShowLineCount(std::size_t firstNewLine = 0);
    int CurrentLine() const;
    void SelectLine(int line);
    bool ViewAtEnd() const;
    void WriteLines(bool matchingOnly);

    TKORVELSession& session_;
    BackgroundRunner& runner_;
    QString dialogStartDir_;
    std::shared_ptr<Job> load_;
    std::shared_ptr<Job> follow_;
    LogListModel* model_ = nullptr;
    LogFilterModel* filter_ = nullptr;
    LogSearch* search_ = nullptr;
    std::unique_ptr<LogJoin> join_;
    QTimer* searchDelay_ = nullptr;
    QTimer* followTimer_ = nullptr;
    std::unique_ptr<NoAnswerWatch> noAnswer_;
    bool followReading_ = false;
    bool jumpToFirstMatch_ = false;
    // The server's text ends at nothing but its size: a zero byte in it is said beside the line count.
    std::optional<std::size_t> zeroByteLine_;

    LogListView* LogListBox = nullptr;
    QLineEdit* SearchEdit = nullptr;
    QCheckBox* RegexCheckBox = nullptr;
    QCheckBox* MatchCaseCheckBox = nullptr;
    QPushButton* FindPreviousButton = nullptr;
    QPushButton* FindNextButton = nullptr;
    QLabel* MatchCountLabel = nullptr;
    QCheckBox* OnlyMatchingCheckBox = nullptr;
    QProgressBar* LoadProgressBar = nullptr;
    QPushButton* CancelLoadButton = nullptr;
    QLabel* LineCountLabel = nullptr;
    QCheckBox* FollowCheckBox = nullptr;
    QSpinBox* FollowIntervalSpinBox = nullptr;
    QLabel* FollowStatusLabel = nullptr;
    QPushButton* LoadLogButton = nullptr;
    QPushButton* SaveButton = nullptr;
    QPushButton* SaveMatchingButton = nullptr;
};

} // namespace korvel::admin
