// The rows of a list as a person meets them: the texts it shows, and a mouse click on one of them.
#pragma once

#include <QAbstractItemView>
#include <QStringList>
#include <QTest>

namespace korvel::test
{

// The texts the list's rows show, top to bottom.
inline QStringList RowTexts(const QAbstractItemView& list)
{
    QStringList texts;
    const QAbstractItemModel& rows = *list.model();
    for (int row = 0; row < rows.rowCount(); ++row)
        texts << rows.index(row, 0).data().toString();
    return texts;
}

// The text of the current row, empty when there is none.
inline QString CurrentRowText(const QAbstractItemView& list)
{
    return list.currentIndex().data().toString();
}

// A mouse click in the middle of the row, scrolled into view first, as a person scrolls to it.
inline void ClickRow(QAbstractItemView& list, int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    const QModelIndex index = list.model()->index(row, 0);
    list.scrollTo(index);
    QTest::mouseClick(list.viewport(), Qt::LeftButton, modifiers, list.visualRect(index).center());
}

} // namespace korvel::test
