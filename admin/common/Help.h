// Context help: each control carries its help context number and the "What's This ?" pop-up menu, which shows
// the text of that number from the help file shipped beside the program.
#pragma once

class QWidget;

namespace korvel::admin
{

// Stores `context` on the widget (property "helpContext"), sets its What's This text from the help file and
// attaches the "What's This ?" pop-up menu.
void SetHelpContext(QWidget* widget, int context);

} // namespace korvel::admin
