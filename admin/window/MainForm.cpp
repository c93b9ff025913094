// The window's creation and destruction, its menu, status bar and size, its settings, and the Options
// command. Logging in and out is the LoginController's, the pages and their pending-edit guard the
// PageControl's.
#include "admin/window/MainForm.h"
#include "settings/IniFile.h"

#include "admin/common/BackgroundRunner.h"
#include "admin/common/Command.h"
#include "admin/common/CommandFocus.h"
#include "admin/common/Dialogs.h"
#include "admin/common/FirstPaint.h"
#include "admin/common/Help.h"
#include "admin/common/HelpFile.h"
#include "admin/common/WaitIndicator.h"
#include "admin/common/WindowJournal.h"
#include "admin/dialogs/AboutDialog.h"
#include "admin/dialogs/OptionsDlg.h"
#include "admin/history/ChangeHistoryDialog.h"
#include "admin/window/OptionsItem.h"
#include "admin/window/PageControl.h"
#include "admin/window/ProfileWindows.h"
#include "admin/window/Settings.h"
#include "admin/window/StatusBarSections.h"
#include "admin/window/WindowPlace.h"
#include "admin/window/WindowTitle.h"
#include "session/KORVELSession.h"
#include "settings/Profiles.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QWhatsThis>

#include <initializer_list>
#include <utility>

