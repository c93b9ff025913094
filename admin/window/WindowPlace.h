// The main window's place on screen: put back where it was left at start, and read at exit for the settings.
#pragma once

#include "admin/window/Settings.h"

class QWidget;

namespace korvel::admin
{

// Puts `window` where `saved` says, at least its minimum size, or centred on its screen when nothing was
// saved or the saved place is on no screen now; then maximises it when it was left maximised.
void PlaceWindow(QWidget& window, const WindowPlacement& saved);
// The window's normal (restored) geometry inside its frame, and whether it is maximised.
WindowPlacement PlacementOf(const QWidget& window);

} // namespace korvel::admin
