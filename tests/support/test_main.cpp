#include <QApplication>
#include <QStandardPaths>
#include <QThread>
#include <gtest/gtest.h>

// One QApplication for the whole test executable: widgets, timers, queued
// connections and the event loop helpers all need it.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Backups and reports of runs without a folder of their own stay out of
    // the user's data.
    QStandardPaths::setTestModeEnabled(true);
    // Log lines name the GUI thread as the application does.
    QThread::currentThread()->setObjectName("main");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
