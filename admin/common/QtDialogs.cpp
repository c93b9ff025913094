#include "admin/common/QtDialogs.h"

#include "session/ui/RemoteLoginDialog.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QTemporaryFile>

namespace korvel::admin
{

namespace
{

QMessageBox::StandardButton Ask(QWidget* parent, QMessageBox::Icon icon, const QString& question,
                                QMessageBox::StandardButtons buttons,
                                QMessageBox::StandardButton preset = QMessageBox::NoButton)
{
    QMessageBox box(icon, QApplication::applicationDisplayName(), question, buttons, parent);
    if (preset != QMessageBox::NoButton)
        box.setDefaultButton(preset);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

QMessageBox::StandardButton YesNoButton(Answer preset)
{
    return preset == Answer::No ? QMessageBox::No : QMessageBox::Yes;
}

Answer ToAnswer(QMessageBox::StandardButton button)
{
    switch (button)
    {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        return Answer::Cancel;
    }
}

} // namespace

void QtDialogs::DoShowError(QWidget* parent, const QString& message)
{
    Ask(parent, QMessageBox::Critical, message, QMessageBox::Ok);
}

void QtDialogs::DoShowInformation(QWidget* parent, const QString& message)
{
    Ask(parent, QMessageBox::Information, message, QMessageBox::Ok);
}

Answer QtDialogs::DoAskWarningYesNo(QWidget* parent, const QString& question, Answer preset)
{
    // Closing the box without a button counts as No: there is no Cancel to give.
    Answer answer = ToAnswer(
        Ask(parent, QMessageBox::Warning, question, QMessageBox::Yes | QMessageBox::No, YesNoButton(preset)));
    return answer == Answer::Yes ? Answer::Yes : Answer::No;
}

Answer QtDialogs::DoAskWarningYesNoCancel(QWidget* parent, const QString& question)
{
    return ToAnswer(Ask(parent, QMessageBox::Warning, question,
                        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes));
}

Answer QtDialogs::DoAskConfirmationYesNo(QWidget* parent, const QString& question, Answer preset)
{
    Answer answer = ToAnswer(Ask(parent, QMessageBox::Question, question, QMessageBox::Yes | QMessageBox::No,
                                 YesNoButton(preset)));
    return answer == Answer::Yes ? Answer::Yes : Answer::No;
}

std::optional<QString> QtDialogs::DoGetSaveFileName(QWidget* parent, const SaveFileRequest& request)
{
    QFileDialog dialog(parent, request.Title, request.StartDirectory, request.Filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(request.DefaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

std::optional<QString> QtDialogs::DoBrowseForDirectory(QWidget* parent, const QString& startPath)
{
    QString chosen = QFileDialog::getExistingDirectory(
        parent, QCoreApplication::translate("QtDialogs", "Select the directory"), startPath);
    if (chosen.isEmpty())
        return std::nullopt;
    chosen = QDir::toNativeSeparators(chosen);
    while (chosen.size() > 1 && chosen.endsWith(QDir::separator()))
        chosen.chop(1);
    return chosen;
}

bool QtDialogs::DoRemoteLogin(QWidget* parent, const QString& server, std::string& userName,
                              std::string& password)
{
    return korvel::ui::RemoteLoginDialog(parent, userName, password, server);
}

bool QtDialogs::IsDirectoryWritable(const QString& directory)
{
    // Creating a file is the only sure test: permission bits do not tell about read-only mounts or ACLs.
    QTemporaryFile probe(QDir(directory).filePath("korvel-write-test-XXXXXX"));
    return probe.open();
}

} // namespace korvel::admin
