// The pages read and shown as the login does, for fixtures, screenshots and benchmarks that have no window.
#pragma once

#include "admin/common/AdminPage.h"
#include "admin/common/BackgroundRunner.h"

#include <QObject>
#include <QTest>

#include <vector>

namespace korvel::test
{

// Runs the login's reads on `runner`, turns the event loop until they are back, and shows them; false when
// the reads failed or took more than a minute.
inline bool ShowLoggedIn(admin::BackgroundRunner& runner, const std::vector<admin::AdminPage*>& pages)
{
    QObject receiver;
    admin::PagesAtLogin read;
    bool done = false;
    bool failed = false;
    if (!runner.Submit(
            &receiver, {}, [&](admin::JobContext& job) { read = admin::PagesAtLogin::Read(pages, job); },
            [&] { done = true; }, [&](std::exception_ptr) { failed = done = true; }))
        return false;
    if (!QTest::qWaitFor([&] { return done; }, 60000) || failed)
        return false;
    read.Show(pages);
    return true;
}

} // namespace korvel::test
