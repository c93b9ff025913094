// The name lists' rows, painted by FixedRowDelegate, look exactly as the style paints them.
#include "admin/pages/FixedRowDelegate.h"
#include "admin/pages/PageFields.h"
#include "styling/FlatStyle.h"
#include "testing/HostileNames.h"

#include <QApplication>
#include <QListWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

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
    // Fusion's, and the window's flat look over it.
    styling::FlatStyle flat;
    for (QStyle* style : {QApplication::style(), static_cast<QStyle*>(&flat)})
    {
        for (const RowsCase& rows : cases)
        {
            SCOPED_TRACE(rows.Why);
            SCOPED_TRACE(style == &flat ? "flat look" : "application style");
            QWidget window;
            window.setLayoutDirection(rows.Direction);
            window.setStyle(style);
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
            // Laying the rows out, then from the kept layouts (making the rows' images), then from the
            // images.
            for (int paint = 0; paint < 3; ++paint)
                EXPECT_EQ(Grab(*list, &fast), expected) << "paint " << paint;
        }
    }
}

// Rows painted again after their list changed, each change painted three times as above by the same delegate:
// a row's kept image must not outlive what it shows.
TEST(RowDelegateTest, KeptRowsFollowTheList)
{
    using Change = std::function<void(QListWidget&)>;
    const auto colour = [](QPalette::ColorRole role, QColor value) -> Change
    {
        return [=](QListWidget& list)
        {
            QPalette palette = list.palette();
            palette.setColor(role, value);
            list.setPalette(palette);
        };
    };
    const struct
    {
        const char* Why;
        Change Make;
        qreal PixelRatio = 1;
    } changes[] = {
        {"as shown first", [](QListWidget&) {}},
        {"disabled", [](QListWidget& list) { list.setEnabled(false); }},
        {"enabled again", [](QListWidget& list) { list.setEnabled(true); }},
        {"another background", colour(QPalette::Base, QColor(250, 240, 200))},
        {"another text colour", colour(QPalette::Text, QColor(20, 40, 160))},
        {"at twice the pixel ratio", [](QListWidget&) {}, 2},
        {"a translucent background", colour(QPalette::Base, Qt::transparent)},
    };
    QWidget window;
    auto* list = new QListWidget(&window);
    list->setUniformItemSizes(true);
    list->addItems({"alice", "bob", "carol", "Zoë", "dave", "erin"});
    list->resize(160, FixedRowDelegate::RowHeight * 6 + 8);
    window.show();
    FixedRowDelegate fast(list);
    StylePaintedRows styled(list);
    for (const auto& change : changes)
    {
        SCOPED_TRACE(change.Why);
        change.Make(*list);
        const auto render = [&](QAbstractItemDelegate* delegate)
        {
            list->setItemDelegate(delegate);
            list->doItemsLayout();
            QImage image(list->size() * change.PixelRatio, QImage::Format_ARGB32_Premultiplied);
            image.setDevicePixelRatio(change.PixelRatio);
            image.fill(Qt::magenta);
            list->render(&image);
            return image;
        };
        const QImage expected = render(&styled);
        for (int paint = 0; paint < 3; ++paint)
            EXPECT_EQ(render(&fast), expected) << "paint " << paint;
    }
}

} // namespace
} // namespace korvel::test
