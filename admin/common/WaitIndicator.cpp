#include "admin/common/WaitIndicator.h"

#include "admin/common/BackgroundRunner.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>

#include <algorithm>
#include <chrono>

namespace korvel::admin
{

WaitIndicator::WaitIndicator(BackgroundRunner& runner, std::function<QString()> serverPlace,
                             QWidget* shortcutScope, QWidget* parent)
    : QWidget(parent), runner_(runner), serverPlace_(std::move(serverPlace))
{
    setObjectName("WaitIndicator");
    label_ = new QLabel(this);
    label_->setObjectName("WaitLabel");
    cancelButton_ = new QPushButton(QCoreApplication::translate("WaitIndicator", "Cancel"), this);
    cancelButton_->setObjectName("CancelWaitButton");
    cancelButton_->setToolTip(
        QCoreApplication::translate("WaitIndicator", "Stop waiting for the server (Esc)"));
    cancelButton_->setFocusPolicy(Qt::NoFocus); // the person's focus stays where the command left it
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    // The label takes the room there is and no more: a long server name is elided, never the window widened.
    label_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    layout->addWidget(label_, 1);
    layout->addWidget(cancelButton_);

    timer_ = new QTimer(this);
    timer_->setInterval(250);
    connect(timer_, &QTimer::timeout, this, [this] { Update(); });
    connect(cancelButton_, &QPushButton::clicked, this, [this] { runner_.CancelCommands(); });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), shortcutScope);
    escape->setContext(Qt::WindowShortcut);
    // Only while a command waits: otherwise Esc keeps its usual meaning in the window.
    escape->setEnabled(false);
    connect(escape, &QShortcut::activated, this, [this] { runner_.CancelCommands(); });
    connect(&runner_, &BackgroundRunner::commandRunningChanged, this,
            [this, escape](bool running)
            {
                escape->setEnabled(running);
                CommandsChanged(running);
            });
    connect(&runner_, &BackgroundRunner::cancelled, this,
            [this](const RunningCommand& command) { Cancelled(command); });
    setMinimumHeight(cancelButton_->sizeHint().height());
    Clear();
}

void WaitIndicator::Clear()
{
    // Each command starts here: an indicator that shows nothing is left alone, not repainted.
    if (label_->text().isEmpty() && cancelButton_->isHidden())
        return;
    label_->clear();
    label_->setToolTip({});
    cancelButton_->hide();
}

void WaitIndicator::CommandsChanged(bool running)
{
    if (running)
    {
        timer_->start();
        Clear(); // the last command's "Cancelled"; nothing waits long enough yet to be shown
        return;
    }
    timer_->stop();
    // A cancelled command's message stays until the next command.
    if (!cancelButton_->isHidden())
        Clear();
}

void WaitIndicator::Update()
{
    const std::optional<RunningCommand> command = runner_.CurrentCommand();
    if (!command)
        return;
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - command->Since);
    if (waited.count() < ShowAfterMs)
        return Clear();
    const QString what =
        command->Waiting.empty()
            ? QCoreApplication::translate("WaitIndicator", "Waiting for %1").arg(serverPlace_())
            : QString::fromStdString(command->Waiting);
    // The server's name gives way, the seconds never do.
    const QString seconds =
        QCoreApplication::translate("WaitIndicator", " (%1 s)").arg(waited.count() / 1000);
    cancelButton_->show();
    const QFontMetrics metrics = label_->fontMetrics();
    const int room = std::max(0, label_->contentsRect().width() - metrics.horizontalAdvance(seconds));
    label_->setText(metrics.elidedText(what, Qt::ElideMiddle, room) + seconds);
    label_->setToolTip(what + seconds);
}

void WaitIndicator::Cancelled(const RunningCommand& command)
{
    timer_->stop();
    label_->setText(command.Changes
                        ? QCoreApplication::translate(
                              "WaitIndicator", "Cancelled; the change may have been made: Refresh to see")
                        : QCoreApplication::translate("WaitIndicator", "Cancelled"));
    cancelButton_->hide();
}

} // namespace korvel::admin
