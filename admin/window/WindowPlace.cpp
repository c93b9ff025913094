#include "admin/window/WindowPlace.h"

#include <QGuiApplication>
#include <QMargins>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace korvel::admin
{

namespace
{

// The frame a window manager adds around the client area, guessed: it is not known before the window shows.
constexpr QMargins FrameGuess(8, 32, 8, 8);

// The title bar and the frame stay on the screen: a place saved on a larger screen, or a window as large as
// a small (or scaled) screen, is moved and if need be shrunk, never below the window's minimum.
void KeepOnScreen(QWidget& window)
{
    const QScreen* screen = window.screen();
    if (!screen)
        return;
    const QRect room = screen->availableGeometry() - FrameGuess;
    QRect place = window.geometry();
    place.setSize(place.size().boundedTo(room.size()).expandedTo(window.minimumSize()));
    place.moveLeft(
        std::clamp(place.left(), room.left(), std::max(room.left(), room.right() + 1 - place.width())));
    place.moveTop(
        std::clamp(place.top(), room.top(), std::max(room.top(), room.bottom() + 1 - place.height())));
    if (place != window.geometry())
        window.setGeometry(place);
}

} // namespace

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
    KeepOnScreen(window);
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
