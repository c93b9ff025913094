#include "testing/PausedServer.h"
#include "testing/admin/ShortSeconds.h"
#include "tests/admin/pages/PageFixture.h"

#include "admin/pages/log/LogHighlightDelegate.h"
#include "admin/pages/log/LogPage.h"
#include "admin/pages/log/LogSearch.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QScrollBar>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace korvel::test
{
namespace
{

using admin::Answer;
using namespace std::string_literals;

class LogPageTest : public PagesTest
{
protected:
    // A server whose log already holds `lines` (written as bytes, before the server starts).
    void StartServerWithLog(const std::string& lines)
    {
        std::filesystem::create_directories(dataDir.path().toStdString());
        std::ofstream(dataDir.filePath("server.log").toStdString(), std::ios::binary) << lines;
        RefServerOptions options;
        options.DataDir = dataDir.path().toStdString();
        StartServer(options);
        ShowWindow();
    }
    // Shown, so the list lays out its rows and knows where its end is.
    void ShowWindow()
    {
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        window->setCurrentWidget(Page());
    }
    QStringList Shown() const
    {
        QStringList lines;
        const QAbstractItemModel* model = Find<QAbstractItemView>("LogListBox")->model();
        for (int row = 0; row < model->rowCount(); ++row)
            lines << model->index(row, 0).data().toString();
        return lines;
    }
    admin::LogPage* Page() const { return static_cast<admin::LogPage*>(PageAt(LogPage)); }
    // Load as the user does, then wait for the background load to deliver.
    void Load()
    {
        Press("LoadLogButton");
        ASSERT_TRUE(WaitFor([this] { return !Page()->Loading(); }, 20000));
    }
    QString Label(const char* name) const { return Find<QLabel>(name)->text(); }
    QString CurrentText() const
    {
        return Find<QAbstractItemView>("LogListBox")->currentIndex().data().toString();
    }
    // The user types into the search box and waits for the search to end.
    void Search(const QString& text)
    {
        auto* edit = Find<QLineEdit>("SearchEdit");
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
        ASSERT_TRUE(WaitFor([this] { return !Page()->Searching(); }, 20000));
    }
    void ClickBox(const char* name) const
    {
        auto* box = Find<QCheckBox>(name);
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
        QTest::qWait(0);
        ASSERT_TRUE(WaitFor([this] { return !Page()->Searching(); }, 20000));
    }
    void Key(int key, Qt::KeyboardModifiers modifiers = {}) const
    {
        QTest::keyClick(Find<QAbstractItemView>("LogListBox"), static_cast<Qt::Key>(key), modifiers);
    }
    // The server's log file as lines without their line ends.
    QStringList FileLines() const
    {
        QStringList lines = QString::fromUtf8(FileBytes(dataDir.filePath("server.log"))).split('\n');
        if (!lines.isEmpty() && lines.back().isEmpty())
            lines.removeLast();
        for (QString& line : lines)
            if (line.endsWith('\r'))
                line.chop(1);
        return lines;
    }
    void AppendToServerLog(const std::string& text) const
    {
        std::ofstream(dataDir.filePath("server.log").toStdString(), std::ios::binary | std::ios::app) << text;
    }
    QByteArray FileBytes(const QString& name) const
    {
        QFile file(name);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
        return file.readAll();
    }

    // The Status page's Refresh, a user command through the runner the pages share; back to the Log page.
    void RefreshStatusPage()
    {
        SetCurrentPage(StatusPage);
        QTest::mouseClick(Find<QPushButton>("RefreshButton"), Qt::LeftButton);
        window->setCurrentWidget(Page());
    }
    void ExpectStatusPageRefreshed() const
    {
        EXPECT_EQ(Text("EngineVersionEdit"), "KORVEL Version 3.21");
        EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the command's wait cursor ended";
    }

    QTemporaryDir dataDir;
    QTemporaryDir saveDir;
    ShortSeconds seconds; // a follow round of 1 s comes after 50 ms
};

TEST_F(LogPageTest, LoadShowsTheLinesInServerOrderAndSaveWritesTheirBytesWithCrLf)
{
    StartServerWithLog("2024-01-01 00:00:00 zulu first\n2024-01-01 00:00:01 alpha caf\xe9\n");
    EXPECT_TRUE(Shown().isEmpty()); // not filled at login
    Load();
    const QStringList lines = Shown();
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines[0], "2024-01-01 00:00:00 zulu first");
    EXPECT_TRUE(lines[1].startsWith("2024-01-01 00:00:01 alpha caf"));

    const QString fileName = saveDir.filePath("log.TXT");
    dialogs.SaveFileNames = {fileName};
    Click("SaveButton");
    ASSERT_EQ(dialogs.SaveRequests.size(), 1u);
    EXPECT_EQ(dialogs.SaveRequests[0].Title, "Enter a name for the text file");
    EXPECT_EQ(dialogs.SaveRequests[0].StartDirectory, programDir);
    EXPECT_EQ(dialogs.SaveRequests[0].Filter, "Text Files (*.TXT)");
    EXPECT_EQ(dialogs.SaveRequests[0].DefaultSuffix, "TXT");
    const QByteArray saved = FileBytes(fileName);
    EXPECT_TRUE(saved.startsWith("2024-01-01 00:00:00 zulu first\r\n2024-01-01 00:00:01 alpha caf\xe9\r\n"));
    EXPECT_EQ(saved.count("\r\n"), lines.size());
    EXPECT_FALSE(saved.contains("\xef\xbf\xbd")); // no replacement characters
    EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join('\n').toStdString();
}

TEST_F(LogPageTest, AnExistingFileIsReplacedOnlyAfterTheSaveDialogAsked)
{
    const QString fileName = saveDir.filePath("old.TXT");
    {
        QFile old(fileName);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("older content");
    }
    dialogs.SaveFileNames = {std::nullopt, fileName, fileName};
    dialogs.Answers = {Answer::No, Answer::Yes};
    Click("SaveButton"); // cancelled: nothing happens
    EXPECT_EQ(FileBytes(fileName), "older content");
    EXPECT_TRUE(dialogs.Boxes.empty());
    Click("SaveButton"); // the file exists: asked, and No keeps it
    EXPECT_EQ(FileBytes(fileName), "older content");
    ASSERT_EQ(dialogs.Boxes.size(), 1u);
    EXPECT_EQ(dialogs.Boxes[0].BoxKind, ScriptedDialogs::Kind::ReplaceFile);
    EXPECT_TRUE(dialogs.Boxes[0].Text.startsWith(fileName)) << dialogs.Boxes[0].Text.toStdString();
    Click("SaveButton"); // Yes: an empty list leaves an empty file
    EXPECT_EQ(FileBytes(fileName), "");
    EXPECT_EQ(dialogs.Boxes.size(), 2u);
    EXPECT_EQ(dialogs.SaveRequests.size(), 3u);
    EXPECT_EQ(dialogs.SaveRequests[2].StartDirectory, programDir);
    EXPECT_TRUE(dialogs.Errors().isEmpty());
}

TEST_F(LogPageTest, AFileThatCannotBeCreatedIsReportedByName)
{
    const QString fileName = saveDir.filePath("missing/dir/log.TXT");
    dialogs.SaveFileNames = {fileName};
    Click("SaveButton");
    ASSERT_EQ(dialogs.Errors().size(), 1);
    EXPECT_TRUE(dialogs.Errors()[0].startsWith("Cannot create file \"" + fileName + "\""))
        << dialogs.Errors()[0].toStdString();
}

TEST_F(LogPageTest, RowsAreEighteenPixelsHighAndWideEnoughToScrollLongLines)
{
    StartServerWithLog(std::string(400, 'x') + "\n");
    Load();
    auto* view = Find<QAbstractItemView>("LogListBox");
    const QModelIndex first = view->model()->index(0, 0);
    EXPECT_EQ(view->sizeHintForIndex(first).height(), 18);
    EXPECT_EQ(view->sizeHintForIndex(first).width(),
              view->fontMetrics().horizontalAdvance(QString(255, QLatin1Char('0'))));
}

std::string NumberedLines(int count, const char* word = "line")
{
    std::string text;
    for (int i = 0; i < count; ++i)
        text += "2024-01-01 00:00:00 " + std::string(word) + " " + std::to_string(i) + "\n";
    return text;
}

TEST_F(LogPageTest, LoadRunsInTheBackgroundCanBeCancelledAndEndsAtTheNewestLine)
{
    StartServerWithLog(NumberedLines(200000));
    Press("LoadLogButton");
    EXPECT_TRUE(Page()->Loading()); // the click returned before the log arrived
    EXPECT_TRUE(PagesTest::Shown("LoadProgressBar"));
    EXPECT_FALSE(Enabled("LoadLogButton"));
    Press("CancelLoadButton");
    EXPECT_FALSE(Page()->Loading());
    EXPECT_FALSE(PagesTest::Shown("LoadProgressBar"));
    WaitForRunner(); // the cancelled load has ended, and delivered nothing
    EXPECT_EQ(Find<QAbstractItemView>("LogListBox")->model()->rowCount(), 0);

    Load();
    const QStringList lines = Shown();
    ASSERT_GE(lines.size(), 200000);
    EXPECT_EQ(lines[0], "2024-01-01 00:00:00 line 0");
    EXPECT_EQ(Label("LineCountLabel"), QLocale().toString(lines.size()) + " lines");
    auto* view = Find<QAbstractItemView>("LogListBox");
    const QModelIndex last = view->model()->index(view->model()->rowCount() - 1, 0);
    EXPECT_EQ(view->currentIndex(), last);
    EXPECT_TRUE(view->viewport()->rect().intersects(view->visualRect(last))) << "the newest line is in view";
    EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join('\n').toStdString();
}

TEST_F(LogPageTest, SearchCountsFindsNextAndPreviousWithWrappingAndHighlights)
{
    StartServerWithLog("a zebra one\nb plain\nc ZEBRA two\nd Zebra three\ne end\n");
    Load();
    auto* view = Find<QAbstractItemView>("LogListBox");
    const QImage before = view->viewport()->grab().toImage();
    Search("zebra");
    EXPECT_EQ(Label("MatchCountLabel"), "3 matches"); // case-insensitive by default
    EXPECT_EQ(CurrentText(), "a zebra one");          // after the last line, the search wraps to the first
    Key(Qt::Key_F3);
    EXPECT_EQ(CurrentText(), "c ZEBRA two");
    Click("FindNextButton");
    EXPECT_EQ(CurrentText(), "d Zebra three");
    Key(Qt::Key_F3);
    EXPECT_EQ(CurrentText(), "a zebra one");
    Key(Qt::Key_F3, Qt::ShiftModifier);
    EXPECT_EQ(CurrentText(), "d Zebra three");

    auto highlighted = [](const QImage& image)
    {
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                count += image.pixelColor(x, y) == admin::LogHighlightDelegate::HighlightColor();
        return count;
    };
    EXPECT_EQ(highlighted(before), 0);
    EXPECT_GT(highlighted(view->viewport()->grab().toImage()), 100);

    ClickBox("MatchCaseCheckBox");
    EXPECT_EQ(Label("MatchCountLabel"), "1 match");
    ClickBox("RegexCheckBox");
    Search("^[ad] ");
    EXPECT_EQ(Label("MatchCountLabel"), "2 matches");
    EXPECT_TRUE(Find<QPushButton>("SaveMatchingButton")->isEnabled());
    Search("(unclosed");
    EXPECT_TRUE(Label("MatchCountLabel").startsWith("Invalid")) << Label("MatchCountLabel").toStdString();
    EXPECT_FALSE(Find<QPushButton>("SaveMatchingButton")->isEnabled()) << "nothing matches to be saved";
    Search("");
    EXPECT_EQ(highlighted(view->viewport()->grab().toImage()), 0);
}

TEST_F(LogPageTest, OnlyMatchingLinesKeepsTheSelectedLineAndSavesTheMatchesByteExact)
{
    StartServerWithLog("a zebra one\r\nb plain\nc ZEBRA caf\xe9\r\nd Zebra three\ne end\n");
    Load();
    Search("zebra");
    Key(Qt::Key_F3); // "c ZEBRA ..."
    ClickBox("OnlyMatchingCheckBox");
    EXPECT_EQ(Shown().size(), 3);
    EXPECT_TRUE(CurrentText().startsWith("c ZEBRA"));
    Key(Qt::Key_F3);
    EXPECT_EQ(CurrentText(), "d Zebra three");
    ClickBox("OnlyMatchingCheckBox");
    EXPECT_GE(Shown().size(), 5);
    EXPECT_EQ(CurrentText(), "d Zebra three");

    const QString fileName = saveDir.filePath("matching.TXT");
    dialogs.SaveFileNames = {fileName};
    Click("SaveMatchingButton");
    EXPECT_EQ(FileBytes(fileName), QByteArray("a zebra one\r\nc ZEBRA caf\xe9\r\nd Zebra three\r\n"));
    EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join('\n').toStdString();
}

TEST_F(LogPageTest, EscapeOrAKeystrokeStopsARunningSearch)
{
    StartServerWithLog(NumberedLines(300000));
    Load();
    auto* edit = Find<QLineEdit>("SearchEdit");
    QTest::keyClicks(edit, "line 29");
    QTest::keyClick(edit, Qt::Key_Return); // starts at once; the first slice waits for the event loop
    ASSERT_TRUE(Page()->Searching());
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_FALSE(Page()->Searching());
    EXPECT_TRUE(Label("MatchCountLabel").startsWith("Stopped")) << Label("MatchCountLabel").toStdString();

    QTest::keyClick(edit, Qt::Key_Return); // the stopped search starts again
    ASSERT_TRUE(Page()->Searching());
    QTest::keyClicks(edit, "9");
    // The keystroke stopped the search for the old text; the new one waits for the pause after typing.
    const auto children = Page()->findChildren<QObject*>(Qt::FindDirectChildrenOnly);
    const auto search = std::find_if(children.begin(), children.end(),
                                     [](QObject* child) { return dynamic_cast<admin::LogSearch*>(child); });
    ASSERT_NE(search, children.end());
    EXPECT_FALSE(static_cast<admin::LogSearch*>(*search)->Running()) << "the search for the old text goes on";
    EXPECT_TRUE(Page()->Searching());
    EXPECT_EQ(Label("MatchCountLabel"), "Searching...");
    ASSERT_TRUE(WaitFor([this] { return !Page()->Searching(); }, 20000));
    EXPECT_EQ(Label("MatchCountLabel"), "1,111 matches"); // "line 299", "line 2990".."line 2999", ...
}

TEST_F(LogPageTest, ASearchStartedAgainNeverShowsTheOldPatternsMatches)
{
    StartServerWithLog(NumberedLines(300000));
    Load();
    ClickBox("OnlyMatchingCheckBox");
    ClickBox("RegexCheckBox");
    auto* edit = Find<QLineEdit>("SearchEdit");
    QTest::keyClicks(edit, "l.*i.*n.*e.*1"); // slow enough to hand over its matches in several batches
    QTest::keyClick(edit, Qt::Key_Return);
    ASSERT_TRUE(WaitFor(
        [this] { return Label("MatchCountLabel").contains("so far") || !Page()->Searching(); }, 20000));
    edit->selectAll();
    QTest::keyClicks(edit, "line 2");
    QTest::keyClick(edit, Qt::Key_Return); // while the first search's next batches are on their way
    ASSERT_TRUE(WaitFor([this] { return !Page()->Searching(); }, 20000));
    const QStringList shown = Shown();
    EXPECT_EQ(shown.size(), 111111); // "line 2", "line 20".."line 29", ..., "line 200000".."line 299999"
    EXPECT_TRUE(
        std::all_of(shown.begin(), shown.end(), [](const QString& line) { return line.contains("line 2"); }));
    EXPECT_EQ(Label("MatchCountLabel"), "111,111 matches");
}

TEST_F(LogPageTest, AClickOnARowSelectsItsLineWhereverTheListIsScrolled)
{
    StartServerWithLog(NumberedLines(1000));
    Load();
    auto* view = Find<QAbstractItemView>("LogListBox");
    view->verticalScrollBar()->setValue(500); // a row at a time: line 500 at the top
    EXPECT_EQ(view->indexAt(QPoint(10, 2)).data().toString(), "2024-01-01 00:00:00 line 500");
    const QRect row = view->visualRect(view->model()->index(503, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(10, row.center().y()));
    EXPECT_EQ(CurrentText(), "2024-01-01 00:00:00 line 503");
    Key(Qt::Key_Down);
    EXPECT_EQ(CurrentText(), "2024-01-01 00:00:00 line 504");
    EXPECT_EQ(view->verticalScrollBar()->value(), 500) << "the list stays where it was";
}

TEST_F(LogPageTest, FollowAppendsExactlyTheNewLinesAndStaysAtTheEnd)
{
    StartServerWithLog(NumberedLines(1000));
    Load();
    Find<QSpinBox>("FollowIntervalSpinBox")->setValue(1);
    ClickBox("FollowCheckBox");
    EXPECT_EQ(Page()->FollowIntervalSeconds(), 1);
    EXPECT_TRUE(Label("FollowStatusLabel").contains("every 1 s")) << Label("FollowStatusLabel").toStdString();
    for (int round = 0; round < 2; ++round)
    {
        const std::string marker = "appended " + std::to_string(round);
        AppendToServerLog(NumberedLines(5, marker.c_str()));
        ASSERT_TRUE(
            WaitFor([&] { return Shown().join('\n').contains(QString::fromStdString(marker)); }, 10000));
    }
    const QStringList shown = Shown();
    EXPECT_EQ(shown, FileLines().mid(0, shown.size())) << "no line twice, none missing";
    EXPECT_TRUE(Label("FollowStatusLabel").startsWith("+")) << Label("FollowStatusLabel").toStdString();
    auto* view = Find<QAbstractItemView>("LogListBox");
    const QModelIndex last = view->model()->index(view->model()->rowCount() - 1, 0);
    EXPECT_TRUE(view->viewport()->rect().intersects(view->visualRect(last)));
    ClickBox("FollowCheckBox");
}

TEST_F(LogPageTest, AZeroByteIsReportedBesideTheLineCountAndTheLinesAfterItAreShown)
{
    StartServerWithLog(NumberedLines(3));
    Load();
    EXPECT_FALSE(Label("LineCountLabel").contains("zero")) << Label("LineCountLabel").toStdString();
    Find<QSpinBox>("FollowIntervalSpinBox")->setValue(1);
    ClickBox("FollowCheckBox");
    AppendToServerLog("zero \0 byte\nafter it\n"s);
    ASSERT_TRUE(WaitFor([this] { return Shown().contains("after it"); }, 10000));
    ClickBox("FollowCheckBox");
    const auto zeroLine = FileLines().indexOf(QString::fromStdString("zero \0 byte"s)) + 1;
    ASSERT_GT(zeroLine, 3);
    const QString report =
        QStringLiteral(" (the log holds a zero byte at line %1; the rest is shown after it)").arg(zeroLine);
    EXPECT_EQ(Label("LineCountLabel"), QStringLiteral("%1 lines").arg(Shown().size()) + report)
        << "found in the lines Follow added";

    AppendToServerLog("another \0 one\n"s);
    Load();
    EXPECT_EQ(Shown().back(), QString::fromStdString("another \0 one"s));
    EXPECT_EQ(Label("LineCountLabel"), QStringLiteral("%1 lines").arg(Shown().size()) + report)
        << "a load reports its first zero byte, once";
}

TEST_F(LogPageTest, FollowReloadsWhenTheServersLogWasCut)
{
    std::filesystem::create_directories(dataDir.path().toStdString());
    std::ofstream(dataDir.filePath("server.log").toStdString(), std::ios::binary) << NumberedLines(3);
    RefServerOptions options;
    options.DataDir = dataDir.path().toStdString();
    options.ExtraArgs = {"--max-log", "400"};
    StartServer(options);
    ShowWindow();
    Load();
    Find<QSpinBox>("FollowIntervalSpinBox")->setValue(1);
    ClickBox("FollowCheckBox");
    AppendToServerLog(NumberedLines(20, "later"));
    ASSERT_TRUE(WaitFor([this] { return Label("FollowStatusLabel").contains("was cut"); }, 10000));
    const QStringList shown = Shown();
    const QStringList file = FileLines();
    ASSERT_FALSE(shown.isEmpty());
    EXPECT_FALSE(shown.join('\n').contains("line 0")) << "the lines cut from the server's log are gone";
    const auto start = file.indexOf(shown[0]);
    ASSERT_GE(start, 0);
    EXPECT_EQ(shown, file.mid(start, shown.size()));
    ClickBox("FollowCheckBox");
}

TEST_F(LogPageTest, CancellingALoadLeavesACommandOfAnotherPageAlone)
{
    StartServerWithLog(NumberedLines(10));
    PausedServer paused(server->Pid());
    RefreshStatusPage(); // its request waits for the server
    Press("LoadLogButton");
    EXPECT_TRUE(Page()->Loading());
    Press("CancelLoadButton");
    EXPECT_FALSE(Page()->Loading());
    EXPECT_EQ(Label("FollowStatusLabel"), "Loading cancelled");

    paused.Resume();
    WaitForRunner();
    ExpectStatusPageRefreshed();
    EXPECT_TRUE(Shown().isEmpty()) << "the cancelled load delivered nothing";
    EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join('\n').toStdString();
    Load();
    ASSERT_GE(Shown().size(), 10);
    EXPECT_EQ(Shown()[0], "2024-01-01 00:00:00 line 0");
}

TEST_F(LogPageTest, FollowGoesOnAfterACommandOnAnotherPageInterruptedItsRead)
{
    StartServerWithLog(NumberedLines(10));
    Load();
    Find<QSpinBox>("FollowIntervalSpinBox")->setValue(1);
    {
        PausedServer paused(server->Pid());
        ClickBox("FollowCheckBox");
        ASSERT_TRUE(WaitFor([this] { return runner->Busy(); }, 5000)) << "a follow read under way";
        RefreshStatusPage(); // goes first: the follow read gives way
    }
    WaitForRunner();
    ExpectStatusPageRefreshed();
    AppendToServerLog(NumberedLines(3, "after the command"));
    EXPECT_TRUE(WaitFor([this] { return Shown().join('\n').contains("after the command 2"); }, 10000))
        << Label("FollowStatusLabel").toStdString();
    EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join('\n').toStdString();
    ClickBox("FollowCheckBox");
}

TEST_F(LogPageTest, LogoutDropsALoadAndStopsFollowing)
{
    StartServerWithLog(NumberedLines(10));
    Load();
    const QStringList loaded = Shown();
    ASSERT_GE(loaded.size(), 10);
    Find<QSpinBox>("FollowIntervalSpinBox")->setValue(1);
    ClickBox("FollowCheckBox");
    {
        PausedServer paused(server->Pid());
        Press("LoadLogButton");
        // What the window does at logout: the runner drops its work, then the pages stop theirs.
        runner->CancelAll();
        Page()->StopRepeatedWork();
        EXPECT_FALSE(Page()->Loading());
        EXPECT_FALSE(Find<QCheckBox>("FollowCheckBox")->isChecked());
        EXPECT_EQ(Label("FollowStatusLabel"), "Following stopped: Not logged in");
    }
    WaitForRunner();
    EXPECT_TRUE(Enabled("LoadLogButton"));
    EXPECT_EQ(Shown(), loaded) << "the dropped load delivered nothing and took nothing away";
}

// The list's text as the session hands it over: a block of the server's bytes.
std::shared_ptr<const LogText> TextOf(const std::string& text)
{
    MessageBuffer buffer;
    buffer.Reserve(static_cast<std::int64_t>(text.size()));
    std::memcpy(buffer.Data(), text.data(), text.size());
    LogText log;
    log.Adopt(buffer, 0, text.size());
    return std::make_shared<const LogText>(std::move(log));
}

TEST(LogSearchTest, LinesAppendedWhileASearchRunsAreSearchedOnceInLineOrder)
{
    const std::string first = NumberedLines(300000);
    std::shared_ptr<const LogText> log = TextOf(first);
    int finished = 0;
    admin::LogSearch search(
        log, [&](bool done) { finished += done; }, nullptr);
    search.Start(std::make_shared<admin::LogLineMatcher>("line 7", false, false));
    ASSERT_TRUE(search.Running());
    // What a follow read does meanwhile: the list takes a longer text with the old lines at the same places.
    log = TextOf(first + "2024-01-01 00:00:01 line 7 appended\n2024-01-01 00:00:01 other\n" +
                 "2024-01-01 00:00:01 line 77 appended\n");
    search.Continue();
    ASSERT_TRUE(WaitFor([&] { return !search.Running(); }, 20000));

    std::vector<std::uint32_t> expected;
    for (std::uint32_t line = 0; line < 300000; ++line)
        if (("line " + std::to_string(line)).find("line 7") == 0)
            expected.push_back(line);
    expected.insert(expected.end(), {300000, 300002});
    EXPECT_EQ(search.Matches(), expected);
    EXPECT_TRUE(search.Complete());
    EXPECT_EQ(finished, 1) << "finished once, after the appended lines";
}

} // namespace
} // namespace korvel::test
