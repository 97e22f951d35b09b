// `orvik rescale` on a busy machine: complete rescales while a load generator
// keeps every core busy, and a run stopped by SIGTERM in the middle of its
// write. Built a second time as orvik_rescale_soak (not run by the suite),
// which repeats the rescale under load ORVIK_SOAK_RUNS times (30 by default)
// and prints how many failed.

#include "rescale_test_support.h"

#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

using namespace RescaleTest;
using Hvd::Weft::Communication::VeltrixDeviceService;

namespace
{

#ifndef ORVIK_SOAK_RUNS
constexpr int defaultRuns = 3;
#else
constexpr int defaultRuns = ORVIK_SOAK_RUNS;
#endif

int runCount()
{
    const int fromEnvironment = qEnvironmentVariableIntValue("ORVIK_SOAK_RUNS");
    return fromEnvironment > 0 ? fromEnvironment : defaultRuns;
}

} // namespace

TEST(RescaleUnderLoad, EveryRescaleSucceedsWhileAllCoresAreBusy)
{
    const int runs = runCount();
    int failures = 0;
    {
        CpuLoad load;
        for (int run = 1; run <= runs; ++run)
        {
            OrvikSimulatorOptions options;
            options.sensor.variant = QStringLiteral("Orvik 82.5");
            options.sensor.kfactor = 1.2;
            OrvikSimulatorFixture sensor(options);
            ASSERT_TRUE(sensor.isReady()) << sensor.errorString().toStdString();
            // Both sizes the failures were first seen with: a fixed and a free one.
            const QStringList arguments =
                run % 2 ? QStringList{"--port", sensor.devicePath(), "--size", "D80"}
                        : QStringList{"--port", sensor.devicePath(), "--size", "Dxx", "--diameter", "123.4"};
            const Outcome outcome = runProgram(arguments);
            const bool ok = outcome.exitCode == RescaleArguments::Success && sensor.restartCount() == 1 &&
                            sensor.requestCount(131) >= 8;
            failures += ok ? 0 : 1;
            EXPECT_TRUE(ok) << "run " << run << ":\n" << outcome.text();
            std::fprintf(stderr, "rescale %d of %d under load: %s\n", run, runs, ok ? "ok" : "FAILED");
        }
    }
    std::fprintf(stderr, "%d of %d rescales under load failed\n", failures, runs);
}

TEST(RescaleInterrupted, SigtermInTheMiddleOfTheWriteStopsReleasesAndKeepsTheLog)
{
    OrvikSimulatorOptions options;
    options.sensor.variant = QStringLiteral("Orvik 82.5");
    OrvikSimulatorFixture sensor(options);
    ASSERT_TRUE(sensor.isReady()) << sensor.errorString().toStdString();
    WorkDirectory work;

    QProcess process;
    process.setWorkingDirectory(work.path());
    process.start(programPath(), {"rescale", "--port", sensor.devicePath(), "--size", "D80"});
    QByteArray out;
    ASSERT_TRUE(QTest::qWaitFor(
        [&]
        {
            out += process.readAllStandardOutput();
            return sensor.requestCount(131) >= 2;
        },
        runTimeoutMs))
        << out.toStdString();
    const int writesAtSignal = sensor.requestCount(131);
    process.terminate();
    ASSERT_TRUE(process.waitForFinished(10000));
    out += process.readAllStandardOutput();
    const QString err = QString::fromUtf8(process.readAllStandardError());

    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), RescaleArguments::RescaleFailed);
    EXPECT_TRUE(err.contains("Interrupted by SIGTERM: the rescale was stopped and the port released."))
        << err.toStdString();
    EXPECT_TRUE(err.contains("Writing parameters")) << err.toStdString();
    // Stopped: no more writes, no factory defaults, no restart.
    QTest::qWait(500);
    EXPECT_LE(sensor.requestCount(131), writesAtSignal + 1);
    EXPECT_EQ(sensor.requestCount(143), 0);

    const QByteArray log = work.log();
    for (const char* line :
         {"[info] [main] Starting orvik rescale", "Command: 131", "[warning] [main] Received SIGTERM",
          "Operation was aborted and com port was closed!"})
        EXPECT_TRUE(log.contains(line)) << line << "\n" << log.toStdString();
    EXPECT_TRUE(log.trimmed().endsWith("[info] [main] Closing orvik rescale, return code 1"))
        << log.toStdString();
}

// SIGTERM a moment after the adapter was pulled in the middle of the write:
// whichever the program hears first ends the run, once, with the log closed.
TEST(RescaleInterrupted, SigtermRightAfterAHangUpEndsTheRunOnce)
{
    OrvikSimulatorFixture sensor;
    ASSERT_TRUE(sensor.isReady()) << sensor.errorString().toStdString();
    sensor.hangUpAtNextRequest(131);
    WorkDirectory work;
    QProcess process;
    process.setWorkingDirectory(work.path());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), testDataHome());
    process.setProcessEnvironment(environment);
    process.start(programPath(), {"rescale", "--port", sensor.devicePath(), "--size", "D80"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return sensor.hungUp(); }, runTimeoutMs));
    process.terminate();
    ASSERT_TRUE(process.waitForFinished(10000));
    const QString err = QString::fromUtf8(process.readAllStandardError());

    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), RescaleArguments::RescaleFailed) << err.toStdString();
    const int endings = static_cast<int>(err.count(VeltrixDeviceService::lineLostText()) +
                                         err.count(QLatin1String("Interrupted by SIGTERM")));
    EXPECT_EQ(endings, 1) << err.toStdString();
    const QByteArray log = work.log();
    EXPECT_EQ(log.count("Closing orvik rescale, return code 1"), 1) << log.toStdString();
    EXPECT_TRUE(log.trimmed().endsWith("[info] [main] Closing orvik rescale, return code 1"))
        << log.toStdString();
}
