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
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
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

// The peak resident size of this process's own memory in kB (VmHWM), 0 when unknown. Unlike getrusage's
// ru_maxrss it does not carry over the size of the process that started this one.
inline long PeakResidentKilobytes()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return 0;
}

// Says "painted" and the peak resident size in kB on the standard output once `widget` was first painted, and
// closes it.
inline void CloseAfterFirstPaint(QWidget* widget)
{
    RunAfterFirstPaint(widget,
                       [widget]
                       {
                           std::printf("painted %ld\n", PeakResidentKilobytes());
                           std::fflush(stdout);
                           widget->close();
                       });
}

} // namespace korvel::admin
