#include "admin/dialogs/AboutDialog.h"

#include "KorvelVersion.h" // generated

#include "credentials/Keyring.h"
#include "platform/OnDemandLibrary.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <glib.h>
#include <libssh/libssh.h>
#include <openssl/crypto.h>
#include <zlib.h>

namespace korvel::admin
{

namespace
{

// A value a person may select and copy into a bug report; its row's name is what a screen reader says.
QLabel* Value(const QString& text, const QString& accessibleName, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    label->setTextFormat(Qt::PlainText);
    label->setAccessibleName(accessibleName);
    return label;
}

QGroupBox* Section(const QString& title, const QString& objectName,
                   const std::vector<std::pair<QString, QString>>& rows, QWidget* parent)
{
    auto* box = new QGroupBox(title, parent);
    box->setObjectName(objectName);
    box->setAccessibleName(title);
    auto* form = new QFormLayout(box);
    for (const auto& [name, value] : rows)
    {
        auto* label = new QLabel(QCoreApplication::translate("AboutDialog", "%1:").arg(name), box);
        label->setAccessibleName(name);
        QLabel* shown = Value(value, name, box);
        label->setBuddy(shown);
        form->addRow(label, shown);
    }
    return box;
}

QString License()
{
    const QString license = QStringLiteral(KORVEL_LICENSE);
    return license.isEmpty() ? QCoreApplication::translate(
                                   "AboutDialog", "Not stated: this copy was built without a license")
                             : license;
}

// The version of a library opened only now (SSH's are not opened at the start), or why it cannot be.
template <typename Version> QString OpenedVersion(Version version)
{
    try
    {
        return QString::fromLatin1(version());
    }
    catch (const platform::LibraryUnavailable& missing)
    {
        return QCoreApplication::translate("AboutDialog", "Not available: %1")
            .arg(QString::fromUtf8(missing.what()));
    }
}

} // namespace

std::vector<std::pair<QString, QString>> LibraryVersions()
{
    return {
        {"Qt", QString::fromLatin1(qVersion())},
        {"zlib", QString::fromLatin1(zlibVersion())},
        {"libssh", OpenedVersion([] { return ssh_version(0); })},
        {"OpenSSL", OpenedVersion([] { return OpenSSL_version(OPENSSL_VERSION); })},
        {"libsecret", QCoreApplication::translate("AboutDialog", "%1 (built with)")
                          .arg(QString::fromStdString(credentials::KeyringLibraryVersion()))},
        {"GLib",
         QStringLiteral("%1.%2.%3").arg(glib_major_version).arg(glib_minor_version).arg(glib_micro_version)},
    };
}

AboutDialog::AboutDialog(const AboutFacts& facts, QWidget* parent) : QDialog(parent)
{
    setObjectName("AboutDialog");
    setWindowTitle(QCoreApplication::translate("AboutDialog", "About %1").arg(facts.ProductName));
    auto* layout = new QVBoxLayout(this);

    QLabel* title = Value(facts.ProductName + " " + facts.Version,
                          QCoreApplication::translate("AboutDialog", "Version"), this);
    title->setObjectName("VersionLabel");
    QFont bigger = title->font();
    bigger.setPointSizeF(bigger.pointSizeF() * 1.4);
    bigger.setBold(true);
    title->setFont(bigger);
    layout->addWidget(title);
    QLabel* license = Value(QCoreApplication::translate("AboutDialog", "License: %1").arg(License()),
                            QCoreApplication::translate("AboutDialog", "License"), this);
    license->setObjectName("LicenseLabel");
    layout->addWidget(license);

    layout->addWidget(Section(QCoreApplication::translate("AboutDialog", "Libraries"), "LibrariesBox",
                              LibraryVersions(), this));
    layout->addWidget(
        Section(QCoreApplication::translate("AboutDialog", "Files"), "FilesBox", facts.Files, this));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setObjectName("OkButton");
    ok->setAccessibleName(QCoreApplication::translate("AboutDialog", "OK"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}

} // namespace korvel::admin
