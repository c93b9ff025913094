#include "admin/pages/rights/RightsCellEditor.h"

#include <QApplication>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QToolButton>

#include <algorithm>
#include <cstring>
#include <vector>

namespace korvel::admin
{

namespace
{

constexpr char Letters[] = "RIUDCAX"; // the letters the grid shows, by bit
const char* const RightNames[] = {
    QT_TRANSLATE_NOOP("RightsCellEditor", "Read"),   QT_TRANSLATE_NOOP("RightsCellEditor", "Insert"),
    QT_TRANSLATE_NOOP("RightsCellEditor", "Update"), QT_TRANSLATE_NOOP("RightsCellEditor", "Delete"),
    QT_TRANSLATE_NOOP("RightsCellEditor", "Create"), QT_TRANSLATE_NOOP("RightsCellEditor", "Alter"),
    QT_TRANSLATE_NOOP("RightsCellEditor", "Drop")};

} // namespace

RightsCellEditor::RightsCellEditor(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("RightsCellEditor"));
    setFocusPolicy(Qt::StrongFocus);
    setAutoFillBackground(true);
    // A held right must stand out from one not held at a glance, in every style.
    setStyleSheet(QStringLiteral("QToolButton:checked { background-color: palette(highlight); "
                                 "color: palette(highlighted-text); }"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(1, 0, 1, 0);
    layout->setSpacing(0);
    for (int bit = 0; bit < 7; ++bit)
    {
        const QString letter(QLatin1Char(Letters[bit]));
        rightButtons_[bit] =
            MakeToggle(letter,
                       QCoreApplication::translate("RightsCellEditor", "%1 (%2)")
                           .arg(QCoreApplication::translate("RightsCellEditor", RightNames[bit]), letter),
                       QStringLiteral("Right%1Toggle").arg(letter).toLatin1().constData());
        rightButtons_[bit]->setAccessibleName(
            QCoreApplication::translate("RightsCellEditor", RightNames[bit]));
        connect(rightButtons_[bit], &QToolButton::clicked, this, [this, bit] { ToggleRight(bit); });
        layout->addWidget(rightButtons_[bit]);
    }
    notDatabaseUserButton_ = MakeToggle(
        QStringLiteral("-"), QCoreApplication::translate("RightsCellEditor", "Not a database user (-)"),
        "NotDatabaseUserToggle");
    notDatabaseUserButton_->setAccessibleName(
        QCoreApplication::translate("RightsCellEditor", "Not a database user"));
    connect(notDatabaseUserButton_, &QToolButton::clicked, this, [this] { ToggleNotDatabaseUser(); });
    layout->addWidget(notDatabaseUserButton_);
    auto* apply = new QToolButton(this);
    apply->setObjectName(QStringLiteral("ApplyCellRightsButton"));
    apply->setText(QCoreApplication::translate("RightsCellEditor", "Apply"));
    apply->setToolTip(QCoreApplication::translate("RightsCellEditor", "Apply to the selected cells (Enter)"));
    apply->setFocusPolicy(Qt::NoFocus);
    // Enter applies: the delegate watching this editor handles both the same way.
    connect(apply, &QToolButton::clicked, this,
            [this]
            {
                QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
                QApplication::sendEvent(this, &enter);
            });
    layout->addWidget(apply);
    // The toggles take the focus one by one (the arrow keys move it), so a screen reader says which right
    // is under it and whether it is held; the editor's own keys still reach it.
    setFocusProxy(rightButtons_[0]);
}

QToolButton* RightsCellEditor::MakeToggle(const QString& caption, const QString& toolTip, const char* name)
{
    auto* button = new QToolButton(this);
    button->setObjectName(QLatin1String(name));
    button->setText(caption);
    button->setToolTip(toolTip);
    button->setCheckable(true);
    button->setFocusPolicy(Qt::ClickFocus);
    return button;
}

void RightsCellEditor::SetRights(const operations::PairRights& rights)
{
    for (int bit = 0; bit < 7; ++bit)
        rightButtons_[bit]->setChecked(rights && rights->Contains(static_cast<TUserRight>(bit)));
    notDatabaseUserButton_->setChecked(!rights);
}

operations::PairRights RightsCellEditor::Rights() const
{
    if (notDatabaseUserButton_->isChecked())
        return std::nullopt;
    TUserRights rights;
    for (int bit = 0; bit < 7; ++bit)
        if (rightButtons_[bit]->isChecked())
            rights.Include(static_cast<TUserRight>(bit));
    return rights;
}

// A right held makes a database user; "not a database user" holds no right.
void RightsCellEditor::ToggleRight(int bit)
{
    if (rightButtons_[bit]->isChecked())
        notDatabaseUserButton_->setChecked(false);
}

void RightsCellEditor::ToggleNotDatabaseUser()
{
    if (notDatabaseUserButton_->isChecked())
        for (QToolButton* button : rightButtons_)
            button->setChecked(false);
}

void RightsCellEditor::keyPressEvent(QKeyEvent* event)
{
    const QString text = event->text().toUpper();
    if (text == QStringLiteral("-"))
        return notDatabaseUserButton_->click();
    const char* letter = text.size() == 1 ? std::strchr(Letters, text[0].toLatin1()) : nullptr;
    if (letter != nullptr && *letter != '\0')
        return rightButtons_[letter - Letters]->click();
    QWidget::keyPressEvent(event);
}

void RightsCellEditor::MoveFocus(int step)
{
    std::vector<QToolButton*> toggles(rightButtons_.begin(), rightButtons_.end());
    toggles.push_back(notDatabaseUserButton_);
    const auto focused = std::find(toggles.begin(), toggles.end(), focusWidget());
    const int at = focused == toggles.end() ? 0 : static_cast<int>(focused - toggles.begin());
    const int count = static_cast<int>(toggles.size());
    toggles[static_cast<std::size_t>((at + step + count) % count)]->setFocus(Qt::OtherFocusReason);
}

RightsCellDelegate::RightsCellDelegate(Apply apply, QObject* parent)
    : QStyledItemDelegate(parent), apply_(std::move(apply))
{
}

QWidget* RightsCellDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                          const QModelIndex&) const
{
    auto* editor = new RightsCellEditor(parent);
    // The view watches the editor; its keys and its leaving arrive at the focused toggle.
    for (QToolButton* toggle : editor->findChildren<QToolButton*>())
        toggle->installEventFilter(const_cast<RightsCellDelegate*>(this));
    return editor;
}

void RightsCellDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    const auto rights = operations::ParseRightsLetters(index.data().toString().toStdString());
    static_cast<RightsCellEditor*>(editor)->SetRights(rights.value_or(std::nullopt));
}