namespace korvel::admin
{

namespace
{

// The smallest client area: the one the window was designed for, or more when the default font needs it.
constexpr QSize DesignedClientSize(761, 439);
// Room left on the screen for the frame and title bar a window manager adds (not known before showing).
constexpr QSize WindowFrameAllowance(16, 48);

} // namespace

TMainForm::TMainForm(MainFormSetup setup) : setup_(std::move(setup))
{
    setObjectName("MainForm");
    InstallDialogs(*this, setup_.InstalledDialogs);

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
    runner_ = std::make_unique<BackgroundRunner>(*remoteSession_);
    journal_ = std::make_unique<WindowJournal>(journal::DefaultPath(),
                                               [this] { return login_->ConnectedProfile(); });
    CreateMenu();
    commandFocus_ = new CommandFocus(*this, this);
    commandFocus_->WatchBeforePages(*runner_);
    // Logging out or changing the connection while a command waits on the server would drop its result.
    connect(runner_.get(), &BackgroundRunner::commandRunningChanged, this,
            [this](bool running)
            {
                for (QAction* item : {actions_.Login, actions_.Options, actions_.ConnectTo})
                    item->setEnabled(!running);
            });
    statusBar()->setObjectName("StatusBar");
    SetHelpContext(statusBar(), 6);
    statusSections_ = std::make_unique<StatusBarSections>(statusBar());
    waitIndicator_ = new WaitIndicator(
        *runner_, [this] { return ServerEndpoint(login_->Place()); }, this, statusBar());
    // A permanent section, so a menu hint never hides the Cancel.
    statusBar()->insertPermanentWidget(0, waitIndicator_, 1);
    CreatePageControl(setup_.CreatePages);
    commandFocus_->WatchAfterPages(*runner_);
    login_ = std::make_unique<LoginController>(
        LoginWindow{*this, setup_.Version.ProductName, actions_.Login, actions_.FileMenu, actions_.AfterLogin,
                    *statusSections_, *commandFocus_,
                    [this](int index)
                    {
                        // Every login starts here, and it reads every page.
                        EnsurePages();
                        pages_->SetActivePage(index);
                    },
                    [this](std::function<void()> proceed)
                    { pages_->ConfirmPendingEdits(std::move(proceed)); }},
        *remoteSession_, *runner_, pages_->Pages(), remoteSettings_);
    connect(login_.get(), &LoginController::loggedInChanged, this,
            [this](bool loggedIn) { ShowPages(loggedIn); });
    actions_.ConnectTo = login_->ConnectToItem();
    login_->ShowLoggedIn(false);
    optionsItem_ = std::make_unique<OptionsItem>(*this, remoteSettings_, traceSettings_, *login_, *runner_,
                                                 *remoteSession_);
    CreateChangeHistoryItem();
    CreateNewWindowItem();
    SetMinimumWindowSize();

    Dialogs& dialogs = DialogsFor(this);
    traceFile_ =
        std::make_unique<TraceFile>(setup_.Files.TraceFileName(QCoreApplication::applicationPid(), dialogs));
    // Without a trace file the window still works: the error is shown and trace lines are dropped.
    RunCommand(this, [this] { traceFile_->Open(); });

    settingsFileName_ =
        setup_.Files.SettingsFileName(setup_.Version.SettingsBaseName(), dialogs).toStdString();
    // A file that cannot be read (one far too large) is said, and the window starts with its defaults.
    IniFile settingsFile(settingsFileName_, "");
    RunCommand(this, [&] { settingsFile = IniFile(settingsFileName_); });
    savedPlacement_ = ReadWindowPlacement(settingsFile, {}); // no size: nothing saved yet
    // A window on a profile starts where that profile's window was left, else where the main window was.
    if (!setup_.StartProfile.empty())
        savedPlacement_ = ReadWindowPlacement(settingsFile, savedPlacement_, setup_.StartProfile);
    views_ = ReadViewSettings(settingsFile);
    for (AdminPage* page : pages_->Pages())
        page->ApplyViewSettings(views_);

    setWindowTitle(setup_.Version.ProductName);
    QCoreApplication::setApplicationName(setup_.Version.ProductName);

    // The connection settings reach the session with each login.
    remoteSettings_ = ReadRemoteSettings(settingsFile);
    traceSettings_ = ReadTraceSettings(settingsFile);
    pages_->SetActivePage(0);
    if (setup_.CreatePagesAfterPaint)
        RunAfterFirstPaint(this, [this] { EnsurePages(); });
    // Nothing painted shows help text: the file is read after the first paint; its texts reach every control
    // made so far, and the controls made later read it themselves.
    RunAfterFirstPaint(this, [this] { UseHelpFile(setup_.Files.HelpFileName()); });
}

void TMainForm::EnsurePages()
{
    if (!setup_.CreatePagesAfterPaint)
        return;
    const PageFactory createPages = std::exchange(setup_.CreatePagesAfterPaint, {});
    const std::vector<AdminPage*> made = createPages(PageContextOfWindow(), mainPageControl_);
    pages_->InsertPagesFirst(made);
    // As the pages made in the constructor were given them.
    for (AdminPage* page : made)
    {
        page->ApplyViewSettings(views_);
        page->LoggedInChanged(LoggedIn());
    }
    commandFocus_->WatchAfterPages(*runner_);
    // Only ever larger: the window keeps the size and place it was shown with.
    setMinimumSize(MinimumWindowSize());
    pages_->SetActivePage(0);
}

TMainForm::~TMainForm()
{
    WriteSettings();
    login_->LogoutAtExit();
    if (traceSettings_.KeepTraceFile)
        traceFile_->Close();
    else
        traceFile_->Remove();
    login_.reset();
    // No delivery may reach a page once it is gone, and the pages hold the session: they go before it does.
    runner_.reset();
    delete mainPageControl_;
}

void TMainForm::SetDialogs(TOptionsDlg* options, TTraceLogDlg* traceLog)
{
    optionsDlg_ = options;
    traceLogDlg_ = traceLog;
    // Top-level windows of their own, so no parent leads from them to this window's dialogs.
    for (QWidget* dialog : std::initializer_list<QWidget*>{options, traceLog})
        if (dialog != nullptr)
            InstallDialogs(*dialog, setup_.InstalledDialogs);
}

void TMainForm::CreateMenu()
{
    QMenu* fileMenu = actions_.FileMenu = menuBar()->addMenu(tr("&File"));
    fileMenu->setObjectName("FileMenu");
    QAction* login = actions_.Login = fileMenu->addAction(tr("&Login to Server"));
    login->setObjectName("LoginItem");
    login->setStatusTip(tr("Login to the Server"));
    connect(login, &QAction::triggered, this,
            [this] { RunCommand(this, [this] { login_->LoginItemClick(); }); });
    actions_.AfterLogin = fileMenu->addSeparator();
    QAction* options = actions_.Options = fileMenu->addAction(tr("&Options..."));
    options->setObjectName("OptionsItem");
    options->setStatusTip(tr("Change options"));
    connect(options, &QAction::triggered, this,
            [this] { RunCommand(this, [this] { optionsItem_->Click(*optionsDlg_); }); });
    fileMenu->addSeparator();
    QAction* exit = actions_.Exit = fileMenu->addAction(tr("E&xit"));
    exit->setObjectName("FileExitItem");
    exit->setStatusTip(tr("Exit application"));
    connect(exit, &QAction::triggered, this, [this] { FileExit(); });

    QMenu* helpMenu = menuBar()->addMenu(tr("&Help"));
    helpMenu->setObjectName("HelpMenu");
    QAction* contents = actions_.HelpContents = helpMenu->addAction(tr("&Contents"));
    contents->setObjectName("HelpContentsItem");
    // HelpContentsItemClick: the help file's overview topic.
    connect(contents, &QAction::triggered, this,
            [this] {
                QWhatsThis::showText(mapToGlobal(rect().center()), ApplicationHelpFile().PopupText(0), this);
            });
    helpMenu->addSeparator();
    QAction* about = actions_.HelpAbout =
        helpMenu->addAction(tr("&About %1...").arg(setup_.Version.ProductName));
    about->setObjectName("HelpAboutItem");
    about->setStatusTip(tr("Version, libraries, license and the files this program uses"));
    connect(about, &QAction::triggered, this, [this] { RunCommand(this, [this] { HelpAboutItemClick(); }); });
}

void TMainForm::HelpAboutItemClick()
{
    const auto path = [](const std::string& name) { return QFile::decodeName(name.c_str()); };
    AboutDialog dialog(
        {setup_.Version.ProductName,
         setup_.Version.FileVersion,
         {{tr("Settings"), path(settingsFileName_)},
          {tr("Profiles"), path(settings::DefaultProfilesFileName())},
          {tr("Change journal"), path(JournalPath())},
          {tr("SSH known_hosts"),
           tr("%1/.ssh/known_hosts (unless ~/.ssh/config or a profile names another)").arg(QDir::homePath())},
          {tr("Trace"), TraceFileName()},
          {tr("Help"), setup_.Files.HelpFileName()}}},
        this);
    ExecModal(dialog);
}

void TMainForm::CreateChangeHistoryItem()
{
    // After the profiles' items, which the login controller puts in.
    auto* history = actions_.ChangeHistory = new QAction(tr("Change &History..."), actions_.FileMenu);
    actions_.FileMenu->insertAction(actions_.AfterLogin, history);
    history->setObjectName("ChangeHistoryItem");
    history->setStatusTip(tr("The changes sent to servers from this account"));
    connect(history, &QAction::triggered, this,
            [this] { RunCommand(this, [this] { ChangeHistoryItemClick(); }); });
}

const std::string& TMainForm::JournalPath() const
{
    return journal_->Path();
}

void TMainForm::ChangeHistoryItemClick()
{
    ChangeHistoryDialog dialog(JournalPath(), this);
    ExecModal(dialog);
}

void TMainForm::CreatePageControl(const PageFactory& createPages)
{
    auto* central = new QWidget(this);
    central->setObjectName("ClientArea");
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(4, 4, 4, 0);

    mainPageControl_ = new QTabWidget(central);
    mainPageControl_->setObjectName("MainPageControl");
    // Before the login controller's, which says the connection is back.
    connect(runner_.get(), &BackgroundRunner::refreshed, this,
            [this](const QDateTime& when, double exchangeMs)
            { statusSections_->ShowRefresh(when, exchangeMs); });
    pages_ = new PageControl(*this, mainPageControl_, createPages(PageContextOfWindow(), mainPageControl_),
                             [this] { return LoggedIn(); });
    layout->addWidget(mainPageControl_);

    loggedOutLabel_ =
        new QLabel(tr("Not connected to a server.\nChoose File, Login to Server to connect."), central);
    loggedOutLabel_->setObjectName("LoggedOutLabel");
    loggedOutLabel_->setAlignment(Qt::AlignCenter);
    loggedOutLabel_->setEnabled(false);
    layout->addWidget(loggedOutLabel_);
    // On a screen smaller than the pages need (800x600, or any screen at a large scale) the window still
    // fits, and the pages scroll inside it.
    auto* scroller = new QScrollArea(this);
    scroller->setObjectName("ClientScroller");
    scroller->setFrameShape(QFrame::NoFrame);
    scroller->setFocusPolicy(Qt::NoFocus); // no Tab stop of its own: Tab goes from the pages to the tabs
    scroller->setWidgetResizable(true);
    scroller->setWidget(central);
    setCentralWidget(scroller);
}

PageContext TMainForm::PageContextOfWindow()
{
    PageContext context{*remoteSession_,
                        setup_.Files.DialogStartDir(),
                        *runner_,
                        *journal_,
                        [this] { return ServerEndpoint(login_->Place()); },
                        [this] { login_->Logout(); }};
    // The first pages are made before the login controller, which reads them.
    context.ConnectedProfile = [this] { return login_ ? login_->ConnectedProfile() : QString(); };
    context.LoginToProfile = [this](const std::string& name) { LoginToProfile(name); };
    return context;
}

void TMainForm::ShowPages(bool loggedIn)
{
    // The pages' own area, inside the scroller that is the central widget.
    pages_->PlaceLoggedOutPages(loggedIn,
                                *static_cast<QBoxLayout*>(mainPageControl_->parentWidget()->layout()));
    mainPageControl_->setVisible(loggedIn);
    loggedOutLabel_->setVisible(!loggedIn);
    for (AdminPage* page : pages_->Pages())
        page->LoggedInChanged(loggedIn);
}

void TMainForm::CreateNewWindowItem()
{
    QMenu* fileMenu = actions_.FileMenu;
    auto* item = actions_.NewWindow =
        new QAction(QCoreApplication::translate("TMainForm", "New &Window..."), fileMenu);
    fileMenu->insertAction(fileMenu->actions().value(0), item);
    item->setObjectName("NewWindowItem");
    item->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N));
    item->setStatusTip(QCoreApplication::translate("TMainForm", "Open another window on another server"));
    connect(item, &QAction::triggered, this, [this] { RunCommand(this, [this] { NewWindowItemClick(); }); });
}

