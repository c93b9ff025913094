#include "admin/pages/status/SessionViewMenu.h"

#include <QActionGroup>
#include <QCoreApplication>
#include <QHeaderView>
#include <QMenu>
#include <QTreeView>

namespace korvel::admin
{

namespace
{

// Marks the first letter of `caption` that no entry of `menu` uses yet, so each entry has a key of its own.
QString WithMnemonic(const QMenu* menu, const QString& caption)
{
    QString taken;
    for (const QAction* action : menu->actions())
        if (const qsizetype amp = action->text().indexOf(QLatin1Char('&'));
            amp >= 0 && amp + 1 < action->text().size())
            taken += action->text().at(amp + 1).toLower();
    for (qsizetype at = 0; at < caption.size(); ++at)
        if (caption.at(at).isLetter() && !taken.contains(caption.at(at).toLower()))
            return caption.left(at) + QLatin1Char('&') + caption.mid(at);
    return caption;
}

QAction* AddChoice(QMenu* menu, const QString& caption, bool checked)
{
    QAction* action = menu->addAction(WithMnemonic(menu, caption));
    action->setCheckable(true);
    action->setChecked(checked);
    return action;
}

} // namespace

SessionViewMenu::SessionViewMenu(QTreeView* view, int firstOptional)
    : QObject(view), view_(view), firstOptional_(firstOptional)
{
    auto* sort = new QMenu(QCoreApplication::translate("SessionViewMenu", "&Sort by"), view);
    sort->setObjectName(QStringLiteral("SessionSortMenu"));
    connect(sort, &QMenu::aboutToShow, this, [this, sort] { FillSort(sort); });
    auto* columns = new QMenu(QCoreApplication::translate("SessionViewMenu", "&Columns"), view);
    columns->setObjectName(QStringLiteral("SessionColumnsMenu"));
    connect(columns, &QMenu::aboutToShow, this, [this, columns] { FillColumns(columns); });
    view->addAction(sort->menuAction());
    view->addAction(columns->menuAction());
}

QString SessionViewMenu::Caption(int column) const
{
    return view_->model()->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
}

void SessionViewMenu::FillSort(QMenu* menu) const
{
    menu->clear();
    const QHeaderView* header = view_->header();
    const int sorted = header->sortIndicatorSection();
    const bool inServerOrder = sorted < 0 || sorted >= header->count();
    auto* group = new QActionGroup(menu);
    group->addAction(
        AddChoice(menu, QCoreApplication::translate("SessionViewMenu", "Server order"), inServerOrder));
    connect(menu->actions().back(), &QAction::triggered, view_,
            [view = view_] { view->sortByColumn(-1, Qt::AscendingOrder); });
    for (int column = 0; column < header->count(); ++column)
    {
        if (view_->isColumnHidden(column))
            continue;
        QAction* choice = AddChoice(menu, Caption(column), column == sorted);
        group->addAction(choice);
        connect(choice, &QAction::triggered, view_,
                [view = view_, column] { view->sortByColumn(column, view->header()->sortIndicatorOrder()); });
    }
    menu->addSeparator();
    QAction* descending = AddChoice(menu, QCoreApplication::translate("SessionViewMenu", "Descending"),
                                    header->sortIndicatorOrder() == Qt::DescendingOrder);
    descending->setEnabled(!inServerOrder);
    connect(descending, &QAction::toggled, view_,
            [view = view_, sorted](bool down)
            { view->sortByColumn(sorted, down ? Qt::DescendingOrder : Qt::AscendingOrder); });
}

void SessionViewMenu::FillColumns(QMenu* menu) const
{
    menu->clear();
    for (int column = firstOptional_; column < view_->header()->count(); ++column)
    {
        QAction* choice = AddChoice(menu, Caption(column), !view_->isColumnHidden(column));
        connect(choice, &QAction::toggled, view_,
                [view = view_, column](bool shown) { view->setColumnHidden(column, !shown); });
    }
    // Widths from the keyboard: the header's edges are reached only by the mouse.
    menu->addSeparator();
    QAction* fit = menu->addAction(
        WithMnemonic(menu, QCoreApplication::translate("SessionViewMenu", "Fit widths to contents")));
    connect(fit, &QAction::triggered, view_,
            [view = view_]
            {
                for (int column = 0; column < view->header()->count(); ++column)
                    if (!view->isColumnHidden(column))
                        view->resizeColumnToContents(column);
            });
}

} // namespace korvel::admin
