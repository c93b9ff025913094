// A cursor shape over the whole application for as long as this object lives: the wait cursor of a command,
// the arrow of a box that waits for the person.
#pragma once

#include <QApplication>

namespace korvel::admin
{

class OverrideCursor
{
public:
    explicit OverrideCursor(Qt::CursorShape shape) { QApplication::setOverrideCursor(shape); }
    ~OverrideCursor() { QApplication::restoreOverrideCursor(); }
    OverrideCursor(const OverrideCursor&) = delete;
    OverrideCursor& operator=(const OverrideCursor&) = delete;
};

} // namespace korvel::admin
