#include "admin/common/Help.h"

#include "admin/common/HelpFile.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QWhatsThis>
#include <QWidget>

#include <memory>

namespace korvel::admin
{

namespace
{

// What a pop-up request's position is relative to: the viewport of a scrolling control.
QWidget* MenuOrigin(QWidget* widget)
{
    auto* scrolling = qobject_cast<QAbstractScrollArea*>(widget);
    return scrolling != nullptr ? scrolling->viewport() : widget;
}

// WhatsThisItemClick: the pop-up topic of the control's help context number, read when asked so that a help
// file registered after the control was built still serves it.
void ShowWhatsThis(QWidget* widget, const QPoint& globalPos)
{
    int context = widget->property("helpContext").toInt();
    QString text = ApplicationHelpFile().PopupText(context);
    if (text.isEmpty())
        text = QCoreApplication::translate("Help", "No help is available for this item (context %1).")
                   .arg(context);
    QWhatsThis::showText(globalPos, text, widget);
}

// Text fields keep Qt's own edit entries (undo, cut, copy, paste, select all) above "What's This ?", so copy
// and paste by mouse still work there. Other controls show their own actions there (the sessions list's sort
// and columns); a text field's actions are its inner buttons, never menu entries.
std::unique_ptr<QMenu> ContextMenu(QWidget* widget, const QPoint& pos)
{
    std::unique_ptr<QMenu> menu;
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
        menu.reset(edit->createStandardContextMenu());
    else if (auto* memo = qobject_cast<QPlainTextEdit*>(widget))
        menu.reset(memo->createStandardContextMenu(pos));
    else if (!widget->actions().isEmpty())
    {
        menu = std::make_unique<QMenu>(widget);
        menu->addActions(widget->actions());
    }
    if (!menu)
        return std::make_unique<QMenu>(widget);
    menu->addSeparator();
    return menu;
}

// Shift+F10 opens the pop-up menu as the Menu key does (the platform turns only that key into a menu
// request), at the focused item or the middle of the control.
class KeyboardContextMenu : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_F10 || key->modifiers() != Qt::ShiftModifier)
            return false;
        auto* widget = static_cast<QWidget*>(watched);
        const QRect cursor = widget->inputMethodQuery(Qt::ImCursorRectangle).toRect();
        const QPoint pos = cursor.isValid() ? cursor.center() : MenuOrigin(widget)->rect().center();
        QContextMenuEvent request(QContextMenuEvent::Keyboard, pos, MenuOrigin(widget)->mapToGlobal(pos));
        QCoreApplication::sendEvent(widget, &request);
        return true;
    }
};

} // namespace

void SetHelpContext(QWidget* widget, int context)
{
    widget->setProperty("helpContext", context);
    if (HelpFileLoaded())
        widget->setWhatsThis(ApplicationHelpFile().PopupText(context));
    // Set once per widget: a second call only changes the number the menu reads.
    if (widget->contextMenuPolicy() == Qt::CustomContextMenu)
        return;
    widget->setContextMenuPolicy(Qt::CustomContextMenu);
    widget->installEventFilter(new KeyboardContextMenu(widget));
    QObject::connect(widget, &QWidget::customContextMenuRequested, widget,
                     [widget](const QPoint& pos)
                     {
                         std::unique_ptr<QMenu> menu = ContextMenu(widget, pos);
                         QAction* whatsThis =
                             menu->addAction(QCoreApplication::translate("Help", "What's This ?"));
                         whatsThis->setObjectName("WhatsThisItem");
                         QPoint globalPos = MenuOrigin(widget)->mapToGlobal(pos);
                         if (menu->exec(globalPos) == whatsThis)
                             ShowWhatsThis(widget, globalPos);
                     });
}

void UseHelpFile(const QString& path)
{
    RegisterHelpFile(path);
    for (QWidget* widget : QApplication::allWidgets())
        if (const QVariant context = widget->property("helpContext"); context.isValid())
            widget->setWhatsThis(ApplicationHelpFile().PopupText(context.toInt()));
}

} // namespace korvel::admin
