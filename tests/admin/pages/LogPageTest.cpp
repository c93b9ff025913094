#include "tests/admin/pages/PageFixture.h"

#include <QFile>
#include <QListView>
#include <QTemporaryDir>

#include <filesystem>
#include <fstream>

namespace korvel::test
{
namespace
{

using admin::Answer;

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
    }
    QStringList Shown() const
    {
        QStringList lines;
        const QAbstractItemModel* model = Find<QListView>("LogListBox")->model();
        for (int row = 0; row < model->rowCount(); ++row)
            lines << model->index(row, 0).data().toString();
        return lines;
    }
    QByteArray FileBytes(const QString& name) const
    {
        QFile file(name);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
        return file.readAll();
    }

    QTemporaryDir dataDir;
    QTemporaryDir saveDir;
};

TEST_F(LogPageTest, LoadShowsTheLinesInServerOrderAndSaveWritesTheirBytesWithCrLf)
{
    StartServerWithLog("2024-01-01 00:00:00 zulu first\n2024-01-01 00:00:01 alpha caf\xe9\n");
    EXPECT_TRUE(Shown().isEmpty()); // not filled at login
    Click("LoadLogButton");
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
    Click("LoadLogButton");
    auto* view = Find<QListView>("LogListBox");
    const QModelIndex first = view->model()->index(0, 0);
    EXPECT_EQ(view->sizeHintForIndex(first).height(), 18);
    EXPECT_EQ(view->sizeHintForIndex(first).width(),
              view->fontMetrics().horizontalAdvance(QString(255, QLatin1Char('0'))));
}

} // namespace
} // namespace korvel::test
