// Changing the tab while one of the four editable pages has an unsaved edit, with the real pages against a
// real korvel-refserver: Cancel stays, No drops the edit, Yes saves it, and the server shows which. And an
// Edit and Save that repaint only the page's controls, never the whole window.
#include "testing/AdminLogin.h"
#include "testing/admin/ListRows.h"
#include "testing/admin/PaintRecorder.h"
#include "tests/admin/window/WindowFixture.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <functional>

namespace korvel::test
{
namespace
{

// One editable page: how to make a change in edit mode, and where the change shows on the page and on the
// server (as text, so every page compares alike).
struct EditablePageCase
{
    const char* Caption;
    int Tab;
    const char* EditButton;
    const char* SaveButton;
    std::function<void(admin::TMainForm&)> Change;
    std::function<QString(admin::TMainForm&)> Shown;
    std::function<QString(TKORVELSession&)> Stored;
};

QString Checked(bool checked)
{
    return checked ? QStringLiteral("checked") : QStringLiteral("unchecked");
}

template <typename T> T* Find(admin::TMainForm& form, const char* name)
{
    T* child = form.findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name;
    return child;
}

std::vector<EditablePageCase> EditablePageCases()
{
    return {
        {"Server", 1, "EditServerButton", "SaveServerButton",
         [](admin::TMainForm& form) { Find<QLineEdit>(form, "TempDirectoryEdit")->setText("/var/changed"); },
         [](admin::TMainForm& form) { return Find<QLineEdit>(form, "TempDirectoryEdit")->text(); },
         [](TKORVELSession& session)
         {
             ServerConfig config;
             session.GetServerConfig(config);
             return QString::fromStdString(config.TempDirectory);
         }},
        {"Users", 2, "EditUserButton", "SaveUserButton",
         [](admin::TMainForm& form)
         { Find<QPlainTextEdit>(form, "UserDescriptionMemo")->setPlainText("changed"); },
         [](admin::TMainForm& form)
         { return Find<QPlainTextEdit>(form, "UserDescriptionMemo")->toPlainText(); },
         [](TKORVELSession& session)
         {
             std::string password, description;
             bool administrator = false;
             session.GetServerUser("alice", password, description, administrator);
             return QString::fromStdString(description);
         }},
        {"Databases", 3, "EditDatabaseButton", "SaveDatabaseButton",
         [](admin::TMainForm& form)
         { Find<QPlainTextEdit>(form, "DatabaseDescriptionMemo")->setPlainText("changed"); },
         [](admin::TMainForm& form)
         { return Find<QPlainTextEdit>(form, "DatabaseDescriptionMemo")->toPlainText(); },
         [](TKORVELSession& session)
         {
             std::string description, directory;
             session.GetServerDatabase("Sales", description, directory);
             return QString::fromStdString(description);
         }},
        {"Database Users", 4, "EditDatabaseUserButton", "SaveDatabaseUserButton",
         [](admin::TMainForm& form) { Find<QCheckBox>(form, "InsertCheckBox")->setChecked(true); },
         [](admin::TMainForm& form) { return Checked(Find<QCheckBox>(form, "InsertCheckBox")->isChecked()); },
         [](TKORVELSession& session)
         {
             TUserRights rights;
             session.GetServerDatabaseUser("Sales", "alice", rights);
             return Checked(rights.Contains(urInsert));
         }},
    };
}

class PendingEditsTabTest : public WindowTest
{
protected:
    // The user alice, the database Sales and alice's Read right on it, then the window logged in with alice
    // selected on the Users page.
    void SetUpServerAndWindow()
    {
        StartServer();
        LogInAsAdministrator(checker, *server, "Checker");
        checker.AddServerUser("alice", "alice-pw", "original", false);
        checker.AddServerDatabase("Sales", "original", "/srv/sales");
        checker.AddServerDatabaseUser("Sales", "alice", TUserRights{urRead});
        OpenWindow(admin::CreatePages);
        LoginAsAdmin();
        ASSERT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join("\n").toStdString();
        auto* users = Find<QAbstractItemView>(*form, "UsersListBox");
        ASSERT_EQ(RowTexts(*users), (QStringList{"admin", "alice"}));
        // Picked as a person does, on its page; then back to the page the login showed.
        const int shownTab = PageControl()->currentIndex();
        PageControl()->setCurrentIndex(2);
        ClickRow(*users, 1);
        Settle();
        ASSERT_EQ(CurrentRowText(*users), "alice");
        PageControl()->setCurrentIndex(shownTab);
    }

