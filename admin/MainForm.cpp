// The window's creation and destruction, its menu, status bar and size. Login, logout and the pending-edit
// guard are in MainFormLogin.cpp, the Options command in MainFormOptions.cpp.
#include "admin/MainForm.h"
#include "settings/IniFile.h"

#include "admin/ProfileLogin.h"
#include "admin/Settings.h"
#include "admin/StatusBarSections.h"
#include "admin/WindowTitle.h"
#include "admin/common/BackgroundRunner.h"
#include "admin/common/Command.h"
#include "admin/common/CommandFocus.h"
#include "admin/common/Dialogs.h"
#include "admin/common/Help.h"
#include "admin/common/HelpFile.h"
#include "admin/common/WaitIndicator.h"
#include "session/KORVELSession.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
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

// The smallest client area: the one the window was designed for, or more when the default font needs it.
constexpr QSize DesignedClientSize(761, 439);

} // namespace

TMainForm::TMainForm(MainFormSetup setup) : setup_(std::move(setup))
{
    setObjectName("MainForm");
    RegisterHelpFile(setup_.Files.HelpFileName());

    remoteSession_ = std::make_unique<TKORVELSession>();
    remoteSession_->SetSessionName("Remote");
    remoteSession_->SetSessionType(stRemote);
    remoteSession_->SetOnRemoteTrace([this](TKORVELSession&, const std::string& line)
                                     { traceFile_->WriteLine(line); });
    remoteSession_->SetOnRemoteTraceRecord(
        [this](TKORVELSession&, const TraceRecord& record)
        {
            if (traceLogDlg_ != nullptr)
                traceLogDlg_->AddRecord(record);
        });
    // No OnRemoteLogin handler: credentials come from the login prompt, through the dialogs seam. The session
    // asks on the worker; the prompt shows on this thread.
    SetRemoteLoginDialog([this](std::string& userName, std::string& password)
                         { return AskForCredentials(userName, password); });
    runner_ = std::make_unique<BackgroundRunner>(*remoteSession_);

    SetCommandFailureHandler([this](const QString& message) { return AfterCommandFailed(message); });
    SetCommandEndWatcher([this](std::exception_ptr error) { CommandEnded(error); });
    CreateMenu();
    CreatePageKeys();
    commandFocus_ = new CommandFocus(*this, this);
    commandFocus_->WatchBeforePages(*runner_);
    // Logging out or changing the connection while a command waits on the server would drop its result.
    runner_->WatchCommands(this,
                           [this](bool running)
                           {
                               for (QAction* item : menuBar()->findChildren<QAction*>())
                                   if (item->objectName() == "LoginItem" ||
                                       item->objectName() == "OptionsItem" ||
                                       item->objectName() == "ConnectToItem")
                                       item->setEnabled(!running);
                           });
    statusBar()->setObjectName("StatusBar");
    SetHelpContext(statusBar(), 6);
    statusSections_ = std::make_unique<StatusBarSections>(statusBar());
    waitIndicator_ = new WaitIndicator(
        *runner_, [this] { return ServerEndpoint(LoggedIn() ? connected_ : remoteSettings_); }, this,
        statusBar());
    // A permanent section, so a menu hint never hides the Cancel.
    statusBar()->insertPermanentWidget(0, waitIndicator_, 1);
    CreatePageControl(setup_.CreatePages);
    commandFocus_->WatchAfterPages(*runner_);
    SetMinimumWindowSize();

    Dialogs& dialogs = CurrentDialogs();
    traceFile_ =
        std::make_unique<TraceFile>(setup_.Files.TraceFileName(QCoreApplication::applicationPid(), dialogs));
    // Without a trace file the window still works: the error is shown and trace lines are dropped.
    RunCommand(this, [this] { traceFile_->Open(); });

    settingsFileName_ =
        setup_.Files.SettingsFileName(setup_.Version.SettingsBaseName(), dialogs).toStdString();
    IniFile settingsFile(settingsFileName_);
    savedPlacement_ = ReadWindowPlacement(settingsFile, {}); // no size: nothing saved yet
    const ViewSettings views = ReadViewSettings(settingsFile);
    for (AdminPage* page : pages_)
        page->ApplyViewSettings(views);

    setWindowTitle(setup_.Version.ProductName);
    QCoreApplication::setApplicationName(setup_.Version.ProductName);

    // The connection settings reach the session with each login.
    remoteSettings_ = ReadRemoteSettings(settingsFile);
    traceSettings_ = ReadTraceSettings(settingsFile);
    SetActivePage(0);
}

