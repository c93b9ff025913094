#include "admin/pages/lists/ListPages.h"

#include "admin/common/Help.h"
#include "admin/pages/FixedRowDelegate.h"
#include "admin/pages/PageFields.h"

#include <QCollator>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>

namespace korvel::admin
{
namespace
{

NameListView* MakeNameList(QWidget* parent, const char* name, int helpContext)
{
    auto* list = new NameListView(parent);
    list->setObjectName(QLatin1String(name));
    list->setUniformItemSizes(true);
    // Its frame covers all of it, so filling its background first changes no pixel; but being opaque, its
    // disabling and enabling for an edit repaints the list alone, not also the whole group box beneath it.
    list->setAutoFillBackground(true);
    // Its scroll bar too, whose paint covers all of it: else it is painted twice, with the list and again as
    // part of the box beneath.
    list->verticalScrollBar()->setAutoFillBackground(true);
    list->setItemDelegate(new FixedRowDelegate(list));
    SetHelpContext(list, helpContext);
    return list;
}

} // namespace

namespace
{

const char* const BusyProperty = "korvelBusy";

bool IsBusy(const QWidget* frame)
{
    return frame->property(BusyProperty).toBool();
}

} // namespace

void NameListFrame::SetEditing(bool editing, bool canAdd) const
{
    List->setEnabled(!editing);
    AddButton->setProperty("korvelCanAdd", !editing && canAdd);
    UpdateRowButtons();
}

void NameListFrame::StartEditing(QWidget* field) const
{
    // The field first: a list or button disabled while it holds the focus passes it to the next control in
    // the chain, and that one on again if it is disabled too, each repainted and announced to a screen
    // reader on the way.
    field->setFocus();
    SetEditing(true);
}

void NameListFrame::UpdateRowButtons() const
{
    const bool idle = !IsBusy(Frame);
    const bool hasRow = List->isEnabled() && List->currentRow() >= 0;
    AddButton->setEnabled(idle && AddButton->property("korvelCanAdd").toBool());
    EditButton->setEnabled(idle && hasRow);
    DeleteButton->setEnabled(idle && hasRow);
}

void NameListFrame::SetBusy(bool busy) const
{
    Frame->setProperty(BusyProperty, busy);
    UpdateRowButtons();
}

NameListFrame MakeNameListFrame(QWidget* page, const QString& caption,
                                const std::array<const char*, 4>& names, int helpContext)
{
    NameListFrame list;
    list.Frame = new QGroupBox(caption, page);
    list.List = MakeNameList(list.Frame, names[0], helpContext);
    list.List->setAccessibleName(caption); // Qt names a list by nothing else
    list.AddButton =
        MakeButton(list.Frame, names[1], QCoreApplication::translate("ListPages", "&Add"), helpContext + 1);
    list.EditButton =
        MakeButton(list.Frame, names[2], QCoreApplication::translate("ListPages", "&Edit"), helpContext + 2);
    list.DeleteButton = MakeButton(list.Frame, names[3], QCoreApplication::translate("ListPages", "&Delete"),
                                   helpContext + 3);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(list.AddButton);
    buttons->addWidget(list.EditButton);
    buttons->addWidget(list.DeleteButton);
    list.Layout = new QVBoxLayout(list.Frame);
    list.Layout->addWidget(list.List, 1);
    list.Layout->addLayout(buttons);
    return list;
}

void DetailFrame::AddFields(QLayout* fields, int stretch) const
{
    Layout->insertLayout(Layout->count() - 1, fields, stretch);
    // Save and Cancel were made before the fields they follow: Tab reaches them after the last field.
    QWidget* lastField = nullptr;
    for (QWidget* next = Frame->nextInFocusChain(); next != Frame; next = next->nextInFocusChain())
        if (Frame->isAncestorOf(next) && next != SaveButton && next != CancelButton)
            lastField = next;
    if (lastField == nullptr)
        return;
    // setTabOrder passes over a widget that takes no focus, as a read-only field in view mode does for now.
    const Qt::FocusPolicy policy = lastField->focusPolicy();
    lastField->setFocusPolicy(Qt::TabFocus);
    QWidget::setTabOrder(lastField, SaveButton);
    lastField->setFocusPolicy(policy);
    QWidget::setTabOrder(SaveButton, CancelButton);
}

void DetailFrame::SetEditing(bool editing) const
{
    SaveButton->setVisible(editing);
    CancelButton->setVisible(editing);
}

void DetailFrame::SetBusy(bool busy) const
{
    SaveButton->setEnabled(!busy);
    CancelButton->setEnabled(!busy);
}

DetailFrame MakeDetailFrame(QWidget* page, const QString& caption, const std::array<const char*, 2>& names,
                            int helpContext)
{
    DetailFrame detail;
    detail.Frame = new QGroupBox(caption, page);
    // Save and Cancel keep their room while hidden: showing them moves nothing else.
    auto* bar = new QWidget(detail.Frame);
    detail.SaveButton =
        MakeButton(bar, names[0], QCoreApplication::translate("ListPages", "&Save"), helpContext);
    detail.CancelButton =
        MakeButton(bar, names[1], QCoreApplication::translate("ListPages", "Cancel"), helpContext + 1);
    LayOutButtonBar(bar, {{detail.SaveButton}, {detail.CancelButton}});
    detail.Layout = new QVBoxLayout(detail.Frame);
    detail.Layout->addWidget(bar, 0, Qt::AlignRight);
    return detail;
}

void PlaceListAndDetail(QWidget* page, const NameListFrame& list, const DetailFrame& detail)
{
    auto* layout = new QHBoxLayout(page);
    layout->addWidget(list.Frame, 2);
    layout->addWidget(detail.Frame, 3);
}

QString RowName(const QAbstractItemModel* model, int row)
{
    return model->index(row, 0).data(Qt::UserRole).toString();
}

QString SelectedName(const NameListView* list)
{
    return RowName(list->model(), list->currentRow());
}

QString ChosenName(const QComboBox* comboBox)
{
    return RowName(comboBox->model(), comboBox->currentIndex());
}

QString ComboName(const QComboBox* comboBox)
{
    const int index = comboBox->currentIndex();
    return index >= 0 && comboBox->currentText() == comboBox->itemText(index)
               ? RowName(comboBox->model(), index)
               : comboBox->currentText();
}

void ShareRows(QComboBox* comboBox, const NameListView* list, int selected)
{
    const QSignalBlocker block(comboBox);
    if (comboBox->model() != list->model())
        comboBox->setModel(list->model());
    comboBox->setCurrentIndex(selected);
}

} // namespace korvel::admin
