// The sessions list's own entries in its pop-up menu, so that sorting and the optional columns are reached
// from the keyboard too (Shift+F10 or the Menu key on the list): "Sort by" each shown column, in server order
// or descending, and "Columns" to show or hide the optional ones or fit the widths to what the columns hold.
// The header's pop-up menu offers the columns.
#pragma once

#include <QObject>

class QMenu;
class QTreeView;

namespace korvel::admin
{

class SessionViewMenu : public QObject
{
public:
    // Adds "Sort by" and "Columns" to the view's actions, which its pop-up menu shows above "What's This ?".
    // Columns from `firstOptional` on may be hidden.
    SessionViewMenu(QTreeView* view, int firstOptional);

    // The optional columns, ticked when shown, each switching its column.
    void FillColumns(QMenu* menu) const;

private:
    void FillSort(QMenu* menu) const;
    QString Caption(int column) const;

    QTreeView* view_;
    int firstOptional_;
};

} // namespace korvel::admin
