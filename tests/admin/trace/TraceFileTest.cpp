// The trace file shared by the background runner's worker, which writes, and the Trace Log dialog, which
// reads and clears it on the user-interface thread.
#include "admin/trace/TraceFile.h"

#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

namespace korvel::test
{
namespace
{

TEST(TraceFileTest, ReadsAndClearsWhileAnotherThreadWritesWithoutTornLines)
{
    QTemporaryDir dir;
    admin::TraceFile trace(dir.filePath("admin1.LOG"));
    trace.Open();
    std::atomic<bool> writing = true;
    std::thread worker(
        [&]
        {
            for (int line = 0; line < 20000; ++line)
                trace.WriteLine("Request " + std::to_string(line) + " completed in 0 msecs");
            writing = false;
        });
    const QRegularExpression wholeLine(QStringLiteral("^Request \\d+ completed in 0 msecs$"));
    int reads = 0;
    while (writing)
    {
        for (const QString& line : trace.ReadLines())
            ASSERT_TRUE(wholeLine.match(line).hasMatch()) << line.toStdString();
        if (++reads % 4 == 0)
            trace.Clear();
    }
    worker.join();
    trace.Clear();
    trace.WriteLine("after");
    EXPECT_EQ(trace.ReadLines(), QStringList{QStringLiteral("after")}) << "appending goes on after a clear";
    trace.Remove();
    EXPECT_TRUE(trace.ReadLines().isEmpty());
}

} // namespace
} // namespace korvel::test
