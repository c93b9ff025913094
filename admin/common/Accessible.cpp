#include "admin/common/Accessible.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

namespace korvel::admin
{
namespace
{

// A chooser read as its name (its label's caption) with its current text as its value, its list as its
// child and opening that list as its action, as Qt's own description does apart from the name.
class ChooserAccessible : public QAccessibleWidget
{
public:
    explicit ChooserAccessible(QComboBox* chooser) : QAccessibleWidget(chooser, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return Chooser()->isEditable() ? Chooser()->lineEdit()->text() : Chooser()->currentText();
        return QAccessibleWidget::text(t);
    }
    int childCount() const override { return 1; }
    QAccessibleInterface* child(int index) const override
    {
        return index == 0 ? QAccessible::queryAccessibleInterface(Chooser()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        return child != nullptr && child->object() == Chooser()->view() ? 0 : -1;
    }
    QStringList actionNames() const override
    {
        return QStringList{showMenuAction()} << QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override
    {
        if (action == showMenuAction())
            Chooser()->showPopup();
        else
            QAccessibleWidget::doAction(action);
    }

private:
    QComboBox* Chooser() const { return static_cast<QComboBox*>(widget()); }
};

// Qt looks a control's description up among those made before it makes one: a chooser gets this one.
void DescribeChooser(QComboBox* chooser)
{
    if (chooser->property("korvelDescribed").toBool())
        return;
    chooser->setProperty("korvelDescribed", true);
    QAccessible::registerAccessibleInterface(new ChooserAccessible(chooser));
}

} // namespace

QString CaptionAsName(const QString& caption)
{
    QString name;
    for (qsizetype at = 0; at < caption.size(); ++at)
    {
        // "&&" is a shown ampersand; a lone "&" marks the next letter.
        if (caption[at] == QLatin1Char('&') && at + 1 < caption.size())
            ++at;
        name += caption[at];
    }
    name = name.trimmed();
    if (name.endsWith(QLatin1Char(':')))
        name.chop(1);
    return name.trimmed();
}

void NameByLabel(QWidget* control, const QString& caption)
{
    if (control == nullptr)
        return;
    if (control->accessibleName().isEmpty())
        control->setAccessibleName(CaptionAsName(caption));
    if (auto* chooser = qobject_cast<QComboBox*>(control))
        DescribeChooser(chooser);
}

void NameControlsByLabels(QWidget* root)
{
    for (const QLabel* label : root->findChildren<QLabel*>())
        NameByLabel(label->buddy(), label->text());
}

} // namespace korvel::admin
