#include "service_harness.h"

#include "communication/internal/Port.h"

#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

using namespace CommTest;
using Sim::Fault;
using Sim::OrvikSimulatorFixture;
using Sim::OrvikSimulatorOptions;

namespace
{

OrvikSimulatorOptions sensorAt(Sim::BusAddress address, std::uint16_t baudMask = 0x001F)
{
    OrvikSimulatorOptions options;
    options.timing = TestSupport::testTiming();
    options.sensor.address = address;
    options.sensor.baudMask = baudMask;
    return options;
}

} // namespace

TEST(FirstContact, IdentifiesDeviceAndSubDeviceAtTheFastestOfferedRate)
{
    OrvikSimulatorFixture sensor(sensorAt({19, 0, 4, 0, 2}, 0x0208 | 0x0001));
    ASSERT_TRUE(sensor.isReady()) << sensor.errorString().toStdString();
    ServiceHarness harness;

    const Device device = harness.connectTo(linePort(sensor));
    EXPECT_EQ(device.name, "N5Q2-Orvik");
    EXPECT_EQ(device.version, "V02.11");
    EXPECT_EQ(device.revision, "230615");
    EXPECT_EQ(device.vendor, "-");
    EXPECT_EQ(device.address.bytes, (std::array<std::uint8_t, 5>{19, 0, 4, 0, 2}));
    EXPECT_EQ(device.subName, "N5Q2-Orvik-Meas");
    EXPECT_EQ(device.subVersion, "V02.10");
    EXPECT_EQ(device.subRevision, "230301");
    EXPECT_EQ(sensor.baudrate(), 460800u);
    // Four sessions of the plan: ten points for each answer.
    EXPECT_EQ(harness.spy.progress, (QList<unsigned>{0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 100}));
    EXPECT_TRUE(harness.spy.expectOutcomes({"foundDevice"}));
    EXPECT_TRUE(harness.spy.logged("Device responded to command 137: address: 190402 Typ: 2"));
    EXPECT_TRUE(harness.spy.logged("Device responded to command 128:  1200 Baud: y 2400 Baud: n 4800 Baud: n "
                                   "9600 Baud: y 19200 Baud: n 38400 Baud: n 57600 Baud: n 115200 Baud: n "
                                   "230400 Baud: n 460800 Baud: y"));
}

TEST(FirstContact, DeviceWithoutSubDeviceAndSubDeviceAlone)
{
    {
        OrvikSimulatorFixture sensor(sensorAt({19, 0, 4, 0, 0}));
        ServiceHarness harness;
        const Device device = harness.connectTo(linePort(sensor));
        EXPECT_EQ(device.name, "N5Q2-Orvik");
        EXPECT_EQ(device.subName, "-");
        EXPECT_FALSE(device.hasSubDevice());
        EXPECT_EQ(sensor.baudrate(), 19200u);
        EXPECT_EQ(sensor.requestCount(135), 1);
        EXPECT_EQ(harness.spy.progress, (QList<unsigned>{0, 10, 20, 33, 46, 59, 72, 85, 100}));
    }
    {
        // Only a sub-slave address: the texts belong to the sub device.
        OrvikSimulatorFixture sensor(sensorAt({19, 0, 0, 0, 2}));
        ServiceHarness harness;
        const Device device = harness.connectTo(linePort(sensor));
        EXPECT_EQ(device.name, "-");
        EXPECT_EQ(device.version, "-");
        EXPECT_EQ(device.subName, "N5Q2-Orvik-Meas");
        EXPECT_EQ(device.subVersion, "V02.10");
        EXPECT_EQ(device.subRevision, "230301");
    }
}

TEST(FirstContact, SamePortIsReusedAndAnotherPortReplacesIt)
{
    OrvikSimulatorFixture first(sensorAt({19, 0, 4, 0, 0}));
    OrvikSimulatorFixture second(sensorAt({20, 0, 9, 0, 0}, 0x0001));
    ServiceHarness harness;

    EXPECT_EQ(harness.connectTo(linePort(first)).address.bytes[0], 19);
    // Reused: the sensor is asked again without a new power cycle and at its current rate.
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(harness.connectTo(linePort(first)).address.bytes[0], 19);
    EXPECT_TRUE(harness.spy.logged("same com port already open"));
    EXPECT_EQ(first.requestCount(137), 2);
    EXPECT_EQ(harness.spy.logCount("Trying to open com port"), 1) << "one open, logged once";

    EXPECT_EQ(harness.connectTo(linePort(second)).address.bytes[0], 20);
    EXPECT_TRUE(harness.spy.logged("different com port already open. Closing ..."));
    EXPECT_EQ(VeltrixDeviceServiceAccess::port(*harness.service)->comport.number, second.devicePath());
    EXPECT_EQ(second.baudrate(), 1200u);
    EXPECT_TRUE(harness.spy.expectOutcomes({"foundDevice", "foundDevice", "foundDevice"}));
}

