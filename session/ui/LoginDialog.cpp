#include "session/ui/LoginDialog.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QValidator>

namespace korvel::ui
{

namespace
{

// Refuses input that would exceed the byte limit, so nothing typed or pasted is cut behind the user's back.
class Utf8ByteLimit : public QValidator
{
public:
    Utf8ByteLimit(int maxBytes, QObject* parent) : QValidator(parent), maxBytes_(maxBytes) {}
    State validate(QString& input, int&) const override
    {
        return input.toUtf8().size() <= maxBytes_ ? Acceptable : Invalid;
    }

private:
    int maxBytes_;
};

QLineEdit* MakeCredentialField(QWidget* parent, const char* name)
{
    auto* field = new QLineEdit(parent);
    field->setObjectName(name);
    field->setMaxLength(TLoginDialog::MaxCredentialBytes);
    field->setValidator(new Utf8ByteLimit(TLoginDialog::MaxCredentialBytes, field));
    field->setMinimumWidth(field->fontMetrics().horizontalAdvance('0') * 28);
    return field;
}

} // namespace

TLoginDialog::TLoginDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName("LoginDialog");
    setWindowTitle(QCoreApplication::translate("TLoginDialog", "Login"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    panel_ = new QFrame(this);
    panel_->setObjectName("Panel");
    panel_->setFrameShape(QFrame::StyledPanel);

    databaseLabel_ = new QLabel(QCoreApplication::translate("TLoginDialog", "Database:"), panel_);
    databaseLabel_->setObjectName("DatabaseLabel");
    databaseName_ = new QLabel(panel_);
    databaseName_->setObjectName("DatabaseName");
    bevel_ = new QFrame(panel_);
    bevel_->setObjectName("Bevel");
    bevel_->setFrameShape(QFrame::HLine);
    bevel_->setFrameShadow(QFrame::Sunken);

    serverLabel_ = new QLabel(QCoreApplication::translate("TLoginDialog", "Server:"), panel_);
    serverLabel_->setObjectName("ServerLabel");
    serverName_ = new QLabel(panel_);
    serverName_->setObjectName("ServerName");
    serverName_->setTextFormat(Qt::PlainText);
    // As wide as the fields, whatever the name: a long one is elided when shown.
    serverName_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    userName_ = MakeCredentialField(panel_, "UserName");
    password_ = MakeCredentialField(panel_, "Password");
    password_->setEchoMode(QLineEdit::Password);

    auto* fields = new QFormLayout(panel_);
    fields->addRow(databaseLabel_, databaseName_);
    fields->addRow(bevel_);
    fields->addRow(serverLabel_, serverName_);
    fields->setRowVisible(serverName_, false);
    auto* userLabel = new QLabel(QCoreApplication::translate("TLoginDialog", "&User Name:"), panel_);
    userLabel->setBuddy(userName_);
    fields->addRow(userLabel, userName_);
    auto* passwordLabel = new QLabel(QCoreApplication::translate("TLoginDialog", "&Password:"), panel_);
    passwordLabel->setBuddy(password_);
    fields->addRow(passwordLabel, password_);

    auto* buttons = new QDialogButtonBox(this);
    okButton_ =
        buttons->addButton(QCoreApplication::translate("TLoginDialog", "&OK"), QDialogButtonBox::AcceptRole);
    okButton_->setObjectName("OKButton");
    okButton_->setDefault(true);
    cancelButton_ = buttons->addButton(QCoreApplication::translate("TLoginDialog", "Cancel"),
                                       QDialogButtonBox::RejectRole); // Escape rejects
    cancelButton_->setObjectName("CancelButton");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(panel_);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize); // a fixed dialog border that follows its content

    password_->setFocus();
}

void TLoginDialog::HideDatabaseLine()
{
    // The layout gives the hidden line's height back to the panel and the dialog and moves the buttons up.
    databaseLabel_->hide();
    databaseName_->hide();
    bevel_->hide();
}

void TLoginDialog::ShowServer(const QString& place)
{
    serverName_->setText(place);
    serverName_->setToolTip(place);
    static_cast<QFormLayout*>(panel_->layout())->setRowVisible(serverName_, !place.isEmpty());
}

void TLoginDialog::showEvent(QShowEvent* event)
{
    // A long database name or server place is elided to end inside the panel rather than widening the dialog.
    for (QLabel* name : {databaseName_, serverName_})
    {
        int available = panel_->contentsRect().width() - name->x() - 5;
        if (!name->isHidden() && available > 0)
            name->setText(name->fontMetrics().elidedText(name->text(), Qt::ElideRight, available));
    }
    QDialog::showEvent(event);
}

} // namespace korvel::ui
