// Keeps what a scrolled list shows in place while rows come and go above it: the row at the top of the view
// (found again by a key role; the next one in view when it went) stays at the top through inserts, removals
// and re-sorts. A list scrolled to its top stays there, so new rows at the top are seen. The rows the person
// picked and the current row are found again by their keys after every change, so no interleaving of a
// model's changes with the view's own bookkeeping can drop a row that is still listed. For flat lists.
#pragma once

#include <QObject>
#include <QVariant>

#include <vector>

class QAbstractItemView;

namespace korvel::admin
{

class ScrollAnchor : public QObject
{
public:
    // Watches the view's model as it is now; `keyRole` tells rows apart across changes.
    ScrollAnchor(QAbstractItemView* view, int keyRole);

private:
    void Remember();
    void ChangeStarts();
    void ChangeEnds();
    void Restore();
    void KeepPicked();

    struct Key
    {
        QVariant Value;
        int Top; // where the row stood in the viewport
    };

    QAbstractItemView* view_;
    int keyRole_;
    std::vector<Key> keys_;        // the rows in view, from the top, as last seen between changes
    std::vector<QVariant> picked_; // the selected rows' keys when the change began
    QVariant current_;             // the current row's key then; invalid for none
    bool anchored_ = false;        // scrolled away from the top when the change began
    int depth_ = 0;                // changes may nest (a proxy over a changing model)
};

} // namespace korvel::admin
