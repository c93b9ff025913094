#include "admin/common/Help.h"

#include "admin/common/HelpFile.h"

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

// WhatsThisItemClick: the pop-up topic of the control's help context number, read when asked so that a help
// file registered after the control was built still serves it.
void ShowWhatsThis(QWidget* widget, const QPoint& globalPos)
{
    int context = widget->property("helpContext").toInt();
    QString text = ApplicationHelpFile().PopupText(context);
    if (text.isEmpty())
        text = QString("No help is available for this item (context %1).").arg(context);
    QWhatsThis::showText(globalPos, text, widget);
}

// Text fields keep Qt's own edit entries (undo, cut, copy, paste, select all) above "What's This ?", so copy
// and paste by mouse still work there.
std::unique_ptr<QMenu> ContextMenu(QWidget* widget, const QPoint& pos)
{
    std::unique_ptr<QMenu> menu;
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
        menu.reset(edit->createStandardContextMenu());
    else if (auto* memo = qobject_cast<QPlainTextEdit*>(widget))
        menu.reset(memo->createStandardContextMenu(pos));
    if (!menu)
        return std::make_unique<QMenu>(widget);
    menu->addSeparator();
    return menu;
}

} // namespace

void SetHelpContext(QWidget* widget, int context)
{
    widget->setProperty("helpContext", context);
    widget->setWhatsThis(ApplicationHelpFile().PopupText(context));
    // Set once per widget: a second call only changes the number the menu reads.
    if (widget->contextMenuPolicy() == Qt::CustomContextMenu)
        return;
    widget->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(widget, &QWidget::customContextMenuRequested, widget,
                     [widget](const QPoint& pos)
                     {
                         std::unique_ptr<QMenu> menu = ContextMenu(widget, pos);
                         QAction* whatsThis = menu->addAction("What's This ?");
                         whatsThis->setObjectName("WhatsThisItem");
                         QPoint globalPos = widget->mapToGlobal(pos);
                         if (menu->exec(globalPos) == whatsThis)
                             ShowWhatsThis(widget, globalPos);
                     });
}

} // namespace korvel::admin
