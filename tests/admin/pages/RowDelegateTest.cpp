// The name lists' rows, painted by FixedRowDelegate, look exactly as the style paints them.
#include "admin/pages/FixedRowDelegate.h"
#include "admin/pages/PageFields.h"
#include "testing/HostileNames.h"

#include <QListWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace korvel::test
{
namespace
{

using admin::FixedRowDelegate;

// The same rows, each painted by the style alone.
class StylePaintedRows : public FixedRowDelegate
{
public:
    using FixedRowDelegate::FixedRowDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
    }
};

QStringList HostileTexts()
{
    QStringList texts;
    // As the lists show them, and as they come (the delegate must not care).
    for (const std::string& name : HostileNames())
        texts << admin::ShownText(admin::FromStd(name)) << admin::FromStd(name);
    return texts;
}

struct RowsCase
{
    const char* Why;
    QStringList Names;
    int Width = 240;
    int Current = -1;
    bool Focus = false;
    bool Enabled = true;
    Qt::LayoutDirection Direction = Qt::LeftToRight;
};

QImage Grab(QListWidget& list, QAbstractItemDelegate* delegate)
{
    list.setItemDelegate(delegate);
    list.doItemsLayout();
    return list.grab().toImage();
}

TEST(RowDelegateTest, RowsLookAsTheStylePaintsThem)
{
    const QStringList plain{"alice", "bob", "carol", "Zoë"};
    const QString longName(200, u'n');
    const RowsCase cases[] = {
        {"plain rows", plain},
        {"a selected row", plain, 240, 1},
        {"the current row with the focus", plain, 240, 2, true},
        {"a disabled list", plain, 240, 1, false, false},
        {"a name longer than the row, elided", {"alice", longName, "bob"}},
        {"hostile names", HostileTexts()},
        {"hostile names, narrow, right to left", HostileTexts(), 90, 3, true, true, Qt::RightToLeft},
    };
    for (const RowsCase& rows : cases)
    {
        SCOPED_TRACE(rows.Why);
        QWidget window;
        window.setLayoutDirection(rows.Direction);
        auto* list = new QListWidget(&window);
        list->setUniformItemSizes(true);
        list->addItems(rows.Names);
        list->resize(rows.Width, FixedRowDelegate::RowHeight * int(rows.Names.size()) + 8);
        list->setCurrentRow(rows.Current);
        list->setEnabled(rows.Enabled);
        window.show();
        if (rows.Focus)
        {
            window.activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
            list->setFocus();
            ASSERT_TRUE(list->hasFocus());
        }
        FixedRowDelegate fast(list);
        StylePaintedRows styled(list);
        const QImage expected = Grab(*list, &styled);
        // Once laying the rows out, once from the layouts kept.
        EXPECT_EQ(Grab(*list, &fast), expected);
        EXPECT_EQ(Grab(*list, &fast), expected);
    }
}

} // namespace
} // namespace korvel::test
