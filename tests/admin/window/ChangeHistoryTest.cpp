// File > Change History against a journal written as the programs write it: every entry in the table, the
// filters narrowing it as the person types or picks, and Copy putting the CLI's text on the clipboard.
#include "tests/admin/window/WindowFixture.h"

#include "admin/history/ChangeHistoryDialog.h"
#include "journal/History.h"

#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QTest>

namespace korvel::test
{
namespace
{

journal::Entry Change(std::string time, std::string server, std::string user, std::string operation,
                      std::string object, std::string change)
{
    journal::Entry entry;
    entry.Time = std::move(time);
    entry.From = {std::move(server), "", std::move(user), "korvel-admin"};
    entry.Operation = std::move(operation);
    entry.Object = std::move(object);
    entry.Change = std::move(change);
    return entry;
}

class ChangeHistoryTest : public WindowTest
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(stateDir.isValid());
        const QByteArray previous = qgetenv("XDG_STATE_HOME");
        restoreState = [previous] { qputenv("XDG_STATE_HOME", previous); };
        qputenv("XDG_STATE_HOME", stateDir.path().toUtf8());
        journal::Journal journal; // where the window looks
        entries = {Change("2024-05-01T09:00:00.000+00:00", "alpha:12006", "admin", "add user", "bob",
                          "administrator false; description \"\"; password set"),
                   Change("2024-05-02T10:00:00.000+00:00", "beta:12006", "root", "add database", "Sales",
                          "directory \"/d\"; description \"\""),
                   Change("2024-05-03T11:00:00.000+00:00", "alpha:12006", "admin", "modify config", "",
                          "max_connections 100 -> 50")};
        entries[2].Ok = false;
        entries[2].ErrorCode = 10021;
        entries[2].ErrorMessage = "Access denied";
        for (const journal::Entry& entry : entries)
            journal.Append(entry);
    }
    void TearDown() override
    {
        WindowTest::TearDown();
        restoreState();
    }

    // Opens File > Change History, runs `look` once the journal was read, and closes the dialog.
    void InHistory(const std::function<void(admin::ChangeHistoryDialog&)>& look)
    {
        bool looked = false;
        WhenModal(
            [&](QWidget& widget)
            {
                auto& dialog = static_cast<admin::ChangeHistoryDialog&>(widget);
                if (WaitFor([&] { return !dialog.Reading(); }, 20000))
                    look(dialog);
                else
                    ADD_FAILURE() << "the journal was not read";
                looked = true;
                dialog.reject();
            });
        Pick("ChangeHistoryItem");
        EXPECT_TRUE(looked);
    }
    static QTableView* Table(const QDialog& dialog)
    {
        return dialog.findChild<QTableView*>("ChangeHistoryTable");
    }
    static QStringList Objects(const QDialog& dialog)
    {
        QStringList objects;
        const QAbstractItemModel* model = Table(dialog)->model();
        for (int row = 0; row < model->rowCount(); ++row)
            objects << model->index(row, 6).data().toString();
        return objects;
    }
    static QString Copied(const QDialog& dialog)
    {
        auto* copy = dialog.findChild<QPushButton*>("CopyHistoryButton");
        QTest::mouseClick(copy, Qt::LeftButton, {}, copy->rect().center());
        return QApplication::clipboard()->text();
    }

    QTemporaryDir stateDir;
    std::function<void()> restoreState;
    std::vector<journal::Entry> entries;
};

TEST_F(ChangeHistoryTest, TheItemFollowsProfilesAndTheTableShowsEveryEntry)
{
    OpenWindow();
    const QList<QAction*> items = form->findChild<QMenu*>("FileMenu")->actions();
    const auto profiles = std::find_if(items.begin(), items.end(),
                                       [](QAction* item) { return item->objectName() == "ProfilesItem"; });
    ASSERT_NE(profiles, items.end());
    ASSERT_NE(profiles + 1, items.end());
    EXPECT_EQ((*(profiles + 1))->objectName(), "ChangeHistoryItem");

    InHistory(
        [&](admin::ChangeHistoryDialog& dialog)
        {
            const QAbstractItemModel* model = Table(dialog)->model();
            ASSERT_EQ(model->rowCount(), 3);
            QStringList first;
            for (int column = 0; column < model->columnCount(); ++column)
                first << model->index(0, column).data().toString();
            EXPECT_EQ(first, (QStringList{"2024-05-01 09:00:00", "alpha:12006", "", "admin", "korvel-admin",
                                          "add user", "bob",
                                          "administrator false; description \"\"; password set", "ok"}));
            EXPECT_EQ(model->index(2, 8).data().toString(), "error 10021: Access denied");
            EXPECT_EQ(Copied(dialog).toStdString(), journal::HistoryText(entries)) << "nothing selected: all";
        });
}

TEST_F(ChangeHistoryTest, FiltersNarrowAsThePersonTypesAndCopyTakesWhatIsShownOrSelected)
{
    OpenWindow();
    InHistory(
        [&](admin::ChangeHistoryDialog& dialog)
        {
            auto* object = dialog.findChild<QLineEdit*>("ObjectFilterEdit");
            QTest::keyClicks(object, "Sal");
            EXPECT_EQ(Objects(dialog), QStringList{"Sales"});
            EXPECT_EQ(Copied(dialog).toStdString(), journal::HistoryText({entries[1]}));
            object->clear();

            auto* server = dialog.findChild<QComboBox*>("ServerFilterBox");
            server->setCurrentIndex(server->findText("alpha:12006"));
            EXPECT_EQ(Objects(dialog), (QStringList{"bob", ""}));
            auto* since = dialog.findChild<QLineEdit*>("SinceEdit");
            QTest::keyClicks(since, "2024-05-02");
            EXPECT_EQ(Objects(dialog), QStringList{""});
            since->clear();

            auto* user = dialog.findChild<QComboBox*>("UserFilterBox");
            server->setCurrentIndex(0);
            user->setCurrentIndex(user->findText("root"));
            EXPECT_EQ(Objects(dialog), QStringList{"Sales"});
            user->setCurrentIndex(0);

            // A click on the last row selects it: Copy takes it alone.
            QTableView* table = Table(dialog);
            QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                              table->visualRect(table->model()->index(2, 1)).center());
            EXPECT_EQ(Copied(dialog).toStdString(), journal::EntryText(entries[2]) + "\n");
        });
}

} // namespace
} // namespace korvel::test
