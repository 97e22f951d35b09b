// OrvikRescaler::start end to end in this process: log file, event loop
// code, closing line.
#include "app/OrvikRescaler.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <csignal>

#include <gtest/gtest.h>

namespace
{
OrvikRescaler* application = nullptr;
}

TEST(OrvikRescaler, StartRunsTheEventLoopAndLogsItsCode)
{
    QTemporaryDir workDir;
    // The program reads its catalogues relative to the working directory.
    ASSERT_TRUE(QDir(workDir.path()).mkdir("translations"));
    ASSERT_TRUE(QFile::copy(QCoreApplication::applicationDirPath() + "/translations/OrvikRescaler_de.qm",
                            workDir.filePath("translations/OrvikRescaler_de.qm")));
    ASSERT_TRUE(QDir::setCurrent(workDir.path()));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, workDir.path());

    QTimer::singleShot(50,
                       []
                       {
                           EXPECT_FALSE(QApplication::topLevelWidgets().isEmpty());
                           QCoreApplication::exit(7);
                       });
    EXPECT_EQ(application->start(), 7);

    QFile log(workDir.filePath("OrvikRescaler.log"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = log.readAll().trimmed().split('\n');
    ASSERT_GE(lines.size(), 2);
    EXPECT_TRUE(lines.front().endsWith("] [info] [main] Starting OrvikRescaler"))
        << lines.front().toStdString();
    EXPECT_TRUE(lines.back().endsWith("] [info] [main] Closing OrvikRescaler, return code 7"))
        << lines.back().toStdString();
    // The window saved its geometry on the way out.
    EXPECT_TRUE(QSettings().contains("Ui/MainWindow/Geometry"));
}

// Stopped from outside: the event loop ends with the termination code and the
// log keeps everything up to the closing line.
TEST(OrvikRescaler, TerminationSignalLeavesThroughTheNormalPath)
{
    QTemporaryDir workDir;
    ASSERT_TRUE(QDir::setCurrent(workDir.path()));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, workDir.path());

    QTimer::singleShot(50, [] { std::raise(SIGTERM); });
    EXPECT_EQ(application->start(), OrvikRescaler::terminatedReturnCode);

    QFile log(workDir.filePath("OrvikRescaler.log"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray text = log.readAll().trimmed();
    EXPECT_TRUE(text.contains("] [warning] [main] Received SIGTERM, closing")) << text.toStdString();
    EXPECT_TRUE(text.endsWith("] [info] [main] Closing OrvikRescaler, return code 1")) << text.toStdString();
    // The handler goes with the program: the signal's own disposition is back.
    struct sigaction current = {};
    ASSERT_EQ(sigaction(SIGTERM, nullptr, &current), 0);
    EXPECT_EQ(current.sa_handler, SIG_DFL);
}

TEST(OrvikRescaler, StartsWithoutALogFileWhereNoneCanBeOpened)
{
    QTemporaryDir workDir;
    // A folder in the log file's place: the file cannot be opened, even by root.
    ASSERT_TRUE(QDir(workDir.path()).mkdir("OrvikRescaler.log"));
    ASSERT_TRUE(QDir::setCurrent(workDir.path()));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, workDir.path());

    QTimer::singleShot(50, [] { QCoreApplication::exit(3); });
    EXPECT_EQ(application->start(), 3);
}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    OrvikRescaler app(argc, argv);
    application = &app;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