    // Opens the page's tab and puts it in edit mode with a change.
    void StartEdit(const EditablePageCase& page)
    {
        PageControl()->setCurrentIndex(page.Tab);
        ASSERT_EQ(PageControl()->currentIndex(), page.Tab);
        Find<QPushButton>(*form, page.EditButton)->click();
        Settle();
        ASSERT_FALSE(Find<QPushButton>(*form, page.SaveButton)->isHidden()) << "edit mode";
        page.Change(*form);
    }

    // Asks for the Status tab and answers the pending-edits question with `answer`.
    void ChangeTabAnswering(admin::Answer answer)
    {
        const std::size_t asked = dialogs.Boxes.size();
        dialogs.Answers.push_back(answer);
        PageControl()->setCurrentIndex(0);
        Settle();
        ASSERT_EQ(dialogs.Boxes.size(), asked + 1) << "one question";
        EXPECT_EQ(dialogs.Boxes.back().BoxKind, ScriptedDialogs::Kind::WarningYesNoCancel);
        EXPECT_TRUE(dialogs.Boxes.back().Text.startsWith("You are currently editing the "))
            << dialogs.Boxes.back().Text.toStdString();
        EXPECT_TRUE(dialogs.Answers.empty());
    }

    bool Editing(const EditablePageCase& page)
    {
        return !Find<QPushButton>(*form, page.SaveButton)->isHidden();
    }

    TKORVELSession checker;
};

TEST_F(PendingEditsTabTest, EachEditablePageAnswersCancelNoAndYesWhenTheTabChanges)
{
    SetUpServerAndWindow();
    for (const EditablePageCase& page : EditablePageCases())
    {
        SCOPED_TRACE(page.Caption);
        const QString original = page.Stored(checker);
        const QString changed = [&]
        {
            StartEdit(page);
            return page.Shown(*form);
        }();
        ASSERT_NE(original, changed);

        ChangeTabAnswering(admin::Answer::Cancel);
        EXPECT_EQ(PageControl()->currentIndex(), page.Tab) << "Cancel keeps the page";
        EXPECT_TRUE(Editing(page)) << "Cancel keeps the edit";
        EXPECT_EQ(page.Shown(*form), changed);
        EXPECT_EQ(page.Stored(checker), original);

        ChangeTabAnswering(admin::Answer::No);
        EXPECT_EQ(PageControl()->currentIndex(), 0) << "No changes the tab";
        EXPECT_FALSE(Editing(page));
        EXPECT_EQ(page.Shown(*form), original) << "No shows the server's values again";
        EXPECT_EQ(page.Stored(checker), original);

        StartEdit(page);
        ChangeTabAnswering(admin::Answer::Yes);
        EXPECT_EQ(PageControl()->currentIndex(), 0) << "Yes changes the tab";
        EXPECT_FALSE(Editing(page));
        EXPECT_EQ(page.Stored(checker), changed) << "Yes saves the change on the server";
        EXPECT_EQ(page.Shown(*form), changed);

        PageControl()->setCurrentIndex(page.Tab);
        EXPECT_EQ(PageControl()->currentIndex(), page.Tab) << "nothing pending after the save";
    }
    EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join("\n").toStdString();
}

TEST_F(PendingEditsTabTest, EditAndSaveLayOutNothingBeyondThePageSoTheWindowIsNotRepainted)
{
    SetUpServerAndWindow();
    for (const EditablePageCase& page : EditablePageCases())
    {
        SCOPED_TRACE(page.Caption);
        // The first round shows edit mode's controls for the first time; from the second on nothing may move.
        for (const bool first : {true, false})
        {
            PaintRecorder::Flush();
            PaintRecorder tabs(PageControl());
            PaintRecorder shown(PageControl()->widget(page.Tab));
            StartEdit(page);
            Find<QPushButton>(*form, page.SaveButton)->click();
            Settle();
            PaintRecorder::Flush();
            if (first)
                continue;
            // A layout request reaching the tab widget lays out and repaints the whole page, even its corner,
            // where no control lies.
            EXPECT_EQ(tabs.LayoutRequests(), 0);
            EXPECT_FALSE(shown.Painted().contains(QPoint(0, 0))) << "the whole page was repainted";
        }
    }
    EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join("\n").toStdString();
}

} // namespace
} // namespace korvel::test
