#include "admin/common/OffThread.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

#include <exception>
#include <thread>

namespace korvel::admin
{

void RunOffThreadAndWait(const std::function<void()>& work)
{
    std::exception_ptr error;
    QEventLoop loop;
    std::thread worker(
        [&]
        {
            try
            {
                work();
            }
            catch (...)
            {
                error = std::current_exception();
            }
            // Queued: processed by the loop below, even when posted before it runs.
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
    if (error)
        std::rethrow_exception(error);
}

void RunOnUiThread(const std::function<void()>& onUiThread)
{
    QObject* application = QCoreApplication::instance();
    if (QThread::currentThread() == application->thread())
        return onUiThread();
    QMetaObject::invokeMethod(application, onUiThread, Qt::BlockingQueuedConnection);
}

} // namespace korvel::admin
