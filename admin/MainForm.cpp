// The window's creation and destruction, its menu, status bar and size. Login, logout and the pending-edit
// guard are in MainFormLogin.cpp, the Options command in MainFormOptions.cpp.
#include "admin/MainForm.h"
#include "settings/IniFile.h"

#include "admin/Settings.h"
#include "admin/common/Command.h"
#include "admin/common/Dialogs.h"
#include "admin/common/Help.h"
#include "admin/common/HelpFile.h"
#include "session/KORVELSession.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QWhatsThis>

namespace korvel::admin
{

namespace
{

// The client area the window was designed for; it grows only when the default font needs more room.
constexpr QSize DesignedClientSize(761, 439);

} // namespace

TMainForm::TMainForm(MainFormSetup setup) : setup_(std::move(setup))
{
    setObjectName("MainForm");
    RegisterHelpFile(setup_.Files.HelpFileName());

    remoteSession_ = std::make_unique<TKORVELSession>();
    remoteSession_->SetSessionName("Remote");
    remoteSession_->SetSessionType(stRemote);
    remoteSession_->OnRemoteTrace = [this](TKORVELSession&, const std::string& line)
    { traceFile_->WriteLine(line); };
    remoteSession_->OnRemoteTraceRecord = [this](TKORVELSession&, const TraceRecord& record)
    {
        if (traceLogDlg_ != nullptr)
            traceLogDlg_->AddRecord(record);
    };
    // No OnRemoteLogin handler: credentials come from the login prompt, through the dialogs seam.
    SetRemoteLoginDialog([this](std::string& userName, std::string& password)
                         { return CurrentDialogs().RemoteLogin(this, userName, password); });

    CreateMenu();
    CreatePageControl(setup_.CreatePages);
    statusBar()->setObjectName("StatusBar");
    statusBar()->setSizeGripEnabled(false); // the window has a fixed size
    SetHelpContext(statusBar(), 6);
    FixWindowSize();

    Dialogs& dialogs = CurrentDialogs();
    traceFile_ =
        std::make_unique<TraceFile>(setup_.Files.TraceFileName(QCoreApplication::applicationPid(), dialogs));
    // Without a trace file the window still works: the error is shown and trace lines are dropped.
    RunCommand(this, [this] { traceFile_->Open(); });

    settingsFileName_ =
        setup_.Files.SettingsFileName(setup_.Version.SettingsBaseName(), dialogs).toStdString();
    IniFile settingsFile(settingsFileName_);
    QRect frame = frameGeometry();
    WindowPlacement placement =
        ReadWindowPlacement(settingsFile, {frame.top(), frame.left(), frame.height(), frame.width()});
    move(placement.Left, placement.Top); // the fixed size refuses a different size; showEvent centres

    setWindowTitle(setup_.Version.ProductName);
    QCoreApplication::setApplicationName(setup_.Version.ProductName);

    remoteSettings_ = ReadRemoteSettings(settingsFile);
    traceSettings_ = ReadTraceSettings(settingsFile);
    ApplyRemoteSettings(*remoteSession_, true, remoteSettings_);
    SetActivePage(0);
}

TMainForm::~TMainForm()
{
    WriteSettings();
    try
    {
        remoteSession_->SetActive(false);
    }
    catch (...)
    {
        // Closing: the server may already be gone; the session is inactive either way.
    }
    if (traceSettings_.KeepTraceFile)
        traceFile_->Close();
    else
        traceFile_->Remove();
    SetRemoteLoginDialog({});
    // The pages hold the session: they go before it does.
    delete mainPageControl_;
}

void TMainForm::SetDialogs(TOptionsDlg* options, TTraceLogDlg* traceLog)
{
    optionsDlg_ = options;
    traceLogDlg_ = traceLog;
}

void TMainForm::CreateMenu()
{
    QMenu* fileMenu = menuBar()->addMenu("&File");
    fileMenu->setObjectName("FileMenu");
    loginItem_ = fileMenu->addAction("&Login to Server");
    loginItem_->setObjectName("LoginItem");
    loginItem_->setStatusTip("Login to the Server");
    connect(loginItem_, &QAction::triggered, this,
            [this] { RunCommand(this, [this] { LoginItemClick(); }); });
    fileMenu->addSeparator();
    QAction* options = fileMenu->addAction("&Options...");
    options->setObjectName("OptionsItem");
    options->setStatusTip("Change options");
    connect(options, &QAction::triggered, this, [this] { RunCommand(this, [this] { OptionsItemClick(); }); });
    fileMenu->addSeparator();
    QAction* exit = fileMenu->addAction("E&xit");
    exit->setObjectName("FileExitItem");
    exit->setStatusTip("Exit application");
    connect(exit, &QAction::triggered, this, [this] { FileExit(); });

    QMenu* helpMenu = menuBar()->addMenu("&Help");
    helpMenu->setObjectName("HelpMenu");
    QAction* contents = helpMenu->addAction("&Contents");
    contents->setObjectName("HelpContentsItem");
    // HelpContentsItemClick: the help file's overview topic.
    connect(contents, &QAction::triggered, this,
            [this] {
                QWhatsThis::showText(mapToGlobal(rect().center()), ApplicationHelpFile().PopupText(0), this);
            });
}

void TMainForm::CreatePageControl(const PageFactory& createPages)
{
    auto* central = new QWidget(this);
    central->setObjectName("ClientArea");
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(4, 4, 4, 0);

    mainPageControl_ = new QTabWidget(central);
    mainPageControl_->setObjectName("MainPageControl");
    changingPage_ = true; // adding pages is no page change the user asked for
    pages_ = createPages(PageContext{*remoteSession_, setup_.Files.ProgramDir}, mainPageControl_);
    for (AdminPage* page : pages_)
        mainPageControl_->addTab(page, page->Caption());
    changingPage_ = false;
    connect(mainPageControl_, &QTabWidget::currentChanged, this,
            [this](int index) { MainPageControlChanged(index); });
    layout->addWidget(mainPageControl_);

    loggedOutLabel_ =
        new QLabel("Not connected to a server.\nChoose File, Login to Server to connect.", central);
    loggedOutLabel_->setObjectName("LoggedOutLabel");
    loggedOutLabel_->setAlignment(Qt::AlignCenter);
    loggedOutLabel_->setEnabled(false);
    layout->addWidget(loggedOutLabel_);
    setCentralWidget(central);
    ShowLoggedIn(false);
}

void TMainForm::FixWindowSize()
{
    // The page control is hidden while logged out, so its needs are asked for directly.
    QMargins margins = centralWidget()->layout()->contentsMargins();
    QSize pages = mainPageControl_->minimumSizeHint().grownBy(margins);
    QSize client(std::max(DesignedClientSize.width(), pages.width()),
                 std::max(DesignedClientSize.height(), pages.height() + statusBar()->sizeHint().height()));
    setFixedSize(client.width(), client.height() + menuBar()->sizeHint().height());
}

bool TMainForm::event(QEvent* event)
{
    if (event->type() == QEvent::StatusTip)
    {
        statusBar()->showMessage(" " + static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    return QMainWindow::event(event);
}

void TMainForm::showEvent(QShowEvent* event)
{
    statusBar()->clearMessage();
    if (!shownOnce_)
    {
        shownOnce_ = true;
        if (QScreen* screen = this->screen())
        {
            QRect frame = frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
    }
    QMainWindow::showEvent(event);
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    bool mayClose = false;
    RunCommand(this, [&] { mayClose = ConfirmPendingEdits(); });
    if (mayClose)
        event->accept();
    else
        event->ignore();
}

void TMainForm::WriteSettings()
{
    // Each section is flushed on its own, so a failure in the second keeps the first.
    RunCommand(this,
               [this]
               {
                   IniFile settingsFile(settingsFileName_);
                   WriteRemoteSettings(settingsFile, remoteSettings_);
                   WriteTraceSettings(settingsFile, traceSettings_);
                   settingsFile.UpdateFile();
               });
    RunCommand(
        this,
        [this]
        {
            QRect frame = frameGeometry();
            IniFile settingsFile(settingsFileName_);
            WriteWindowPlacement(settingsFile, {frame.top(), frame.left(), frame.height(), frame.width()});
            settingsFile.UpdateFile();
        });
}

} // namespace korvel::admin
