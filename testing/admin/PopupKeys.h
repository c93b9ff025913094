// Typing into pop-up menus as a keyboard user does: a pop-up menu runs its own event loop, so the keys are
// sent from a timer, one to each menu level as it comes up.
#pragma once

#include <QApplication>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <memory>

namespace korvel::test
{

// Types the next character of `keys` into each pop-up that comes up next (a key that opens a submenu brings
// up the next one), then stops. `owner` ends the wait if the menus never come.
inline void TypeIntoPopups(QObject* owner, const QString& keys)
{
    auto* timer = new QTimer(owner);
    auto left = std::make_shared<QString>(keys);
    auto last = std::make_shared<QPointer<QWidget>>();
    QObject::connect(timer, &QTimer::timeout, timer,
                     [timer, left, last]
                     {
                         QWidget* popup = QApplication::activePopupWidget();
                         if (popup == nullptr || popup == *last)
                             return;
                         *last = popup;
                         const QChar key = left->front();
                         left->remove(0, 1);
                         if (left->isEmpty())
                             timer->deleteLater();
                         QTest::keyClick(popup, key.toLatin1());
                     });
    timer->start(5);
}

} // namespace korvel::test