void TMainForm::NewWindowItemClick()
{
    std::string chosen;
    for (AdminPage* page : pages_->Pages())
        if (chosen.empty())
            chosen = page->ChosenProfile();
    if (std::optional<std::string> profile = ProfileForNewWindow(this, chosen))
        StartWindowOn(*profile);
}

void TMainForm::LoginToProfile(const std::string& profileName)
{
    if (LoggedIn() && login_->ConnectedProfile().toStdString() == profileName)
        return pages_->SetActivePage(0);
    login_->LoginToProfile(profileName);
}

QSize TMainForm::MinimumWindowSize() const
{
    // The page control is hidden while logged out, so its needs are asked for directly.
    QMargins margins = static_cast<QScrollArea*>(centralWidget())->widget()->layout()->contentsMargins();
    QSize pages = mainPageControl_->minimumSizeHint().grownBy(margins);
    QSize client(std::max(DesignedClientSize.width(), pages.width()),
                 std::max(DesignedClientSize.height(), pages.height() + statusBar()->sizeHint().height()));
    QSize wanted(client.width(), client.height() + menuBar()->sizeHint().height());
    // Never more than the screen holds with a frame around it: the pages scroll instead.
    if (const QScreen* screen = this->screen())
        wanted = wanted.boundedTo(screen->availableGeometry().size() - WindowFrameAllowance);
    return wanted;
}

