#include "admin/pages/LogPage.h"

#include "admin/common/Command.h"
#include "admin/common/Dialogs.h"
#include "admin/common/Help.h"
#include "admin/pages/LogListModel.h"
#include "admin/pages/PageFields.h"
#include "session/KORVELSession.h"

#include <QDir>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QListView>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>

#include <stdexcept>

namespace korvel::admin
{
namespace
{

// Writes every line followed by CR LF, the bytes exactly as the server sent them. The file is replaced only
// once it was written completely.
void WriteLogFile(const QString& fileName, const StringList& lines)
{
    QSaveFile file(fileName);
    auto fail = [&]
    {
        throw std::runtime_error(QStringLiteral("Cannot create file \"%1\". %2")
                                     .arg(QDir::toNativeSeparators(fileName), file.errorString())
                                     .toStdString());
    };
    if (!file.open(QIODevice::WriteOnly))
        fail();
    std::string chunk;
    constexpr std::size_t chunkSize = 1 << 20;
    for (const std::string& line : lines)
    {
        chunk += line;
        chunk += "\r\n";
        if (chunk.size() >= chunkSize)
        {
            if (file.write(chunk.data(), static_cast<qint64>(chunk.size())) !=
                static_cast<qint64>(chunk.size()))
                fail();
            chunk.clear();
        }
    }
    if (file.write(chunk.data(), static_cast<qint64>(chunk.size())) != static_cast<qint64>(chunk.size()) ||
        !file.commit())
        fail();
}

} // namespace

TLogPage::TLogPage(const PageContext& context, QWidget* parent)
    : AdminPage(parent), session_(context.Session), programDir_(context.ProgramDir)
{
    CreateControls();
    ConnectCommand(LoadLogButton, this, &TLogPage::LoadLogButtonClick);
    ConnectCommand(SaveButton, this, &TLogPage::SaveButtonClick);
}

void TLogPage::CreateControls()
{
    QGroupBox* frame = MakePageFrame(this, QStringLiteral("Log Entries"));
    model_ = new LogListModel(this);
    LogListBox = new QListView(frame);
    LogListBox->setObjectName(QStringLiteral("LogListBox"));
    LogListBox->setUniformItemSizes(true);
    LogListBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    LogListBox->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Every row is as wide as 255 "0" characters, so long lines scroll into view.
    const int rowWidth = LogListBox->fontMetrics().horizontalAdvance(QString(255, QLatin1Char('0')));
    LogListBox->setItemDelegate(new FixedRowDelegate(LogListBox, rowWidth));
    LogListBox->setModel(model_);
    SetHelpContext(LogListBox, 75);
    LoadLogButton = MakeButton(frame, "LoadLogButton", QStringLiteral("&Load"), 76);
    SaveButton = MakeButton(frame, "SaveButton", QStringLiteral("&Save..."), 77);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(LoadLogButton);
    buttons->addWidget(SaveButton);
    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->addWidget(LogListBox, 1);
    frameLayout->addLayout(buttons);
}

void TLogPage::LoadLogButtonClick()
{
    // Emptied before the request, as the session does with any list it fills: a failed load shows no stale
    // log, and the old lines are gone before the new ones arrive.
    model_->SetLines({});
    StringList lines;
    session_.GetServerLog(lines);
    model_->SetLines(std::move(lines));
}

void TLogPage::SaveButtonClick()
{
    const Dialogs::SaveFileRequest request{QStringLiteral("Enter a name for the text file"), programDir_,
                                           QStringLiteral("Text Files (*.TXT)"), QStringLiteral("TXT")};
    if (const std::optional<QString> fileName = CurrentDialogs().GetSaveFileName(this, request))
        WriteLogFile(*fileName, model_->Lines());
}

} // namespace korvel::admin
