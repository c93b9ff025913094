// The pages read and shown as the login does, for fixtures, screenshots and benchmarks that have no window.
#pragma once

#include "admin/common/AdminPage.h"
#include "admin/common/BackgroundRunner.h"

#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <vector>

namespace korvel::test
{

// Runs the login's reads on `runner`, turns the event loop until they are back, and shows them; false when
// the reads failed or took more than a minute.
inline bool ShowLoggedIn(admin::BackgroundRunner& runner, const std::vector<admin::AdminPage*>& pages)
{
    QObject receiver;
    admin::PagesAtLogin read;
    // Woken by the delivery itself: a benchmark timing the login must not count naps between polls.
    QEventLoop loop;
    bool done = false;
    bool failed = false;
    auto finish = [&](bool failure)
    {
        failed = failure;
        done = true;
        loop.quit();
    };
    if (!runner.Submit(
            &receiver, {}, [&](admin::JobContext& job) { read = admin::PagesAtLogin::Read(pages, job); },
            [&] { finish(false); }, [&](std::exception_ptr) { finish(true); }))
        return false;
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    if (!done)
        loop.exec();
    if (!done || failed)
        return false;
    read.Show(pages);
    return true;
}

} // namespace korvel::test
