#include "service_harness.h"

#include "communication/internal/SysCommand.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

using namespace CommTest;
using Internal::SysCommand;
using Sim::Fault;
using Sim::OrvikSimulatorFixture;
using Sim::OrvikSimulatorOptions;
using Sim::SystemCommandRecord;
using Sim::Target;

namespace
{

struct Bench
{
    explicit Bench(QList<Fault> faults = {}, const VELTRIX_Timing& timing = TestSupport::testTiming())
        : sensor(optionsWith(std::move(faults)))
        , harness(timing)
    {
        device = harness.connectTo(linePort(sensor));
        harness.spy.clear();
    }

    static OrvikSimulatorOptions optionsWith(QList<Fault> faults)
    {
        OrvikSimulatorOptions options;
        options.timing = TestSupport::testTiming();
        options.sensor.faults = std::move(faults);
        return options;
    }

    OrvikSimulatorFixture sensor;
    ServiceHarness harness;
    Device device;
};

} // namespace

TEST(SystemCommands, EachSlotSendsItsCodeAndEndsWithItsOwnSignal)
{
    // A store pause far longer than the line's own time, so that it shows.
    VELTRIX_Timing timing = TestSupport::testTiming();
    timing.factoryDefaultsPauseMs = 400;
    Bench bench({}, timing);
    bench.harness.call([dev = bench.device](VeltrixDeviceService& s)
                       { s.resetToFactoryDefaults(Address::Type::Device, dev); });
    ASSERT_TRUE(bench.harness.spy.expectOutcomes({"successResetToFactoryDefaults"}));
    EXPECT_EQ(bench.harness.spy.progress, (QList<unsigned>{0, 10, 100, 100}));
    EXPECT_TRUE(
        bench.harness.spy.logged("Device responded to command 143: values were reset to factory defaults"));

    bench.harness.spy.clear();
    QElapsedTimer clock;
    clock.start();
    bench.harness.call([dev = bench.device](VeltrixDeviceService& s)
                       { s.setCurrentAsFactoryDefaults(Address::Type::Device, dev); });
    ASSERT_TRUE(bench.harness.spy.expectOutcomes({"successSetCurrentAsFactoryDefaults"}));
    // Start delay, request delay and the pause for the device to store its values.
    EXPECT_GE(clock.elapsed(),
              timing.sysCommand.startDelayMs + timing.requestDelayMs + timing.factoryDefaultsPauseMs);
    EXPECT_TRUE(
        bench.harness.spy.logged("Device responded to command 143: values were written as factory defaults"));

    bench.harness.spy.clear();
    bench.harness.call([dev = bench.device](VeltrixDeviceService& s)
                       { s.restartDevice(Address::Type::Device, dev); });
    ASSERT_TRUE(bench.harness.spy.expectOutcomes({"successRestartDevice"}));
    EXPECT_EQ(bench.sensor.restartCount(), 1);
    EXPECT_EQ(bench.sensor.systemCommands(),
              (QList<SystemCommandRecord>{
                  {Target::Device, 1, true}, {Target::Device, 0, true}, {Target::Device, 3, true}}));
    // The port stays open for the next operation.
    EXPECT_TRUE(VeltrixDeviceServiceAccess::port(*bench.harness.service)->isOpen);
}

TEST(SystemCommands, ASecondCommandWhileTheFirstRunsIsRefused)
{
    Bench bench;
    bench.harness.call(
        [dev = bench.device](VeltrixDeviceService& s)
        {
            s.restartDevice(Address::Type::Device, dev);
            s.restartDevice(Address::Type::Device, dev);
        });
    ASSERT_TRUE(bench.harness.spy.expectOutcomes({"error", "successRestartDevice"}));
    EXPECT_EQ(bench.harness.spy.errors, QStringList{"Current operation not finished!"});
    EXPECT_EQ(bench.sensor.restartCount(), 1);
}

TEST(SystemCommands, TheBootloaderPlaceholderNeedsNoBusTraffic)
{
    Bench bench;
    const int before = bench.sensor.requestCount();
    Device placeholder;
    placeholder.name = bootloaderDeviceName;
    bench.harness.call([placeholder](VeltrixDeviceService& s)
                       { s.restartDevice(Address::Type::Device, placeholder); });
    ASSERT_TRUE(bench.harness.spy.expectOutcomes({"successRestartDevice"}));
    EXPECT_EQ(bench.sensor.requestCount(), before);
}

