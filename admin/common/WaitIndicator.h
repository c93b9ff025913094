// What the person sees while a command waits on the server: after about half a second, what it waits for and
// for how long ("Waiting for db1:12006 (12 s)") beside a Cancel button; Esc cancels too. Once the person
// cancelled, it says so ("Cancelled", or for a change "Cancelled; the change may have been made: Refresh to
// see") until the next command. The window's status bar holds one; a dialog that runs commands holds its own.
// It keeps the Cancel button's height while empty, so nothing around it moves when the button shows.
#pragma once

#include <QString>
#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;
class QTimer;

namespace korvel::admin
{

class BackgroundRunner;
struct RunningCommand;

class WaitIndicator : public QWidget
{
public:
    // `serverPlace` names the server a command without a text of its own waits for ("db1:12006"). Esc cancels
    // anywhere in `shortcutScope`'s window.
    WaitIndicator(BackgroundRunner& runner, std::function<QString()> serverPlace, QWidget* shortcutScope,
                  QWidget* parent);

    static constexpr int ShowAfterMs = 500;

private:
    void CommandsChanged(bool running);
    void Update();
    void Clear();
    void Cancelled(const RunningCommand& command);

    BackgroundRunner& runner_;
    std::function<QString()> serverPlace_;
    QTimer* timer_;
    QLabel* label_;
    QPushButton* cancelButton_;
};

} // namespace korvel::admin
