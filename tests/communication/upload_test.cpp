// Firmware uploads through the threaded service against the simulated
// sensor's loaders of both families: the flashed bytes against the image,
// rescue, every fault ending in its text with the port given back to the
// VELTRIX stack, and the checks before anything is sent.

#include "service_harness.h"

#include "communication/internal/Bootloader.h"
#include "protocol/VELTRIX.h"
#include "protocol/serial/FSerialPort.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace CommTest;
using Sim::BootloaderFamily;
using Sim::OrvikSimulatorFixture;
using Sim::OrvikSimulatorOptions;

namespace
{

// Short waits for a loader that does not answer.
VELTRIX_Timing uploadTiming()
{
    VELTRIX_Timing timing = TestSupport::quickTiming();
    timing.bootloader.tivaAnswerTimeoutMs = 600;
    timing.bootloader.mspAnswerTimeoutMs = 600;
    return timing;
}

QByteArray pattern(int size)
{
    QByteArray bytes;
    for (int i = 0; i < size; ++i)
        bytes.append(static_cast<char>((i * 7 + 3) & 0xFF));
    return bytes;
}

struct Bench
{
    explicit Bench(Sim::BootloaderConfig loader, const VELTRIX_Timing& timing = uploadTiming())
        : sensor(options(loader))
        , harness(timing)
    {
        // A sensor already in its loader is only opened, not identified.
        device = harness.connectTo(linePort(sensor), !loader.startInLoader);
        harness.spy.clear();
    }

    static OrvikSimulatorOptions options(Sim::BootloaderConfig loader)
    {
        OrvikSimulatorOptions options;
        options.timing = TestSupport::testTiming();
        options.sensor.bootloader = loader;
        return options;
    }

    void upload(BootloaderType type, const QString& file, bool rescue = false, bool leaveOpen = false)
    {
        harness.call([dev = device, type, file, rescue, leaveOpen](VeltrixDeviceService& s)
                     { s.upload(Address::Type::Device, dev, type, file, rescue, leaveOpen); });
    }

    // After a failed or aborted upload: the sensor is found again and a new
    // upload asks its application for the loader (command 133) once more.
    void reconnectAndRetry(BootloaderType type)
    {
        harness.spy.clear();
        EXPECT_EQ(harness.connectTo(linePort(sensor)).name, device.name);
        harness.spy.clear();
        const QByteArray image = pattern(100);
        upload(type, writeImage(dir, 0x4000, image, "retry.txt"));
        ASSERT_TRUE(harness.spy.expectOutcomes({"success"}, 30000))
            << harness.spy.errors.join(" | ").toStdString();
        EXPECT_EQ(sensor.requestCount(133), 2);
        EXPECT_EQ(sensor.flash(0x4000, image.size()), image);
    }

    OrvikSimulatorFixture sensor;
    ServiceHarness harness;
    Device device;
    QTemporaryDir dir;
};

Sim::BootloaderConfig loader(BootloaderFamily family)
{
    Sim::BootloaderConfig config;
    config.family = family;
    return config;
}

} // namespace

TEST(Upload, EachFamilyFlashesTheImageAndGivesThePortBack)
{
    for (const auto& [family, type, name] :
         {std::tuple{BootloaderFamily::Tiva, BootloaderType::TIVA, "tiva"},
          std::tuple{BootloaderFamily::Msp432, BootloaderType::MSP432, "msp432"}})
    {
        SCOPED_TRACE(name);
        Bench bench(loader(family));
        const QByteArray image = pattern(300);
        bench.upload(type, writeImage(bench.dir, 0x4000, image));
        ASSERT_TRUE(bench.harness.spy.expectOutcomes({"success"}, 30000));
        // The loader's reset goes out unanswered with "Download successful":
        // the sensor sees it a moment later.
        EXPECT_TRUE(waitUntil([&] { return bench.sensor.transferCompleted(); }));
        EXPECT_EQ(bench.sensor.flash(0x4000, image.size()), image);
        EXPECT_EQ(bench.sensor.requestCount(133), 1);
        EXPECT_EQ(bench.harness.spy.progress.last(), 100u);
        EXPECT_TRUE(
            bench.harness.spy.logged("Device responded to command 133: Bootloader started -> closing port"));
        EXPECT_TRUE(bench.harness.spy.logged("New Bootloader state: Download successful"));
        EXPECT_TRUE(
            waitUntil([&] { return !VeltrixDeviceServiceAccess::port(*bench.harness.service)->isOpen; }));

        // The stack has its port back: the sensor, restarted into its new
        // firmware, is found again on the same port.
        bench.harness.spy.clear();
        EXPECT_EQ(bench.harness.connectTo(linePort(bench.sensor)).name, bench.device.name);
    }
}

