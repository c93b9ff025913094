// What the Users, Databases and Database Users pages share: a sorted name list with 18-pixel rows, the rule
// that picks the row to select after the list was refilled, and copying the list into a chooser elsewhere.
#pragma once

#include "engine/wire/Message.h"

#include <QString>

class QComboBox;
class QListWidget;
class QWidget;

namespace korvel::admin
{

// Its currentRowChanged signal reports the user's choices only: the functions below change the selection
// without it.
QListWidget* MakeNameList(QWidget* parent, const char* name, int helpContext);

void ClearNameList(QListWidget* list);

// Empties the list, fills it with `names` sorted without regard to case in the locale's order, and selects
// the first row (none when empty).
void FillNameList(QListWidget* list, const StringList& names);

// Selects the first row whose text equals `name` (case-insensitive) or whose position is at least
// `formerIndex`; the last row when none qualifies; nothing when the list is empty.
void ReselectListItem(QListWidget* list, int formerIndex, const QString& name);

// The selected row's text, empty when nothing is selected.
QString SelectedName(const QListWidget* list);

// Replaces the chooser's items with the list's, in the list's order, with the same selected index.
void CopyListToComboBox(const QListWidget* list, QComboBox* comboBox);

} // namespace korvel::admin
