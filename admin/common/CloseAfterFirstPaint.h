// Closes the widget it watches as soon as that widget has been painted once: how the launch benchmark
// times korvel-admin (with KORVEL_ADMIN_EXIT_AFTER_PAINT) and its bare floor window alike. Header only, Qt
// only, so the floor window needs nothing else from the window.
#pragma once

#include <QEvent>
#include <QObject>
#include <QTimer>
#include <QWidget>

namespace korvel::admin
{

class CloseAfterFirstPaint : public QObject
{
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
        {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, static_cast<QWidget*>(watched), &QWidget::close);
        }
        return false;
    }
};

} // namespace korvel::admin