TMainForm::~TMainForm()
{
    WriteSettings();
    LogoutAtExit();
    if (traceSettings_.KeepTraceFile)
        traceFile_->Close();
    else
        traceFile_->Remove();
    SetRemoteLoginDialog({});
    SetCommandFailureHandler({});
    SetCommandEndWatcher({});
    // No delivery may reach a page once it is gone, and the pages hold the session: they go before it does.
    runner_.reset();
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
    profileLogin_ = new ProfileLogin(*this, fileMenu);
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
    ConnectionNotices notices{[this](const QDateTime& when, double exchangeMs)
                              {
                                  statusSections_->ShowRefresh(when, exchangeMs);
                                  ShowConnectionLost(false);
                              },
                              [this](const QString& message) { ServerLost(message); }};
    pages_ = createPages(
        PageContext{*remoteSession_, setup_.Files.ProgramDir, *runner_, notices, [this] { Logout(); }},
        mainPageControl_);
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

void TMainForm::CreatePageKeys()
{
    // Not in a menu: the menu bar holds File and Help only.
    auto addKey = [this](const char* name, const QKeySequence& key, void (TMainForm::*act)())
    {
        auto* action = new QAction(this);
        action->setObjectName(QLatin1String(name));
        action->setShortcut(key);
        connect(action, &QAction::triggered, this,
                [this, act] { RunCommand(this, [this, act] { (this->*act)(); }); });
        addAction(action);
    };
    addKey("RefreshPageKey", QKeySequence(Qt::Key_F5), &TMainForm::RefreshCurrentPage);
    addKey("SearchBoxKey", QKeySequence(Qt::CTRL | Qt::Key_F), &TMainForm::GoToSearchBox);
}

void TMainForm::RefreshCurrentPage()
{
    if (!LoggedIn() || currentPage_ < 0 || currentPage_ >= static_cast<int>(pages_.size()))
        return;
    AdminPage* page = pages_[static_cast<std::size_t>(currentPage_)];
    // A key never throws an edit away: the page's Save or Cancel comes first.
    if (EditablePage* editable = page->Editable(); editable && editable->EditState() != esViewing)
        return;
    page->RefreshPage();
}

void TMainForm::GoToSearchBox()
{
    if (!LoggedIn() || currentPage_ < 0 || currentPage_ >= static_cast<int>(pages_.size()))
        return;
    // A line edit selects its text when the focus comes from a shortcut, so typing replaces it.
    if (QWidget* box = pages_[static_cast<std::size_t>(currentPage_)]->SearchBox(); box && box->isEnabled())
        box->setFocus(Qt::ShortcutFocusReason);
}

void TMainForm::ShowConnectionLost(bool lost)
{
    lost = lost && LoggedIn();
    if (lost == connectionLost_)
        return;
    connectionLost_ = lost;
    statusSections_->ShowConnectionLost(lost);
    for (AdminPage* page : pages_)
        page->ShowConnectionLost(lost);
}

void TMainForm::CommandEnded(std::exception_ptr error)
{
    if (!error)
        ShowConnectionLost(false);
    else if (IsConnectionLoss(error))
        ShowConnectionLost(true);
}

void TMainForm::SetMinimumWindowSize()
{
    // The page control is hidden while logged out, so its needs are asked for directly.
    QMargins margins = centralWidget()->layout()->contentsMargins();
    QSize pages = mainPageControl_->minimumSizeHint().grownBy(margins);
    QSize client(std::max(DesignedClientSize.width(), pages.width()),
                 std::max(DesignedClientSize.height(), pages.height() + statusBar()->sizeHint().height()));
    setMinimumSize(client.width(), client.height() + menuBar()->sizeHint().height());
    resize(minimumSize());
}

void TMainForm::PlaceWindow()
{
    const WindowPlacement& saved = savedPlacement_;
    // The area inside the frame, as saved: the frame the window manager adds is not known before the window
    // is on screen, so nothing depends on it and nothing drifts from one start to the next.
    const QRect normal(saved.Left, saved.Top, saved.Width, saved.Height);
    if (saved.Width > 0 && saved.Height > 0 && QGuiApplication::screenAt(normal.center()) != nullptr)
        setGeometry(QRect(normal.topLeft(), normal.size().expandedTo(minimumSize())));
    else if (QScreen* screen = this->screen())
    {
        QRect centred = geometry();
        centred.moveCenter(screen->availableGeometry().center());
        setGeometry(centred);
    }
    if (saved.Maximized)
        setWindowState(windowState() | Qt::WindowMaximized);
}

void TMainForm::ServerLost(const QString& message)
{
    ShowConnectionLost(true);
    // A server that refused to take the session back: the window returns to its logged-out look, as after a
    // command met it, but says so without a box.
    statusBar()->showMessage(QLatin1Char(' ') + AfterCommandFailed(message).replace("\n\n", " "));
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
        PlaceWindow();
    }
    QMainWindow::showEvent(event);
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    if (closeConfirmed_ || !AnyPendingEdits())
        return event->accept();
    // The pending edits are resolved first. A save that waits on the server closes the window once it is
    // done.
    closing_ = true;
    RunCommand(this,
               [this]
               {
                   ConfirmPendingEdits(
                       [this]
                       {
                           closeConfirmed_ = true;
                           if (!closing_)
                               close();
                       });
               });
    closing_ = false;
    event->setAccepted(closeConfirmed_);
}

void TMainForm::WriteSettings()
{
    // Each section is flushed on its own, so a failure in one keeps the others; the file is read again each
    // time, so what other programs wrote meanwhile stays.
    auto update = [this](const std::function<void(IniFile&)>& write)
    {
        RunCommand(this,
                   [&]
                   {
                       IniFile settingsFile(settingsFileName_);
                       write(settingsFile);
                       settingsFile.UpdateFile();
                   });
    };
    update(
        [this](IniFile& ini)
        {
            WriteRemoteSettings(ini, remoteSettings_);
            WriteTraceSettings(ini, traceSettings_);
        });
    update(
        [this](IniFile& ini)
        {
            ViewSettings views;
            for (AdminPage* page : pages_)
                page->StoreViewSettings(views);
            WriteViewSettings(ini, views);
        });
    update(
        [this](IniFile& ini)
        {
            const QRect normal = normalGeometry();
            WriteWindowPlacement(ini, {normal.top(), normal.left(), normal.height(), normal.width(),
                                       (windowState() & Qt::WindowMaximized) != 0});
        });
}

} // namespace korvel::admin
