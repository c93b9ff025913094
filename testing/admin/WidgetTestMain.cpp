// The window and page tests run offscreen unless told otherwise; the session list lives for the whole
// program.
#include "session/SessionList.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    korvel::CreateSessions();
    int result = RUN_ALL_TESTS();
    korvel::DestroySessions();
    return result;
}