void RightsCellDelegate::setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex&) const
{
    // The cells change only on the server: the page asks, sends and reads again. It does so once the editor
    // has closed, so its question does not open inside the view's editing.
    QMetaObject::invokeMethod(
        const_cast<RightsCellDelegate*>(this),
        [apply = apply_, rights = static_cast<RightsCellEditor*>(editor)->Rights()] { apply(rights); },
        Qt::QueuedConnection);
}

void RightsCellDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                              const QModelIndex&) const
{
    // Wider than a cell: it starts at the cell and stays inside the grid.
    QRect rect(option.rect.topLeft(), editor->sizeHint().expandedTo(option.rect.size()));
    const int overflow = rect.right() - editor->parentWidget()->rect().right();
    if (overflow > 0)
        rect.translate(-std::min(overflow, rect.left()), 0);
    editor->setGeometry(rect);
}

bool RightsCellDelegate::eventFilter(QObject* watched, QEvent* event)
{
    auto* editor = qobject_cast<QWidget*>(watched);
    if (editor == nullptr)
        return false;
    if (qobject_cast<QToolButton*>(editor) != nullptr)
        editor = editor->parentWidget();
    if (event->type() == QEvent::KeyPress)
    {
        switch (static_cast<QKeyEvent*>(event)->key())
        {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            emit commitData(editor);
            emit closeEditor(editor, NoHint);
            return true;
        case Qt::Key_Left: // before a toggle takes them as Tab and Shift+Tab
        case Qt::Key_Right:
            static_cast<RightsCellEditor*>(editor)->MoveFocus(
                static_cast<QKeyEvent*>(event)->key() == Qt::Key_Right ? 1 : -1);
            return true;
        case Qt::Key_Escape:
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            emit closeEditor(editor, RevertModelCache);
            return true;
        default:
            return false;
        }
    }
    // Leaving the editor is no answer: nothing is applied.
    if (event->type() == QEvent::FocusOut && !editor->isAncestorOf(QApplication::focusWidget()) &&
        QApplication::focusWidget() != editor && editor->isActiveWindow())
        emit closeEditor(editor, RevertModelCache);
    return false;
}

} // namespace korvel::admin
