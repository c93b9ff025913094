// The rights editor that opens in a cell of the Rights grid (double-click, Enter, or "Edit Rights..." in the
// cell menu): one toggle per right and one for "not a database user", set from the cell. A click or the
// right's letter toggles it, and the focus stands on one toggle at a time (the arrow keys move it); Enter or
// the Apply button hands the rights to the page, which applies them to every selected cell after its usual
// summary and question. Esc, Tab or leaving the editor changes nothing.
#pragma once

#include "operations/RightsMatrix.h"

#include <QStyledItemDelegate>
#include <QWidget>

#include <array>
#include <functional>

class QToolButton;

namespace korvel::admin
{

class RightsCellEditor : public QWidget
{
public:
    explicit RightsCellEditor(QWidget* parent);
    void SetRights(const operations::PairRights& rights);
    operations::PairRights Rights() const;
    // Moves the focus `step` toggles on, round the row.
    void MoveFocus(int step);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QToolButton* MakeToggle(const QString& caption, const QString& toolTip, const char* name);
    void ToggleRight(int bit);
    void ToggleNotDatabaseUser();

    std::array<QToolButton*, 7> rightButtons_{}; // button n holds the right with bit n
    QToolButton* notDatabaseUserButton_ = nullptr;
};

class RightsCellDelegate : public QStyledItemDelegate
{
public:
    // Called after the editor closed, with the rights the user applied.
    using Apply = std::function<void(const operations::PairRights& rights)>;
    RightsCellDelegate(Apply apply, QObject* parent);

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Apply apply_;
};

} // namespace korvel::admin
