// A real korvel-refserver, an active session logged in to it as its administrator, and the six pages made by
// CreatePages, driven through their controls. Questions and dialogs come from a script.
#pragma once

#include "admin/common/AdminPage.h"
#include "admin/common/BackgroundRunner.h"
#include "admin/common/WindowJournal.h"
#include "journal/History.h"
#include "session/KORVELSession.h"
#include "testing/AdminLogin.h"
#include "testing/RefServer.h"
#include "testing/TempDir.h"
#include "testing/admin/ListRows.h"
#include "testing/admin/ScriptedDialogs.h"
#include "testing/admin/WaitFor.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>

#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace korvel::test
{

// The pages in the order CreatePages makes them, which is their tab order.
enum class PageIndex
{
    StatusPage,
    ServerPage,
    UsersPage,
    DatabasesPage,
    DatabaseUsersPage,
    RightsPage,
    LogPage
};

class PagesTest : public ::testing::Test
{
protected:
    using enum PageIndex;

    void SetUp() override { StartServer({}); }

    void TearDown() override
    {
        runner.reset();
        window.reset();
        session.reset();
        server.reset();
    }

    // Replaces the server, session and pages (for servers of other versions or with prepared data).
    void StartServer(RefServerOptions options)
    {
        runner.reset();
        window.reset();
        session.reset();
        server = std::make_unique<RefServer>(std::move(options));
        session = std::make_unique<TKORVELSession>();
        LogInAsAdministrator(*session, *server, "PagesTest");
        runner = std::make_unique<admin::BackgroundRunner>(*session);
        journal =
            std::make_unique<admin::WindowJournal>(stateDir / "journal.jsonl", [this] { return profile; });
        window = std::make_unique<QTabWidget>();
        dialogs.Install(*window);
        window->resize(761, 439);
        sessionWalk = std::make_shared<admin::RecentSessionWalk>();
        pages = admin::CreatePages(
            {*session, programDir, *runner, *journal, {}, [this] { ++logOuts; }, sessionWalk}, window.get());
        for (admin::AdminPage* page : pages)
            window->addTab(page, page->Caption());
    }

    // What the login does with the pages (without the Status page's refresh): their reads on the runner, then
    // what they show.
    void FillAtLogin()
    {
        admin::PagesAtLogin read;
        ASSERT_TRUE(runner->Submit(
            window.get(), {},
            [&](admin::JobContext& job)
            {
                admin::LoginReads reads;
                for (admin::AdminPage* page : pages)
                    read.Shows.push_back(page->ReadAtLogin(job, reads));
            },
            [] {}, [](std::exception_ptr) { ADD_FAILURE() << "the login's reads failed"; }));
        WaitForRunner();
        read.Show(pages);
    }
    // The Status page's refresh at login, read on the runner and shown.
    void RefreshAtLogin()
    {
        std::function<void()> show;
        ASSERT_TRUE(runner->Submit(
            window.get(), {}, [&](admin::JobContext& job) { show = PageAt(StatusPage)->RefreshAtLogin(job); },
            [] {}, [](std::exception_ptr) { ADD_FAILURE() << "the login's refresh failed"; }));
        WaitForRunner();
        if (show)
            show();
    }
    // Saves the page's pending edits as the window's guard does, and waits for the save.
    void SaveEdits(PageIndex index)
    {
        Editable(index)->SaveEdits({});
        WaitForRunner();
    }

    template <typename T = QWidget> T* Find(const char* name) const
    {
        T* widget = window->findChild<T*>(QLatin1String(name));
        if (widget == nullptr)
            ADD_FAILURE() << "no control " << name;
        return widget;
    }
    // Clicks as the user does (errors land in the scripted error box), and waits for what the click sent.
    void Click(const char* name) const
    {
        Press(name);
        WaitForRunner();
    }
    // The click alone: what it sent may still be under way.
    void Press(const char* name) const
    {
        QPushButton* button = Find<QPushButton>(name);
        EXPECT_TRUE(button->isEnabled()) << name << " is greyed";
        QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
    }
    QString Text(const char* name) const { return Find<QLineEdit>(name)->text(); }
    void SetText(const char* name, const QString& text) const { Find<QLineEdit>(name)->setText(text); }
    bool Shown(const char* name) const { return !Find(name)->isHidden(); }
    bool Enabled(const char* name) const { return Find(name)->isEnabled(); }
    bool ReadOnly(const char* name) const { return Find<QLineEdit>(name)->isReadOnly(); }
    // The user picks a row of a name list with the mouse, and the page shows it once read.
    void Pick(const char* list, int row) const
    {
        ClickRow(*Find<QAbstractItemView>(list), row);
        WaitForRunner();
    }
    QStringList Items(const char* list) const { return RowTexts(*Find<QAbstractItemView>(list)); }
    QString Selected(const char* list) const { return CurrentRowText(*Find<QAbstractItemView>(list)); }
    // What the pages' changes left in their journal, oldest first.
    std::vector<journal::Entry> Journaled() const { return journal::ReadHistory(journal->Path()).Entries; }
    admin::AdminPage* PageAt(PageIndex index) const { return pages[static_cast<std::size_t>(index)]; }
    void SetCurrentPage(PageIndex index) const { window->setCurrentIndex(static_cast<int>(index)); }
    admin::EditablePage* Editable(PageIndex index) const { return PageAt(index)->Editable(); }
    admin::TEditState State(PageIndex index) const { return Editable(index)->EditState(); }

    // Keeps the event loop turning until the runner has delivered every result.
    void WaitForRunner() const
    {
        ASSERT_TRUE(WaitFor([&] { return !runner->Busy(); }, 30000));
    }

    ScriptedDialogs dialogs;
    QString programDir = QStringLiteral("/nonexistent-program-dir/");
    std::unique_ptr<RefServer> server;
    std::unique_ptr<TKORVELSession> session;
    // The pages' changes go to a journal of the test's own; `profile` names the login's profile in it.
    TempDir stateDir{"korvel-pages-journal"};
    QString profile;
    std::unique_ptr<admin::WindowJournal> journal;
    std::unique_ptr<admin::BackgroundRunner> runner; // goes before the pages it delivers to
    std::unique_ptr<QTabWidget> window;
    std::vector<admin::AdminPage*> pages;
    int logOuts = 0;                                       // the pages asked the window to log out
    std::shared_ptr<admin::RecentSessionWalk> sessionWalk; // the pages' shared one
};

} // namespace korvel::test
