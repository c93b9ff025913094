// The Rights page from the keyboard and with names as long as the server takes: Tab leaves the grid, every
// control has a key of its own, and a 255-character name is elided in its header rather than pushing the
// grid's other columns out of view.
#include "tests/admin/pages/rights/RightsFixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>

namespace korvel::test
{
namespace
{

// The letters after "&" in the captions of the page's shown buttons and labels.
QStringList Mnemonics(const QWidget* page)
{
    QStringList keys;
    auto add = [&keys](const QString& caption)
    {
        const qsizetype amp = caption.indexOf(QLatin1Char('&'));
        if (amp >= 0 && amp + 1 < caption.size())
            keys << caption.mid(amp + 1, 1).toLower();
    };
    for (const QAbstractButton* button : page->findChildren<QAbstractButton*>())
        if (button->isVisibleTo(page))
            add(button->text());
    for (const QLabel* label : page->findChildren<QLabel*>())
        if (label->isVisibleTo(page))
            add(label->text());
    return keys;
}

TEST_F(RightsPageTest, TabLeavesTheGridAndEveryControlHasAKeyOfItsOwn)
{
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    ClickCell(0, 0);
    ASSERT_EQ(QApplication::focusWidget(), Grid());
    QTest::keyClick(Grid(), Qt::Key_Right);
    const QModelIndex current = Grid()->currentIndex();
    QTest::keyClick(Grid(), Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), Grid()) << "Tab moves on to the next control";
    EXPECT_EQ(Grid()->currentIndex(), current);

    const QStringList keys = Mnemonics(Page());
    EXPECT_EQ(keys.size(), QSet<QString>(keys.begin(), keys.end()).size()) << keys.join(' ').toStdString();
    EXPECT_FALSE(keys.contains("f")) << "Alt+F opens the File menu";
    EXPECT_FALSE(keys.contains("h")) << "Alt+H opens the Help menu";
    for (const char* box :
         {"RightsReadCheckBox", "RightsInsertCheckBox", "RightsUpdateCheckBox", "RightsDeleteCheckBox",
          "RightsCreateCheckBox", "RightsAlterCheckBox", "RightsDropCheckBox"})
    {
        auto* check = Find<QCheckBox>(box);
        const QString key = check->text().mid(check->text().indexOf('&') + 1, 1);
        ASSERT_EQ(key.size(), 1) << box << " has no key";
        QTest::keyClick(QApplication::focusWidget(), key.at(0).toLatin1(), Qt::AltModifier);
        EXPECT_TRUE(WaitFor([check] { return check->isChecked(); })) << box; // a key clicks as the mouse does
    }
}

TEST_F(RightsPageTest, LongestNamesAreElidedInTheHeadersAndShownWholeInTheirTooltips)
{
    const std::string longUser(255, 'u');
    const std::string longDatabase = "d" + std::string(254, 'b');
    session->AddServerUser(longUser, "pw", "", false);
    session->AddServerDatabase(longDatabase, "", "/data/long");
    session->AddServerDatabase("warehouse-north", "", "/data/north");
    ClickButton("RefreshRightsButton");
    WaitUntilIdle();
    QHeaderView* columns = Grid()->horizontalHeader();

    // Every column is in view, each as wide as its name in bold (as a selected cell's headers show it) up to
    // a limit; the long name's column and row stay within it.
    for (bool transposed : {false, true})
    {
        Tick("TransposeRightsCheckBox", transposed);
        const int last = Grid()->model()->columnCount() - 1;
        EXPECT_LE(Grid()->visualRect(Grid()->model()->index(0, last)).right(), Grid()->viewport()->width())
            << "transposed " << transposed;
        EXPECT_LT(Grid()->verticalHeader()->width(), Grid()->width() / 3) << "transposed " << transposed;
        for (int column = 0; column <= last; ++column)
            EXPECT_GE(columns->sectionSize(column),
                      std::min(columns->sectionSizeHint(column), columns->maximumSectionSize()))
                << Columns()[column].toStdString();
    }
    Tick("TransposeRightsCheckBox", false);
    const int longRow = static_cast<int>(RowNames().indexOf(QString::fromStdString(longUser)));
    ASSERT_GE(longRow, 0);
    EXPECT_EQ(Grid()->model()->headerData(longRow, Qt::Vertical, Qt::ToolTipRole).toString().toStdString(),
              longUser);
    const int longColumn = static_cast<int>(Columns().indexOf(QString::fromStdString(longDatabase)));
    EXPECT_EQ(
        Grid()->model()->headerData(longColumn, Qt::Horizontal, Qt::ToolTipRole).toString().toStdString(),
        longDatabase);
}

} // namespace
} // namespace korvel::test
