// A command disables the window's command controls while it waits on the server, and Qt moves the focus off a
// control that becomes disabled (the Refresh button the person just pressed, for example) and never brings it
// back. CommandFocus puts it back once the command has ended, unless the command itself moved the focus
// somewhere else on purpose.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

namespace korvel::admin
{

class BackgroundRunner;

class CommandFocus : public QObject
{
public:
    // Watches `runner` for `window`. Call it twice: before and after the pages that disable controls start
    // watching the runner, so that it sees the focus before they disable it and after they enable it again.
    // Pages made later call WatchAfterPages again: the watch moves behind them.
    CommandFocus(QWidget& window, QObject* parent) : QObject(parent), window_(window) {}
    void WatchBeforePages(BackgroundRunner& runner);
    void WatchAfterPages(BackgroundRunner& runner);
    // Gives the focus to `widget` once the command that runs now has ended and its controls are enabled again
    // (a command's greyed controls cannot take it before).
    void FocusAfterCommand(QWidget* widget) { next_ = widget; }

private:
    QWidget& window_;
    QPointer<QWidget> next_;    // asked for by the command
    QPointer<QWidget> had_;     // the focus when the command started
    QPointer<QWidget> movedTo_; // where Qt moved it when the pages disabled `had_`
    QMetaObject::Connection afterPages_;
};

} // namespace korvel::admin
