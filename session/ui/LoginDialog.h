// TLoginDialog: the general login form. A panel holds the "Database:" line (label, database name, separating
// line) above the user name and password fields; OK and Cancel stand below it.
#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace korvel::ui
{

class TLoginDialog : public QDialog
{
public:
    // User names and passwords are protocol strings: at most this many bytes of UTF-8.
    static constexpr int MaxCredentialBytes = 255;

    explicit TLoginDialog(QWidget* parent = nullptr);

    QLineEdit* UserName() const { return userName_; }
    QLineEdit* Password() const { return password_; }
    QLabel* DatabaseName() const { return databaseName_; }

    // Hides the "Database:" line and gives its height back: the panel and the dialog get shorter and the
    // buttons move up.
    void HideDatabaseLine();
    // Names the server logged in to ("db1 on port 12006") on a line of its own above the user name; without
    // it the line stays hidden.
    void ShowServer(const QString& place);
    QLabel* ServerName() const { return serverName_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QFrame* panel_;
    QLabel* databaseLabel_;
    QLabel* databaseName_;
    QFrame* bevel_;
    QLabel* serverLabel_;
    QLabel* serverName_;
    QLineEdit* userName_;
    QLineEdit* password_;
    QPushButton* okButton_;
    QPushButton* cancelButton_;
};

} // namespace korvel::ui
