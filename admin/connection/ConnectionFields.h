// The fields that say how to reach a server, in the Options and the Profiles dialogs: "Remote Type" with
// "Local Area Network" and "Internet", "Host Name", "IP Address", "Port" (typed digits only) and "Service".
// Texts count without leading and trailing blanks. The fields take five rows of the dialog's own grid (labels
// in its column 0, edits in columns 1 and 2), so their labels line up with the dialog's other fields.
#pragma once

#include "settings/Connection.h"

#include <QObject>

class QGridLayout;
class QLineEdit;
class QRadioButton;

namespace korvel::admin
{

class ConnectionFields : public QObject
{
public:
    struct Look
    {
        bool Shortcuts = false;  // the labels' Alt keys, where the dialog's other fields have them too
        bool HelpTopics = false; // the Options dialog's help topics ("What's This ?", F1)
    };

    static constexpr int Rows = 5;

    // The fields are children of `parent`, in rows `firstRow` to `firstRow + Rows - 1` of `grid`.
    ConnectionFields(QWidget* parent, QGridLayout* grid, int firstRow, Look look);

    void Load(const settings::Connection& connection);
    // Raises settings::ConnectionError with the first problem of what the fields hold.
    settings::Connection Checked() const;
    void FocusRemoteType();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override; // PortEditKeyPress

private:
    QRadioButton* lanRadioButton_;
    QRadioButton* internetRadioButton_;
    QLineEdit* hostNameEdit_;
    QLineEdit* ipAddressEdit_;
    QLineEdit* portEdit_;
    QLineEdit* serviceEdit_;
};

} // namespace korvel::admin
