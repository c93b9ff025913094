#include "admin/pages/ListPages.h"

#include "admin/common/Help.h"
#include "admin/pages/PageFields.h"

#include <QCollator>
#include <QComboBox>
#include <QListWidget>

#include <algorithm>

namespace korvel::admin
{

QListWidget* MakeNameList(QWidget* parent, const char* name, int helpContext)
{
    auto* list = new QListWidget(parent);
    list->setObjectName(QLatin1String(name));
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setUniformItemSizes(true);
    list->setItemDelegate(new FixedRowDelegate(list));
    SetHelpContext(list, helpContext);
    return list;
}

void FillNameList(QListWidget* list, const StringList& names)
{
    QStringList sorted;
    sorted.reserve(static_cast<qsizetype>(names.size()));
    for (const std::string& name : names)
        sorted << FromStd(name);
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(sorted.begin(), sorted.end(),
                     [&collator](const QString& a, const QString& b) { return collator.compare(a, b) < 0; });
    const QSignalBlocker block(list);
    list->clear();
    list->addItems(sorted);
    list->setCurrentRow(list->count() > 0 ? 0 : -1);
}

void ReselectListItem(QListWidget* list, int formerIndex, const QString& name)
{
    const QSignalBlocker block(list);
    const int count = list->count();
    for (int i = 0; i < count; ++i)
    {
        if (i >= formerIndex || QString::compare(list->item(i)->text(), name, Qt::CaseInsensitive) == 0)
        {
            list->setCurrentRow(i);
            return;
        }
    }
    list->setCurrentRow(count - 1);
}

void ClearNameList(QListWidget* list)
{
    const QSignalBlocker block(list);
    list->clear();
}

QString SelectedName(const QListWidget* list)
{
    const QListWidgetItem* item = list->currentItem();
    return item != nullptr && item->isSelected() ? item->text() : QString();
}

void CopyListToComboBox(const QListWidget* list, QComboBox* comboBox)
{
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
        items << list->item(i)->text();
    const QSignalBlocker block(comboBox);
    comboBox->clear();
    comboBox->addItems(items);
    comboBox->setCurrentIndex(list->currentRow());
}

} // namespace korvel::admin