TEST(FirstContact, ReconnectRightAfterAbortOpensThePortAgain)
{
    OrvikSimulatorFixture sensor(sensorAt({19, 0, 4, 0, 0}));
    ServiceHarness harness;
    const Comport port = linePort(sensor);
    harness.connectTo(port);
    // The close of the abort is still on its way when the new start arrives.
    harness.call(
        [port](VeltrixDeviceService& s)
        {
            s.abort();
            s.start(port, true);
        });
    ASSERT_TRUE(harness.spy.expectOutcomes({"foundDevice", "successDisconnecting", "foundDevice"}));
    EXPECT_EQ(sensor.requestCount(137), 2);
    EXPECT_TRUE(VeltrixDeviceServiceAccess::port(*harness.service)->isOpen);
}

TEST(FirstContact, OpenWithoutIdentificationReportsTheBootloaderPlaceholder)
{
    OrvikSimulatorFixture sensor;
    ServiceHarness harness;
    harness.call([port = linePort(sensor)](VeltrixDeviceService& s) { s.start(port, false); });
    ASSERT_TRUE(harness.spy.expectOutcomes({"foundDevice"}));
    EXPECT_EQ(harness.spy.devices.front().name, bootloaderDeviceName);
    EXPECT_EQ(harness.spy.devices.front().address.getType(), Address::Type::Invalid);
    EXPECT_EQ(sensor.requestCount(), 0);
}

// Refused with the busy text rather than silently: a caller waiting for its
// outcome would otherwise wait forever.
TEST(FirstContact, ASecondStartWhileRunningIsRefused)
{
    OrvikSimulatorFixture sensor;
    ServiceHarness harness;
    const Comport port = linePort(sensor);
    harness.call(
        [port](VeltrixDeviceService& s)
        {
            s.start(port, true);
            s.start(port, true);
        });
    EXPECT_TRUE(harness.spy.expectOutcomes({"error", "foundDevice"}));
    EXPECT_EQ(harness.spy.errors, QStringList{"Current operation not finished!"});
    EXPECT_EQ(sensor.requestCount(137), 1);
}

TEST(FirstContactFailures, EveryFailureEndsWithOneErrorAndAClosedPort)
{
    struct Case
    {
        const char* name;
        Fault fault;
        QString error;
    };
    const QList<Case> cases{
        {"silent", Fault::silent(137), "Could not find the device -> timeout!"},
        {"nak", Fault::nak(135), "Device didn`t acknowledge command 135"},
        {"wrong command", Fault::wrongCommand(141), ""},
        // Answered after the session already gave up on the address.
        {"silent sub", Fault::silent(136), "Could not find the device -> timeout!"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        OrvikSimulatorOptions options;
        options.timing = TestSupport::testTiming();
        options.sensor.faults = {c.fault};
        OrvikSimulatorFixture sensor(options);
        ServiceHarness harness(TestSupport::quickTiming());
        harness.call([port = linePort(sensor)](VeltrixDeviceService& s) { s.start(port, true); });
        ASSERT_TRUE(harness.spy.expectOutcomes({"error"}));
        if (!c.error.isEmpty())
            EXPECT_EQ(harness.spy.errors.front(), c.error);
        else
            EXPECT_TRUE(
                harness.spy.errors.front().startsWith("Device responded with wrong command. Expected: 141 "
                                                      "Received: "))
                << harness.spy.errors.front().toStdString();
        EXPECT_EQ(harness.spy.progress.last(), 0u);
        EXPECT_TRUE(waitUntil([&] { return !VeltrixDeviceServiceAccess::port(*harness.service)->isOpen; }));
    }
}

TEST(FirstContactFailures, APortThatCannotBeOpened)
{
    ServiceHarness harness(TestSupport::quickTiming());
    Comport missing{"/dev/orvik-no-such-port", "", 0, 0, true, 0, 0};
    harness.call([missing](VeltrixDeviceService& s) { s.start(missing, true); });
    ASSERT_TRUE(harness.spy.expectOutcomes({"error"}));
    EXPECT_EQ(harness.spy.errors.front(), "Could not open com port!");
    EXPECT_TRUE(
        harness.spy.loggedAt(LogLevel::Error, "Com port could not be opened. A timeout has occurred!"));
}

// A driver that takes its time to open the adapter (a busy machine, a slow
// USB serial driver): the open is waited for, and the sensor is found.
TEST(FirstContactFailures, ASlowOpenStillFindsTheSensor)
{
    struct SlowOpen : FQtSerialPortBackend
    {
        SlowOpen()
            : FQtSerialPortBackend(ModemLines::TolerateMissing)
        {
        }
        bool open(QIODevice::OpenMode mode) override
        {
            QThread::msleep(600);
            return FQtSerialPortBackend::open(mode);
        }
    };
    OrvikSimulatorFixture sensor;
    VELTRIX_Options options;
    options.backendFactory = [] { return std::make_unique<SlowOpen>(); };
    ServiceHarness harness(TestSupport::testTiming(), std::move(options));
    EXPECT_EQ(harness.connectTo(linePort(sensor)).name, "N5Q2-Orvik");
}