TEST(Upload, RescueSendsNoCommandAndHandsOverAfterASecond)
{
    Sim::BootloaderConfig config = loader(BootloaderFamily::Msp432);
    config.startInLoader = true;
    VELTRIX_Timing timing = uploadTiming();
    timing.bootloaderHandOverMs = 1000;
    Bench bench(config, timing);
    const QByteArray image = pattern(100);
    QElapsedTimer clock;
    clock.start();
    bench.upload(BootloaderType::MSP432, writeImage(bench.dir, 0x4000, image), true);
    ASSERT_TRUE(bench.harness.spy.expectOutcomes({"success"}, 30000));
    EXPECT_GE(clock.elapsed(), timing.bootloaderHandOverMs);
    EXPECT_EQ(bench.sensor.requestCount(), 0);
    EXPECT_EQ(bench.sensor.flash(0x4000, image.size()), image);
}

TEST(Upload, FaultsEndInTheirTextAndTheNextConnectWorks)
{
    struct Case
    {
        const char* name;
        BootloaderFamily family;
        BootloaderType type;
        void (*fault)(Sim::BootloaderConfig&);
        QString error;
    };
    const QList<Case> cases{
        {"tiva silent", BootloaderFamily::Tiva, BootloaderType::TIVA,
         [](Sim::BootloaderConfig& c) { c.silentFrom = 1; }, "Bootloader: Device did not answer in time"},
        {"tiva refuses packet 3", BootloaderFamily::Tiva, BootloaderType::TIVA,
         [](Sim::BootloaderConfig& c) { c.refuseData = 3; }, "Bootloader: No response from device"},
        {"tiva bad status", BootloaderFamily::Tiva, BootloaderType::TIVA,
         [](Sim::BootloaderConfig& c) { c.badCheck = -1; }, "Bootloader: No response from device"},
        {"msp432 bad crc", BootloaderFamily::Msp432, BootloaderType::MSP432,
         [](Sim::BootloaderConfig& c) { c.badCheck = -1; }, "Bootloader: No response from device"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        Sim::BootloaderConfig config = loader(c.family);
        c.fault(config);
        Bench bench(config);
        bench.upload(c.type, writeImage(bench.dir, 0x4000, pattern(300)));
        ASSERT_TRUE(bench.harness.spy.expectOutcomes({"error"}, 30000));
        EXPECT_EQ(bench.harness.spy.errors, QStringList{c.error});
        EXPECT_FALSE(bench.sensor.transferCompleted());
        EXPECT_TRUE(
            waitUntil([&] { return !VeltrixDeviceServiceAccess::port(*bench.harness.service)->isOpen; }));
        EXPECT_FALSE(VeltrixDeviceServiceAccess::isBusy(*bench.harness.service));

        bench.harness.spy.clear();
        EXPECT_EQ(bench.harness.connectTo(linePort(bench.sensor)).name, bench.device.name);
    }
}

TEST(Upload, RefusedBeforeAnythingIsSent)
{
    Bench bench(loader(BootloaderFamily::Tiva));
    auto& spy = bench.harness.spy;
    const QString image = writeImage(bench.dir, 0x4000, pattern(16));
    bench.upload(BootloaderType::TIVA, QString());
    bench.upload(BootloaderType::Undefined, image);
    ASSERT_TRUE(spy.expectOutcomes({"error", "error"}));
    EXPECT_EQ(spy.errors, (QStringList{"given Filename is empty!", "given Bootloadertype is undefined!"}));
    EXPECT_TRUE(spy.loggedAt(LogLevel::Error, "given bootloader type is undefined!"));

    // A second upload while the first waits for its loader; the first is
    // then stopped.
    spy.clear();
    bench.upload(BootloaderType::TIVA, image);
    bench.upload(BootloaderType::TIVA, image);
    bench.harness.call([](VeltrixDeviceService& s) { s.abort(); });
    ASSERT_TRUE(spy.expectOutcomes({"error", "successDisconnecting"}));
    EXPECT_EQ(spy.errors, QStringList{"Current operation not finished!"});

    // Bytes the file does not hold are never flashed.
    Bench second(loader(BootloaderFamily::Tiva));
    QFile bad(second.dir.filePath("bad.txt"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("@4000\n01 02 zz 04\nq\n");
    bad.close();
    second.upload(BootloaderType::TIVA, bad.fileName());
    ASSERT_TRUE(second.harness.spy.expectOutcomes({"error"}, 30000));
    EXPECT_EQ(second.harness.spy.errors.front(), "Bootloader: File is invalid");
    EXPECT_TRUE(second.sensor.flashRegions().isEmpty());
}

TEST(Upload, AbortGivesThePortBackAndLeaveOpenKeepsItOpen)
{
    {
        Bench bench(loader(BootloaderFamily::Tiva));
        auto& spy = bench.harness.spy;
        bench.upload(BootloaderType::TIVA, writeImage(bench.dir, 0x4000, pattern(20000)));
        ASSERT_TRUE(waitUntil([&] { return spy.logged("New Bootloader state: Download started"); }, 20000));
        bench.harness.call([](VeltrixDeviceService& s) { s.abort(); });
        ASSERT_TRUE(spy.expectOutcomes({"successDisconnecting"}));
        EXPECT_TRUE(
            waitUntil([&] { return !VeltrixDeviceServiceAccess::port(*bench.harness.service)->isOpen; }));
        EXPECT_FALSE(VeltrixDeviceServiceAccess::isBusy(*bench.harness.service));
        EXPECT_FALSE(bench.sensor.transferCompleted());
        // The retry at once finds the loader idle and starts from the
        // sensor's application again.
        bench.reconnectAndRetry(BootloaderType::TIVA);
    }
    {
        Sim::BootloaderConfig config = loader(BootloaderFamily::Msp432);
        config.badCheck = 1;
        Bench bench(config);
        bench.upload(BootloaderType::MSP432, writeImage(bench.dir, 0x4000, pattern(300)), false, true);
        ASSERT_TRUE(bench.harness.spy.expectOutcomes({"error"}, 30000));
        settle(300);
        EXPECT_TRUE(VeltrixDeviceServiceAccess::port(*bench.harness.service)->isOpen);
        EXPECT_FALSE(VeltrixDeviceServiceAccess::isBusy(*bench.harness.service));
        // The port left open at the loader's settings is opened anew for the
        // protocol: the power cycle ends the loader and the sensor answers.
        bench.harness.spy.clear();
        EXPECT_EQ(bench.harness.connectTo(linePort(bench.sensor)).name, bench.device.name);
        EXPECT_FALSE(bench.sensor.inBootloader());
    }
}

TEST(Upload, ALoaderErrorReportedWhileWiredLetsGoOfThePortAndTheRetrySends133)
{
    Bench bench(loader(BootloaderFamily::Msp432));
    auto& spy = bench.harness.spy;
    bench.upload(BootloaderType::MSP432, writeImage(bench.dir, 0x4000, pattern(3000)));
    ASSERT_TRUE(waitUntil([&] { return spy.logged("New Bootloader state: Download started"); }, 20000));
    // An error the loader reports without giving the port up itself.
    emit VeltrixDeviceServiceAccess::facade(*bench.harness.service)
        ->getSerialPort()
        ->errorOccuredOnPort(QSerialPort::PermissionError);
    ASSERT_TRUE(spy.expectOutcomes({"error"}, 10000));
    EXPECT_EQ(spy.errors, QStringList{"Bootloader: Could not open interface"});
    EXPECT_FALSE(VeltrixDeviceServiceAccess::bootloader(*bench.harness.service)->getHandler()->isConnected());

    bench.reconnectAndRetry(BootloaderType::MSP432);
}
