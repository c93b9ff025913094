// Work that waits for a widget's first frame: what the window leaves until it has been shown, and how the
// launch benchmark times korvel-admin (with KORVEL_ADMIN_EXIT_AFTER_PAINT) and its bare floor window alike,
// to the first frame and not to the end of the process. Header only, Qt only, so the floor window needs
// nothing else from the window.
#pragma once

#include <QEvent>
#include <QObject>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <functional>
#include <utility>

namespace korvel::admin
{

// Runs `work` once, when the event loop turns after `widget` was first painted: by then the whole frame, its
// children too, is painted. Watches installed later see the paint first, so their work runs first.
inline void RunAfterFirstPaint(QWidget* widget, std::function<void()> work)
{
    class Watch : public QObject
    {
    public:
        Watch(QWidget* widget, std::function<void()> work) : QObject(widget), work_(std::move(work)) {}
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            if (event->type() == QEvent::Paint)
            {
                watched->removeEventFilter(this);
                QTimer::singleShot(0, parent(),
                                   [this]
                                   {
                                       const std::function<void()> work = std::move(work_);
                                       deleteLater();
                                       work();
                                   });
            }
            return false;
        }

    private:
        std::function<void()> work_;
    };
    widget->installEventFilter(new Watch(widget, std::move(work)));
}

// Says "painted" on the standard output once `widget` was first painted, and closes it.
inline void CloseAfterFirstPaint(QWidget* widget)
{
    RunAfterFirstPaint(widget,
                       [widget]
                       {
                           std::fputs("painted\n", stdout);
                           std::fflush(stdout);
                           widget->close();
                       });
}

} // namespace korvel::admin
