// What a widget repaints: every paint event it receives and their regions, gathered by an event filter, and
// how often it was asked to lay itself out again. Used to show that a list repaints only the rows that
// changed, and that a page's mode change lays out nothing beyond the page.
#pragma once

#include <QApplication>
#include <QEvent>
#include <QPaintEvent>
#include <QPointer>
#include <QRegion>
#include <QWidget>

namespace korvel::test
{

class PaintRecorder : public QObject
{
public:
    explicit PaintRecorder(QWidget* widget) : widget_(widget) { widget->installEventFilter(this); }
    ~PaintRecorder() override
    {
        if (widget_)
            widget_->removeEventFilter(this);
    }
    PaintRecorder(const PaintRecorder&) = delete;
    PaintRecorder& operator=(const PaintRecorder&) = delete;

    // Paints what is still pending (updates wait in the event queue), so that what was recorded is complete.
    static void Flush()
    {
        for (int turn = 0; turn < 3; ++turn)
        {
            QApplication::sendPostedEvents();
            QApplication::processEvents();
        }
    }
    void Clear()
    {
        painted_ = QRegion();
        paints_ = 0;
        layoutRequests_ = 0;
    }
    int Paints() const { return paints_; }
    int LayoutRequests() const { return layoutRequests_; }
    const QRegion& Painted() const { return painted_; }
    qint64 PaintedArea() const { return Area(painted_); }
    // In pixels (the rectangles of a region do not overlap).
    static qint64 Area(const QRegion& region)
    {
        qint64 area = 0;
        for (const QRect& rect : region)
            area += qint64(rect.width()) * rect.height();
        return area;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == widget_ && event->type() == QEvent::Paint)
        {
            painted_ += static_cast<QPaintEvent*>(event)->region();
            ++paints_;
        }
        if (watched == widget_ && event->type() == QEvent::LayoutRequest)
            ++layoutRequests_;
        return false;
    }

private:
    QPointer<QWidget> widget_;
    QRegion painted_;
    int paints_ = 0;
    int layoutRequests_ = 0;
};

} // namespace korvel::test
