// Small pieces every page uses: text conversion between the window and the session, the view/edit look of a
// field, the 255-byte limit of protocol strings, and labelled controls with their help context.
#pragma once

#include "admin/common/Command.h"
#include "engine/wire/Message.h"

#include <QAbstractButton>
#include <QString>

#include <initializer_list>
#include <string>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QWidget;

namespace korvel::admin
{

// Protocol strings are bytes, UTF-8 as a rule. A byte that is not UTF-8 becomes the lone surrogate
// U+DC80..U+DCFF (which UTF-8 cannot hold) and comes back as that byte, so a name goes to the session exactly
// as it came, whatever it holds. Such a QString is for keeping, never for showing: see ShownText.
QString FromStd(const std::string& text);
std::string ToStd(const QString& text);
// A name (or any server text) as a person may see it without being misled (engine/wire/Utf8.h ShownName).
QString ShownText(const QString& name);

// A name field of a detail: it shows ShownText(name) and keeps the name itself; NameIn gives the kept name
// while the field is read-only, what was typed otherwise.
void ShowName(QLineEdit* field, const QString& name);
QString NameIn(const QLineEdit* field);

// View mode: read-only, the dialog background, skipped by Tab. Edit mode: editable, the window background,
// reached by Tab. Works for line edits and multi-line edits.
void SetFieldEditable(QWidget* field, bool editable);

// A field that accepts at most 255 bytes of UTF-8, so the session never has to cut what was typed: an edit
// that does not fit is refused whole, the cursor and the rest of the text stay where they were.
// (Descriptions, counted as they are sent, are limited by DescriptionText.)
void LimitToProtocolString(QLineEdit* field);

// Lines of a multi-line edit as a string list and back, each line ended by a line break: a final line break
// does not add an empty entry, and empty entries anywhere, trailing ones included, come back as they went.
StringList MemoLines(const QPlainTextEdit* memo);
void SetMemoLines(QPlainTextEdit* memo, const StringList& lines);

// Check boxes whose caption stands in a label beside them in view mode, and on the box itself (covering the
// label) in edit mode.
void SetCheckBoxEditable(QCheckBox* box, QLabel* label, bool editable);
// Such a box and its label in a row of their own that keeps one size, the larger of the two modes': a mode
// change then moves nothing outside the row (a widget that can change size makes Qt lay the whole page out
// again, and the tab widget repaints the whole window).
struct CheckBoxRow
{
    QWidget* Row = nullptr;
    QCheckBox* Box = nullptr;
    QLabel* Label = nullptr;

    // Sizes the row for both modes again, as after its label was widened.
    void KeepSize() const;
};
// The box is named `name`; box and label get `helpContext`.
CheckBoxRow MakeCheckBoxRow(QWidget* parent, const char* name, const QString& caption, int helpContext);

// Lays out `bar`, whose buttons are shown by turns, so that it keeps one size: each button keeps its room
// while hidden, and the buttons of one place share it (the one shown takes it). Showing or hiding one then
// moves nothing outside the bar, for the reason above. Make the buttons with `bar` as parent, so that Tab
// meets them in the order they were made.
void LayOutButtonBar(QWidget* bar, std::initializer_list<std::initializer_list<QPushButton*>> places);

// Runs the page's handler inside RunCommand whenever `sender` emits `signal` (a click, a choice in a list).
template <typename Sender, typename Signal, typename Page>
void ConnectCommand(Sender* sender, Signal signal, Page* page, void (Page::*handler)())
{
    QObject::connect(sender, signal, page,
                     [page, handler] { RunCommand(page, [page, handler] { (page->*handler)(); }); });
}
template <typename Page> void ConnectCommand(QAbstractButton* button, Page* page, void (Page::*handler)())
{
    ConnectCommand(button, &QAbstractButton::clicked, page, handler);
}

// A group box that fills the whole page, for pages with one frame.
QGroupBox* MakePageFrame(QWidget* page, const QString& caption);

// Creation helpers: objectName, caption and help context in one call.
QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, int helpContext);
QLineEdit* MakeLineEdit(QWidget* parent, const char* name, int helpContext);
QPlainTextEdit* MakeMemo(QWidget* parent, const char* name, int helpContext);
QCheckBox* MakeCheckBox(QWidget* parent, const char* name, int helpContext);
QLabel* MakeLabel(QWidget* parent, const QString& caption, QWidget* buddy, int helpContext);

} // namespace korvel::admin
