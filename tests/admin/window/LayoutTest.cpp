// Every window of the program fits the screen it opens on: its title bar and menu on screen, its buttons
// inside it, and no search box clipping the hint it shows. CTest runs this once on an 800x600 screen and once
// on a 1280x800 screen at twice the scale (CMakeLists.txt); the screen here is whichever the run was given.
#include "tests/admin/window/WindowFixture.h"

#include "admin/connection/ProfilesDialog.h"
#include "admin/connection/SshQuestionDialog.h"
#include "admin/dialogs/AboutDialog.h"
#include "admin/history/ChangeHistoryDialog.h"
#include "credentials/Keyring.h"
#include "session/ui/LoginDialog.h"
#include "settings/Profiles.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QTest>

namespace korvel::test
{
namespace
{

// What a window shows, checked against its screen's free area. `where` names it in failures.
void ExpectFits(QWidget& window, const std::string& where)
{
    SCOPED_TRACE(where);
    if (!window.isVisible())
        window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QApplication::processEvents();
    const QRect screen = window.screen()->availableGeometry();
    EXPECT_TRUE(screen.contains(window.frameGeometry()))
        << "window " << window.frameGeometry().width() << "x" << window.frameGeometry().height() << "+"
        << window.frameGeometry().x() << "+" << window.frameGeometry().y() << " on " << screen.width() << "x"
        << screen.height();
    // Buttons of a part that scrolls (the main window's pages on a small screen) are reached by scrolling.
    auto scrolls = [&window](QWidget* widget)
    {
        for (QWidget* above = widget->parentWidget(); above && above != &window;
             above = above->parentWidget())
            if (qobject_cast<QScrollArea*>(above))
                return true;
        return false;
    };
    for (QAbstractButton* button : window.findChildren<QAbstractButton*>())
    {
        if (button->isVisibleTo(&window) && button->window() == &window && !scrolls(button))
        {
            EXPECT_TRUE(window.rect().contains(QRect(button->mapTo(&window, QPoint(0, 0)), button->size())))
                << "button \"" << button->text().toStdString() << "\" outside the window";
        }
    }
    for (QLineEdit* edit : window.findChildren<QLineEdit*>())
    {
        if (!edit->isVisibleTo(&window) || edit->placeholderText().isEmpty())
            continue;
        // The text area: the frame's margins and, when offered, the clear button take the rest.
        const int clearButton = edit->isClearButtonEnabled() ? edit->height() : 0;
        EXPECT_LE(edit->fontMetrics().horizontalAdvance(edit->placeholderText()),
                  edit->width() - 8 - clearButton)
            << "the hint of " << edit->objectName().toStdString() << " is clipped";
    }
}

class LayoutTest : public WindowTest
{
};

TEST_F(LayoutTest, TheMainWindowFitsLoggedOutAndOnEveryPage)
{
    StartServer();
    OpenWindow(admin::CreatePages);
    ExpectFits(*form, "logged out");
    EXPECT_GE(form->menuBar()->mapToGlobal(QPoint(0, 0)).y(), form->screen()->availableGeometry().top());
    LoginAsAdmin();
    for (int page = 0; page < PageControl()->count(); ++page)
    {
        PageControl()->setCurrentIndex(page);
        ExpectFits(*form, PageControl()->tabText(page).toStdString());
    }
}

TEST_F(LayoutTest, EveryDialogFits)
{
    StartServer();
    OpenWindow(admin::CreatePages);
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    settings::ProfileStore store;
    SshQuestion hostKey;
    hostKey.Server = "bastion.example.org:22";
    hostKey.KeyType = "ssh-ed25519";
    hostKey.Fingerprint = "SHA256:" + std::string(43, 'A');
    SshQuestion password;
    password.What = SshQuestion::Kind::Password;
    password.Server = hostKey.Server;
    password.User = "operator";
    std::vector<std::unique_ptr<QWidget>> made;
    auto keep = [&](std::unique_ptr<QWidget> dialog)
    {
        made.push_back(std::move(dialog));
        return made.back().get();
    };
    const std::vector<std::pair<std::string, std::function<QWidget*()>>> dialogs = {
        {"Options", [&] { return options.get(); }},
        {"Trace Log", [&] { return traceLog.get(); }},
        {"Login", [&] { return keep(std::make_unique<ui::TLoginDialog>(form.get())); }},
        {"Profiles",
         [&]
         {
             return keep(std::make_unique<admin::ProfilesDialog>(
                 form.get(), store, credentials::Availability{}, form->Runner()));
         }},
        {"SSH host key",
         [&] { return keep(std::make_unique<admin::SshQuestionDialog>(form.get(), hostKey)); }},
        {"SSH password",
         [&] { return keep(std::make_unique<admin::SshQuestionDialog>(form.get(), password, true)); }},
        {"About",
         [&]
         {
             return keep(std::make_unique<admin::AboutDialog>(
                 admin::AboutFacts{"KORVEL Admin", "1.0.0", {{"Settings", SettingsPath()}}}, form.get()));
         }},
        {"Change History",
         [&] { return keep(std::make_unique<admin::ChangeHistoryDialog>(form->JournalPath(), form.get())); }},
    };
    for (const auto& [name, make] : dialogs)
    {
        QWidget* dialog = make();
        ExpectFits(*dialog, name);
        dialog->hide();
    }
    qunsetenv("XDG_CONFIG_HOME");
}

} // namespace
} // namespace korvel::test
