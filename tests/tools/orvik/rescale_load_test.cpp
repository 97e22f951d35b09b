// `orvik` on a busy machine: complete rescales while a load generator keeps
// every core busy, and a values read stopped by SIGTERM under load. The
// suite runs alone: it loads every core. Built a second time as orvik_rescale_soak (not run by the suite),
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
            options.timing = TestSupport::testTiming();
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

// With every core busy: a read stopped by SIGTERM releases the port at once,
// and the next read on the same line gets exactly the sensor's values.
TEST(ValuesProgram, UnderLoadASigtermStopsTheReadAndTheNextOneWorks)
{
    OrvikSimulatorOptions steered;
    steered.sensor.deviceVariables = Sim::parseLiveVariables("17:1/2/3/4/5/6/7/8/9/10/11/12,41:0.5,32:20");
    steered.sensor.burstVariables = Sim::parseLiveVariables("7:1.5/2.5");
    steered.sensor.status = 0x81;
    OrvikSimulatorFixture sensor(steered);
    ASSERT_TRUE(sensor.isReady()) << sensor.errorString().toStdString();
    CpuLoad load;
    WorkDirectory work;
    QProcess process;
    process.setWorkingDirectory(work.path());
    process.start(programPath(), {"values", "--port", sensor.devicePath(), "--samples", "40"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return sensor.requestCount(138) >= 3; }, runTimeoutMs));
    process.terminate();
    ASSERT_TRUE(process.waitForFinished(10000));
    const int samplesAtSignal = sensor.requestCount(138);
    EXPECT_EQ(process.exitCode(), 1);
    EXPECT_TRUE(QString::fromUtf8(process.readAllStandardError())
                    .contains("Interrupted by SIGTERM: the run was stopped and the port released."));
    QTest::qWait(500);
    EXPECT_EQ(sensor.requestCount(138), samplesAtSignal);

    const Outcome next =
        runOrvik({"values", "--port", sensor.devicePath(), "--samples", "2", "--format", "csv"});
    EXPECT_EQ(next.exitCode, 0) << next.text();
    // The flows go on from where the stopped read left them.
    ASSERT_EQ(next.out.size(), 3) << next.text();
    const int flow = samplesAtSignal % 12 + 1;
    EXPECT_TRUE(next.out[1].startsWith(QStringLiteral("1,129,Out overflow; Flow too high,%1,L/m").arg(flow)))
        << next.text();
}
