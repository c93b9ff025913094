// The wait cursor of a command never covers a box or dialog that waits for the person: questions, errors,
// the save dialog, the folder chooser, the login prompt, Options and Trace Log all show the arrow. And which
// dialogs a widget asks.
#include "admin/common/Command.h"
#include "tests/admin/window/WindowFixture.h"

#include <QCursor>
#include <QDialog>
#include <QPushButton>

#include <memory>
#include <utility>

namespace korvel::test
{
namespace
{

using admin::Answer;
using Kind = ScriptedDialogs::Kind;

TEST_F(WindowTest, EveryBoxAskedDuringACommandShowsTheArrowAndTheWaitCursorReturnsAfter)
{
    dialogs.Answers = {Answer::Yes, Answer::No, Answer::Cancel};
    dialogs.SaveFileNames = {std::nullopt};
    dialogs.Directories = {std::nullopt};
    dialogs.Logins.push_back({false, {}, {}});
    std::vector<Qt::CursorShape> between;
    QWidget window;
    dialogs.Install(window);
    admin::RunCommand(&window,
                      [&]
                      {
                          admin::Dialogs& ask = admin::DialogsFor(&window);
                          ask.AskWarningYesNo(nullptr, "one");
                          between.push_back(ScriptedDialogs::CursorNow());
                          ask.AskConfirmationYesNo(nullptr, "two");
                          ask.AskWarningYesNoCancel(nullptr, "three");
                          ask.GetSaveFileName(nullptr, {"Save", {}, {}, {}});
                          ask.BrowseForDirectory(nullptr, "/");
                          std::string user, password;
                          ask.RemoteLogin(nullptr, "db1 on port 12006", user, password);
                          between.push_back(ScriptedDialogs::CursorNow());
                          throw std::runtime_error("failed");
                      });
    const std::vector<Kind> expected{Kind::WarningYesNo, Kind::ConfirmationYesNo,  Kind::WarningYesNoCancel,
                                     Kind::SaveFile,     Kind::BrowseForDirectory, Kind::Login,
                                     Kind::Error};
    ASSERT_EQ(dialogs.Waits.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
    {
        EXPECT_EQ(dialogs.Waits[i].What, expected[i]) << i;
        EXPECT_EQ(dialogs.Waits[i].Cursor, Qt::ArrowCursor) << i;
    }
    EXPECT_EQ(between, (std::vector<Qt::CursorShape>{Qt::WaitCursor, Qt::WaitCursor}))
        << "the command's wait cursor is back once the person answered";
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(WindowTest, OptionsAndTraceLogOpenUnderTheArrow)
{
    OpenWindow();
    std::vector<QString> dialogsSeen;
    std::vector<Qt::CursorShape> cursors;
    WhenModal(
        [&](QWidget& options)
        {
            dialogsSeen.push_back(options.objectName());
            cursors.push_back(ScriptedDialogs::CursorNow());
            WhenModal(
                [&](QWidget& traceLog)
                {
                    dialogsSeen.push_back(traceLog.objectName());
                    cursors.push_back(ScriptedDialogs::CursorNow());
                    traceLog.findChild<QPushButton*>("CloseBtn")->click();
                });
            options.findChild<QPushButton*>("ViewTraceLogButton")->click();
            cursors.push_back(ScriptedDialogs::CursorNow()); // back in Options
            options.findChild<QPushButton*>("CancelButton")->click();
        });
    Pick("OptionsItem");
    EXPECT_EQ(dialogsSeen, (std::vector<QString>{"OptionsDlg", "TraceLogDlg"}));
    EXPECT_EQ(cursors, (std::vector<Qt::CursorShape>{Qt::ArrowCursor, Qt::ArrowCursor, Qt::ArrowCursor}));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join("\n").toStdString();
}

// Each window asks the dialogs its owner installed on it, from any widget under it or dialog it parents; a
// window without any asks the Qt ones, also once its scripted ones are gone.
TEST(DialogsForTest, AWidgetAsksTheDialogsOfTheNearestWidgetAboveItThatHasSome)
{
    QWidget window, otherWindow, bare;
    auto* page = new QWidget(&window);
    QDialog opened(page);
    auto* otherPage = new QWidget(&otherWindow);
    auto scripted = std::make_unique<ScriptedDialogs>(window);
    ScriptedDialogs other(otherWindow);
    admin::Dialogs* const qt = &admin::DialogsFor(nullptr);
    const std::vector<std::pair<const QWidget*, admin::Dialogs*>> rows{{&window, scripted.get()},
                                                                       {page, scripted.get()},
                                                                       {&opened, scripted.get()},
                                                                       {otherPage, &other},
                                                                       {&bare, qt},
                                                                       {nullptr, qt}};
    for (std::size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(&admin::DialogsFor(rows[i].first), rows[i].second) << i;

    scripted.reset();
    EXPECT_EQ(&admin::DialogsFor(&opened), qt) << "the window no longer holds dialogs that are gone";
    admin::InstallDialogs(otherWindow, nullptr);
    EXPECT_EQ(&admin::DialogsFor(otherPage), qt);
}

} // namespace
} // namespace korvel::test
