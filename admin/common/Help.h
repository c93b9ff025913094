// Context help: each control carries its help context number and the "What's This ?" pop-up menu, which shows
// the text of that number from the help file shipped beside the program.
#pragma once

class QString;
class QWidget;

namespace korvel::admin
{

// Stores `context` on the widget (property "helpContext"), sets its What's This text from the help file once
// one is loaded and attaches the "What's This ?" pop-up menu.
void SetHelpContext(QWidget* widget, int context);
// Registers the help file at `path` and gives every control that has a help context its What's This text:
// the window reads the file after its first paint, once most of its controls exist.
void UseHelpFile(const QString& path);

} // namespace korvel::admin
