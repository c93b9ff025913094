// The fields that say how to reach a server, in the Options and the Profiles dialogs: "Remote Type" with
// "Local Area Network" and "Internet", "Host Name", "IP Address", "Port" (typed digits only) and "Service".
// Texts count without leading and trailing blanks.
#pragma once

#include "settings/Connection.h"

#include <QWidget>

class QLineEdit;
class QRadioButton;

namespace korvel::admin
{

class ConnectionFields : public QWidget
{
public:
    struct Look
    {
        bool Shortcuts = false;  // the labels' Alt keys, where the dialog's other fields have them too
        bool HelpTopics = false; // the Options dialog's help topics ("What's This ?", F1)
    };

    ConnectionFields(QWidget* parent, Look look);

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
