// The rows of the Status page's session list as a person reads them: the icon of each kind of session (LAN,
// Internet, disconnected) and the dates the sessions were created and last connected.
#include "testing/LoadClients.h"
#include "tests/admin/pages/PageFixture.h"

#include <QAbstractItemView>
#include <QDate>
#include <QIcon>
#include <QLocale>

namespace korvel::test
{
namespace
{

class SessionRowsTest : public PagesTest
{
protected:
    // Each row's texts and icon, through the view's model whatever the view is built from.
    struct Row
    {
        QStringList Texts;
        QImage Icon;
    };
    std::vector<Row> Rows() const
    {
        std::vector<Row> rows;
        const QAbstractItemModel* model = Find<QAbstractItemView>("SessionsListView")->model();
        for (int row = 0; row < model->rowCount(); ++row)
        {
            Row each;
            for (int column = 0; column < model->columnCount(); ++column)
                each.Texts << model->index(row, column).data().toString();
            each.Icon = Picture(model->index(row, 0).data(Qt::DecorationRole).value<QIcon>());
            rows.push_back(each);
        }
        return rows;
    }
    static QImage Picture(const QIcon& icon) { return icon.pixmap(16, 16).toImage(); }
    const Row* RowOf(const std::vector<Row>& rows, const QString& user) const
    {
        for (const Row& row : rows)
            if (row.Texts.value(0) == user)
                return &row;
        ADD_FAILURE() << "no row for " << user.toStdString();
        return nullptr;
    }
    void Refresh() { RefreshAtLogin(); }
};

TEST_F(SessionRowsTest, EachKindOfSessionHasItsOwnIcon)
{
    session->AddServerUser("lan", "lan-pw", "", false);
    session->AddServerUser("net", "net-pw", "", false);
    LoadClients lan(*server, 1, {false, "lan", "lan-pw"});
    LoadClients internet(*server, 1, {true, "net", "net-pw"});
    Refresh();
    const std::vector<Row> rows = Rows();
    const Row* lanRow = RowOf(rows, "lan");
    const Row* internetRow = RowOf(rows, "net");
    ASSERT_TRUE(lanRow && internetRow);
    EXPECT_EQ(lanRow->Icon, Picture(QIcon(":/sessions/lan.png")));
    EXPECT_EQ(internetRow->Icon, Picture(QIcon(":/sessions/internet.png")));
    EXPECT_NE(lanRow->Icon, internetRow->Icon);
    EXPECT_FALSE(lanRow->Icon.isNull());
}

TEST_F(SessionRowsTest, RowsShowTodaysDateAndTimeOfCreationAndLastConnection)
{
    session->AddServerUser("lan", "lan-pw", "", false);
    LoadClients lan(*server, 1, {false, "lan", "lan-pw"});
    const QDate openedOn = QDate::currentDate();
    Refresh();
    const std::vector<Row> rows = Rows();
    const Row* row = RowOf(rows, "lan");
    ASSERT_NE(row, nullptr);
    ASSERT_GE(row->Texts.size(), 4);
    const QLocale locale;
    const QString today = locale.toString(openedOn, QLocale::ShortFormat);
    for (int column : {2, 3})
    {
        const QString text = row->Texts[column];
        EXPECT_TRUE(text.startsWith(today + " "))
            << text.toStdString() << " (today is " << today.toStdString() << ")";
        // The time of day, seconds included, follows the date.
        EXPECT_EQ(text.mid(today.size()).count(QLatin1Char(':')), 2) << text.toStdString();
    }
}

} // namespace
} // namespace korvel::test
