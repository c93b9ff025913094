// What the Users, Databases and Database Users pages share: the list-and-detail layout (a framed sorted name
// list with its Add/Edit/Delete row beside a framed detail with its Save/Cancel row) and offering the list's
// rows in a chooser elsewhere.
#pragma once

#include "admin/common/BackgroundRunner.h"
#include "admin/pages/PageFields.h"
#include "admin/pages/lists/NameList.h"
#include "engine/wire/Message.h"

#include <QPushButton>
#include <QString>

#include <array>

class QAbstractItemModel;
class QComboBox;
class QGroupBox;
class QLayout;
class QVBoxLayout;
class QWidget;

namespace korvel::admin
{

// The list side: a group box with the name list above its Add, Edit and Delete buttons.
struct NameListFrame
{
    QGroupBox* Frame = nullptr;
    QVBoxLayout* Layout = nullptr;
    NameListView* List = nullptr;
    QPushButton* AddButton = nullptr;
    QPushButton* EditButton = nullptr;
    QPushButton* DeleteButton = nullptr;

    // Editing: the list and its buttons are disabled. Viewing: Edit and Delete need a current row, Add needs
    // `canAdd`.
    void SetEditing(bool editing, bool canAdd = true) const;
    // Editing, with the keyboard focus in `field`.
    void StartEditing(QWidget* field) const;
    // Edit and Delete follow the current row (after a click, a key or a Ctrl+click that deselects).
    void UpdateRowButtons() const;
    // While a command waits on the server the buttons wait too; the list stays, so a row can still be picked.
    void SetBusy(bool busy) const;
};

// `names` are the objectNames of the list and of the Add, Edit and Delete buttons; their help contexts are
// `helpContext` and the three numbers after it.
NameListFrame MakeNameListFrame(QWidget* page, const QString& caption,
                                const std::array<const char*, 4>& names, int helpContext);

// The detail side: a group box whose fields stand above a Save/Cancel row at the bottom right, shown only
// while editing (their room is kept while they are hidden).
struct DetailFrame
{
    QGroupBox* Frame = nullptr;
    QVBoxLayout* Layout = nullptr;
    QPushButton* SaveButton = nullptr;
    QPushButton* CancelButton = nullptr;

    // Adds a block of fields above the Save/Cancel row.
    void AddFields(QLayout* fields, int stretch = 0) const;
    void SetEditing(bool editing) const;
    // While a command waits on the server, Save and Cancel wait too.
    void SetBusy(bool busy) const;
};

// `names` are the objectNames of the Save and Cancel buttons; their help contexts are `helpContext` and the
// number after it.
DetailFrame MakeDetailFrame(QWidget* page, const QString& caption, const std::array<const char*, 2>& names,
                            int helpContext);

// The page's handlers for a row chosen in the list and for the list's and the detail's buttons.
template <typename Page> struct ListDetailHandlers
{
    void (Page::*ListClick)();
    void (Page::*Add)();
    void (Page::*Edit)();
    void (Page::*Delete)();
    void (Page::*Save)();
    void (Page::*Cancel)();
};

// Runs each handler inside RunCommand, as ConnectCommand does, and makes the buttons wait while commands run.
template <typename Page>
void ConnectListAndDetail(const NameListFrame& list, const DetailFrame& detail, Page* page,
                          const ListDetailHandlers<Page>& handlers, BackgroundRunner& runner)
{
    QObject::connect(&runner, &BackgroundRunner::commandRunningChanged, page,
                     [list, detail](bool running)
                     {
                         list.SetBusy(running);
                         detail.SetBusy(running);
                     });
    // Mouse and keys both move the current row, which is what the handler shows.
    ConnectCommand(list.List, &NameListView::currentRowChanged, page, handlers.ListClick);
    QObject::connect(list.List, &NameListView::currentRowChanged, page, [list] { list.UpdateRowButtons(); });
    ConnectCommand(list.AddButton, page, handlers.Add);
    ConnectCommand(list.EditButton, page, handlers.Edit);
    ConnectCommand(list.DeleteButton, page, handlers.Delete);
    ConnectCommand(detail.SaveButton, page, handlers.Save);
    ConnectCommand(detail.CancelButton, page, handlers.Cancel);
}

// Lays the page out: the list frame on the left, the wider detail frame on the right.
void PlaceListAndDetail(QWidget* page, const NameListFrame& list, const DetailFrame& detail);

// Lists and combo boxes of names show each as ShownText shows it and keep the name itself (Qt::UserRole,
// NameListModel). The name of the model's row (empty for none).
QString RowName(const QAbstractItemModel* model, int row);
// The current row's name, empty when there is none.
QString SelectedName(const NameListView* list);
// The chosen item's name, empty when there is none.
QString ChosenName(const QComboBox* comboBox);
// The name an editable chooser holds: the chosen item's own name, or the text typed over it.
QString ComboName(const QComboBox* comboBox);
// The chooser offers the rows of `list` itself (one model: a refilled list is never copied) and selects
// `selected` (-1: none), without its change signals.
void ShareRows(QComboBox* comboBox, const NameListView* list, int selected);

} // namespace korvel::admin
