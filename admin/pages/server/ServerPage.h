// The "Server" page: the server's configuration, read-only until "&Edit"; "&Save" sends all nine values back
// in one request, "Cancel" reloads them.
#pragma once

#include "admin/common/AdminPage.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace korvel::admin
{

// A field text that is not a number the server can take; shown in the error box like any failure.
class EConvertError : public std::runtime_error
{
public:
    explicit EConvertError(const QString& message) : std::runtime_error(message.toStdString()) {}
};

// A configuration number from its field: "'%s' is not a valid integer value" when the text is no integer, and
// a message naming the field when it does not fit 16 bits (it is never cut to its low bits).
std::uint16_t ConvertConfigNumber(const QString& text, const QString& fieldCaption);

class ServerPage : public AdminPage, public EditablePage
{
public:
    ServerPage(const PageContext& context, QWidget* parent);

    QString Caption() const override { return QCoreApplication::translate("ServerPage", "Server"); }
    std::function<void()> ReadAtLogin(JobContext& job, LoginReads& reads) override;
    EditablePage* Editable() override { return this; }
    void RefreshPage() override { LoadServerConfig(); }

    TEditState EditState() const override { return ServerEditState; }
    QString PendingEditsQuestion() const override;
    void SaveEdits(std::function<void()> saved) override { Save(std::move(saved)); }
    void CancelEdits() override { CancelServerButtonClick(); }
    void ResetEditState() override;

    // Reads the configuration again and shows it.
    void LoadServerConfig();
    void SetServerEditMode();
    void SetServerViewMode();

    void EditServerButtonClick();
    void SaveServerButtonClick() { Save({}); }
    void CancelServerButtonClick();
    void SelectTempFilesDirButtonClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    // Shared by the five number fields: digits, backspace and Enter pass, every other typed character is
    // dropped.
    bool MaxConnectionsEditKeyPress(QEvent* event);
    void SetEditable(bool editable);
    void ShowConfig(const ServerConfig& config);
    // The configuration in the fields; raises EConvertError for a number the server cannot take.
    ServerConfig EditedConfig() const;
    ServerConfig WithoutTypedBlankLines(ServerConfig config) const;
    void Save(std::function<void()> saved);

    TKORVELSession& session_;
    BackgroundRunner& runner_;
    WindowJournal& journal_;
    std::shared_ptr<RecentSessionWalk> sessionWalk_;
    QString dialogStartDir_;
    TEditState ServerEditState = esViewing;
    std::optional<ServerConfig> shownConfig_; // as last read: what an edit starts from

    QCheckBox* DenyLoginsCheckBox = nullptr;
    QLabel* DenyLoginsLabel = nullptr;
    QLineEdit* MaxConnectionsEdit = nullptr;
    QLineEdit* TimeoutEdit = nullptr;
    QLineEdit* DeadSessionIntervalEdit = nullptr;
    QLineEdit* DeadSessionExpiresEdit = nullptr;
    QLineEdit* MaxDeadSessionsEdit = nullptr;
    QLineEdit* TempDirectoryEdit = nullptr;
    QPushButton* SelectTempFilesDirButton = nullptr;
    QPlainTextEdit* AuthorizedAddressesMemo = nullptr;
    QPlainTextEdit* BlockedAddressesMemo = nullptr;
    QPushButton* EditServerButton = nullptr;
    QPushButton* SaveServerButton = nullptr;
    QPushButton* CancelServerButton = nullptr;
};

} // namespace korvel::admin
