// The window in German: with the German translation installed, the menu, the page tabs and the dialogs'
// buttons read in German, as the system locale would choose them at start.
#include "admin/pages/servers/ServersModel.h"
#include "admin/window/Translations.h"
#include "tests/admin/window/WindowFixture.h"

#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QStringList>
#include <QTableView>

namespace korvel::test
{
namespace
{

class GermanWindowTest : public WindowTest
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(admin::InstallTranslations(QLocale(QLocale::German, QLocale::Germany)));
    }
    void TearDown() override
    {
        WindowTest::TearDown();
        admin::InstallTranslations(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    QStringList TabTexts() const
    {
        QStringList texts;
        const auto* tabs = form->findChild<QTabWidget*>("MainPageControl");
        for (int index = 0; tabs && index < tabs->count(); ++index)
            texts << tabs->tabText(index);
        return texts;
    }
};

TEST_F(GermanWindowTest, MenuTabsAndDialogButtonsReadInGerman)
{
    OpenWindow(admin::CreatePages);
    // One row per place a caption is made: the menu bar, a menu item, the logged-out look and its Servers
    // view (a button, a column's header from its model), the Options dialog.
    const struct
    {
        const char* Where;
        QString Shown;
        QString German;
    } rows[] = {
        {"File menu", form->findChild<QMenu*>("FileMenu")->title(), "&Datei"},
        {"Help menu", form->findChild<QMenu*>("HelpMenu")->title(), "&Hilfe"},
        {"login item", form->findChild<QAction*>("LoginItem")->text(), "Am Server &anmelden"},
        {"exit item", form->findChild<QAction*>("FileExitItem")->text(), "B&eenden"},
        {"logged-out label", form->findChild<QLabel*>("LoggedOutLabel")->text().section('\n', 0, 0),
         "Nicht mit einem Server verbunden."},
        {"Servers button", form->findChild<QPushButton*>("ServersCheckButton")->text(), "&Jetzt prüfen"},
        {"Servers column",
         form->findChild<QTableView*>("ServersTableView")
             ->model()
             ->headerData(admin::ServersModel::Number(admin::ServersModel::Column::State), Qt::Horizontal)
             .toString(),
         "Zustand"},
        {"Options title", options->windowTitle(), "Optionen"},
        {"Options Cancel", options->findChild<QPushButton*>("CancelButton")->text(), "&Abbrechen"},
        {"Trace Log Close", traceLog->findChild<QPushButton*>("CloseBtn")->text(), "&Schließen"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.Shown, row.German) << row.Where;

    const QStringList tabs = TabTexts();
    for (const char* german :
         {"Status", "Server", "Benutzer", "Datenbanken", "Datenbankbenutzer", "Rechte", "Protokoll"})
        EXPECT_TRUE(tabs.contains(QString::fromUtf8(german)))
            << german << " in " << tabs.join(", ").toStdString();
    for (const char* english : {"Users", "Databases", "Database Users", "Rights", "Log"})
        EXPECT_FALSE(tabs.contains(english)) << english << " left in English";
}

} // namespace
} // namespace korvel::test