void TMainForm::SetMinimumWindowSize()
{
    setMinimumSize(MinimumWindowSize());
    resize(minimumSize());
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
        PlaceWindow(*this, savedPlacement_);
    }
    QMainWindow::showEvent(event);
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    if (closeConfirmed_ || !pages_->AnyPendingEdits())
        return event->accept();
    // The pending edits are resolved first. A save that waits on the server closes the window once it is
    // done.
    closing_ = true;
    RunCommand(this,
               [this]
               {
                   pages_->ConfirmPendingEdits(
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
                       // Under the file's lock, so that another window closing at once loses nothing.
                       settings::UpdateIniFile(settingsFileName_,
                                               [&](IniFile& ini)
                                               {
                                                   write(ini);
                                                   return true;
                                               });
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
            EnsurePages(); // each page writes its own part
            for (AdminPage* page : pages_->Pages())
                page->StoreViewSettings(views);
            WriteViewSettings(ini, views);
        });
    // A window on a profile keeps its own place and leaves the main window's as it was.
    const std::string profile = LoggedIn() ? login_->ConnectedProfile().toStdString() : setup_.StartProfile;
    update(
        [this, &profile](IniFile& ini)
        {
            if (setup_.StartProfile.empty())
                WriteWindowPlacement(ini, PlacementOf(*this));
            if (!profile.empty())
                WriteWindowPlacement(ini, PlacementOf(*this), profile);
        });
}

} // namespace korvel::admin
