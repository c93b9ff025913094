#include "admin/window/WindowPlace.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace korvel::admin
{

void PlaceWindow(QWidget& window, const WindowPlacement& saved)
{
    // The area inside the frame, as saved: the frame the window manager adds is not known before the window
    // is on screen, so nothing depends on it and nothing drifts from one start to the next.
    const QRect normal(saved.Left, saved.Top, saved.Width, saved.Height);
    if (saved.Width > 0 && saved.Height > 0 && QGuiApplication::screenAt(normal.center()) != nullptr)
        window.setGeometry(QRect(normal.topLeft(), normal.size().expandedTo(window.minimumSize())));
    else if (QScreen* screen = window.screen())
    {
        QRect centred = window.geometry();
        centred.moveCenter(screen->availableGeometry().center());
        window.setGeometry(centred);
    }
    if (saved.Maximized)
        window.setWindowState(window.windowState() | Qt::WindowMaximized);
}

WindowPlacement PlacementOf(const QWidget& window)
{
    const QRect normal = window.normalGeometry();
    return {normal.top(), normal.left(), normal.height(), normal.width(),
            (window.windowState() & Qt::WindowMaximized) != 0};
}

} // namespace korvel::admin
