// What a screen reader says for a control: the label that stands beside it. Qt names a control inside a frame
// by the frame's caption, so two fields of one frame would read alike, and on Linux it names a chooser by its
// current value whatever name it was given.
#pragma once

#include <QString>

class QWidget;

namespace korvel::admin
{

// A label's caption as a name: without its mnemonic marks and its closing colon ("&Server:" -> "Server").
QString CaptionAsName(const QString& caption);
// Names `control` by the caption of the label beside it (or a name it is given), unless it has a name of its
// own already. A chooser then reads as that name, its current text as its value.
void NameByLabel(QWidget* control, const QString& caption);
// Names every control under `root` that a label names (its buddy) and that has no name of its own yet.
void NameControlsByLabels(QWidget* root);

} // namespace korvel::admin
