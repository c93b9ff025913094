// What the page benchmarks measure against: a reference server, a session logged in to it as its
// administrator, and every page built in a shown tab window with the background runner that carries the
// pages' session calls, as the window has them after a login.
#pragma once

#include "admin/common/AdminPage.h"
#include "admin/common/BackgroundRunner.h"
#include "admin/common/WindowJournal.h"
#include "session/KORVELSession.h"
#include "testing/AdminLogin.h"
#include "testing/RefServer.h"
#include "testing/TempDir.h"

#include <QApplication>
#include <QLatin1String>
#include <QSize>
#include <QString>
#include <QTabWidget>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace korvel::bench
{

// The session-info requests of a Status page refresh, made raw: the count, then each session's record.
inline void ReadSessionInfos(TKORVELSession& session)
{
    const std::int32_t count = session.GetServerSessionCount();
    for (std::int32_t number = 1; number <= count; ++number)
    {
        std::int32_t id = 0;
        double createdOn = 0, lastConnected = 0;
        std::string user, address, detail;
        bool internet = false;
        session.GetServerSessionInfo(number, id, createdOn, lastConnected, user, address, internet, detail);
    }
}

class PagesWindow
{
public:
    struct Setup
    {
        std::string SessionName;
        QSize Size;
        test::RefServerOptions Server = {};
        // Adds what the server must hold through the logged-in session, before the pages are built.
        std::function<void(TKORVELSession&)> Populate = {};
    };

    explicit PagesWindow(Setup setup) : server_(std::move(setup.Server))
    {
        test::LogInAsAdministrator(session_, server_, setup.SessionName);
        if (setup.Populate)
            setup.Populate(session_);
        window_.resize(setup.Size);
        runner_ = std::make_unique<admin::BackgroundRunner>(session_);
        pages_ = admin::CreatePages({session_, QString(), *runner_, journal_}, &window_);
        for (admin::AdminPage* page : pages_)
            window_.addTab(page, page->Caption());
        window_.show();
        QApplication::processEvents();
    }
    // The pages go with the window, after the runner that delivers to them.
    ~PagesWindow()
    {
        window_.hide(); // no page may be shown (and so start a read) once the runner is gone
        runner_.reset();
        session_.SetActive(false);
    }
    PagesWindow(const PagesWindow&) = delete;
    PagesWindow& operator=(const PagesWindow&) = delete;

    test::RefServer& Server() { return server_; }
    TKORVELSession& Session() { return session_; }
    admin::BackgroundRunner& Runner() const { return *runner_; }
    QTabWidget& Window() { return window_; }
    const QTabWidget& Window() const { return window_; }
    const std::vector<admin::AdminPage*>& Pages() const { return pages_; }
    // The window's widget of that object name.
    template <typename T> T* Find(const char* name) const
    {
        return window_.findChild<T*>(QLatin1String(name));
    }
    // The first page of that class, or null.
    template <typename Page> Page* PageOf() const
    {
        for (admin::AdminPage* page : pages_)
            if (auto* found = dynamic_cast<Page*>(page))
                return found;
        return nullptr;
    }

private:
    test::RefServer server_;
    TKORVELSession session_;
    // The pages' changes are recorded here, never in the account's own journal.
    test::TempDir stateDir_{"korvel-bench-journal"};
    admin::WindowJournal journal_{stateDir_ / "journal.jsonl", {}};
    std::unique_ptr<admin::BackgroundRunner> runner_;
    QTabWidget window_;
    std::vector<admin::AdminPage*> pages_;
};

} // namespace korvel::bench
