// The "Log" page: the server's log on request, saved as a text file on this computer. The list keeps its
// lines until the next load, also across logout and login.
#pragma once

#include "admin/common/AdminPage.h"

class QListView;
class QPushButton;

namespace korvel::admin
{

class LogListModel;

class TLogPage : public AdminPage
{
public:
    TLogPage(const PageContext& context, QWidget* parent);

    QString Caption() const override { return QStringLiteral("Log"); }

    void LoadLogButtonClick();
    void SaveButtonClick();

private:
    void CreateControls();

    TKORVELSession& session_;
    QString programDir_;
    LogListModel* model_ = nullptr;

    QListView* LogListBox = nullptr;
    QPushButton* LoadLogButton = nullptr;
    QPushButton* SaveButton = nullptr;
};

} // namespace korvel::admin