TEST(SystemCommands, FailuresCloseThePort)
{
    {
        Bench bench({Fault::nak(143)});
        bench.harness.call([dev = bench.device](VeltrixDeviceService& s)
                           { s.restartDevice(Address::Type::Device, dev); });
        ASSERT_TRUE(bench.harness.spy.expectOutcomes({"error"}));
        EXPECT_EQ(bench.harness.spy.errors.front(), "Device didn`t acknowledge command 143");
        EXPECT_TRUE(bench.harness.spy.loggedAt(LogLevel::Error, "Device didn`t acknowledge command 143"));
        EXPECT_TRUE(
            waitUntil([&] { return !VeltrixDeviceServiceAccess::port(*bench.harness.service)->isOpen; }));
    }
    {
        Bench bench({Fault::silent(143)}, TestSupport::quickTiming());
        bench.harness.call([dev = bench.device](VeltrixDeviceService& s)
                           { s.restartDevice(Address::Type::Device, dev); });
        ASSERT_TRUE(bench.harness.spy.expectOutcomes({"error"}));
        EXPECT_EQ(bench.harness.spy.errors.front(), "Device didn`t respond -> timeout! !");
        EXPECT_TRUE(bench.harness.spy.loggedAt(LogLevel::Error, "Device didn't answer in time!"));
        EXPECT_TRUE(
            waitUntil([&] { return !VeltrixDeviceServiceAccess::port(*bench.harness.service)->isOpen; }));
    }
}

TEST(SystemCommands, ResetNvmEndsAfterItsWaitOnceAndClosesThePort)
{
    Bench bench;
    QElapsedTimer clock;
    clock.start();
    bench.harness.call(
        [dev = bench.device](VeltrixDeviceService& s)
        {
            VeltrixDeviceServiceAccess::sysCommand(s)->startSystemCommand(Address::Type::Device, dev,
                                                                          {SysCommand::Command::ResetNvm});
        });
    ASSERT_TRUE(bench.harness.spy.expectOutcomes({"successResetNvm"}));
    EXPECT_GE(clock.elapsed(), TestSupport::testTiming().resetNvmWaitMs);
    EXPECT_TRUE(bench.harness.spy.loggedAt(LogLevel::Info, "Operation was aborted and com port was closed!"));
    EXPECT_TRUE(waitUntil([&] { return !VeltrixDeviceServiceAccess::port(*bench.harness.service)->isOpen; }));
    EXPECT_EQ(bench.sensor.systemCommands(), (QList<SystemCommandRecord>{{Target::Device, 2, true}}));
}

// The device stores its factory defaults after answering. The pause must
// leave the device thread free: an abort meanwhile ends the run at once,
// without a success, and the next command works.
TEST(SystemCommands, AnAbortDuringTheStorePauseEndsTheRunWithoutSuccess)
{
    VELTRIX_Timing timing = TestSupport::testTiming();
    timing.factoryDefaultsPauseMs = 5000;
    Bench bench({}, timing);
    bench.harness.call([dev = bench.device](VeltrixDeviceService& s)
                       { s.setCurrentAsFactoryDefaults(Address::Type::Device, dev); });
    ASSERT_TRUE(waitUntil(
        [&]
        {
            return bench.harness.spy.logged(
                "Device responded to command 143: values were written as factory defaults");
        }));
    bench.harness.call([](VeltrixDeviceService& s) { s.abort(); });
    ASSERT_TRUE(bench.harness.spy.expectOutcomes({"successDisconnecting"}, 2000));

    bench.harness.spy.clear();
    ASSERT_EQ(bench.harness.connectTo(linePort(bench.sensor)).name, bench.device.name);
    bench.harness.call([dev = bench.device](VeltrixDeviceService& s)
                       { s.restartDevice(Address::Type::Device, dev); });
    EXPECT_TRUE(bench.harness.spy.expectOutcomes({"foundDevice", "successRestartDevice"}));
}

TEST(ServiceAbort, WithNothingRunningStillClosesAndConfirms)
{
    ServiceHarness harness;
    harness.call([](VeltrixDeviceService& s) { s.abort(); });
    ASSERT_TRUE(harness.spy.expectOutcomes({"successDisconnecting"}));
    EXPECT_EQ(harness.spy.events, (QStringList{"progress(0)", "progress(100)", "successDisconnecting"}));
    EXPECT_TRUE(harness.spy.logged("Com port will be closed"));
}
