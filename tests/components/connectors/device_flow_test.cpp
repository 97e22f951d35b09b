// The connector and the device commands against the real device service in
// its own thread, talking to the simulated sensor over a pseudo-terminal.

#include "communication/VeltrixDeviceService.h"
#include "communication/internal/VeltrixDeviceServiceAccess.h"
#include "components/commands/CompositeCommand.h"
#include "components/commands/ReadParametersCommand.h"
#include "components/commands/ReadValuesCommand.h"
#include "components/commands/SetAsFactoryDefaultsCommand.h"
#include "components/commands/WriteParametersCommand.h"
#include "components/connectors/DeviceConnector.h"
#include "device/Exceptions.h"
#include "device/import/FileReader.h"
#include "device/import/Importer.h"
#include "device/import/JsonFormatImporter.h"
#include "protocol/serial/FSerialPort.h"
#include "tests/support/pace.h"
#include "tests/support/wait.h"
#include "tools/orvik-sim/OrvikSimulatorFixture.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <iostream>
#include <memory>
#include <optional>

using namespace Hvd::Weft;
using namespace Hvd::Weft::Components;
using Communication::Comport;
using Communication::ComPortScanner;
using Communication::DeviceService;
using Simulator::OrvikSimulatorFixture;
using Simulator::OrvikSimulatorOptions;

namespace
{

constexpr int operationMs = 30000;

class ResourceReader : public Device::Reader
{
public:
    std::string read() const override
    {
        QFile file(":/N5Q2-Orvik.desc.json");
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            throw Device::IoException("Could not open the shipped description");
        return file.readAll().toStdString();
    }
    std::string getSourceName() const override { return ":/N5Q2-Orvik.desc.json"; }
};

Device::Device shippedDescription()
{
    const Device::FileReader settingsSchema("Resources/DeviceSettings.schema.json");
    const Device::FileReader descriptionSchema("Resources/DeviceDescription.schema.json");
    auto format = std::make_shared<Device::JsonFormatImporter>(descriptionSchema, settingsSchema);
    const Device::Importer importer(
        Device::Importer::Config{{Device::Format::DESC_JSON, format}, {Device::Format::PARA_JSON, format}});
    return importer.importDevice(ResourceReader());
}

// The application's arrangement: the service in "DeviceThread", context,
// scanner and connector in the GUI thread.
struct Bench
{
    explicit Bench(const OrvikSimulatorOptions& options = {})
        : sensor(std::in_place, options)
        , service(std::make_unique<Communication::VeltrixDeviceService>(
              Communication::VeltrixDeviceService::serialPortOptions(TestSupport::quickTiming())))
    {
        thread.setObjectName("DeviceThread");
        service->moveToThread(&thread);
        thread.start();
        context.setDevice(shippedDescription());
        connector = std::make_unique<DeviceConnector>(context, *service, scanner);
    }
    ~Bench()
    {
        connector.reset();
        thread.quit();
        thread.wait();
    }

    bool waitIdle()
    {
        return QTest::qWaitFor([&] { return !connector->isRunning(); }, operationMs);
    }
    bool run(Command& command)
    {
        QSignalSpy finished(&command, &Command::finished);
        QSignalSpy errors(&command, &Command::errorOccurred);
        command.execute();
        (void)QTest::qWaitFor([&] { return finished.count() + errors.count() > 0; }, operationMs);
        EXPECT_EQ(errors.count(), 0) << (errors.isEmpty() ? ""
                                                          : errors.first().at(0).toString().toStdString());
        return finished.count() == 1;
    }

    std::optional<OrvikSimulatorFixture> sensor;
    QThread thread;
    std::unique_ptr<Communication::VeltrixDeviceService> service;
    DeviceContext context;
    ComPortScanner scanner;
    std::unique_ptr<DeviceConnector> connector;
};

} // namespace

TEST(DeviceFlow, ConnectReadWriteAndRelease)
{
    Bench bench;
    ASSERT_TRUE(bench.sensor->isReady()) << bench.sensor->errorString().toStdString();
    QSignalSpy connected(bench.connector.get(), &DeviceConnector::deviceConnected);
    bench.connector->connectTarget(bench.sensor->devicePath());
    ASSERT_TRUE(bench.waitIdle());
    ASSERT_EQ(connected.count(), 1);
    EXPECT_EQ(bench.context.getConnectedDevice().version, "V02.11");
    EXPECT_EQ(bench.context.getConnectedDevicePort().startupMs, 215);

    const auto name = bench.context.getDeviceParameter("ProductVariantName");
    const auto kFactor = bench.context.getSubdeviceParameter(Device::Tag::KFAKTOR);
    ASSERT_TRUE(name && kFactor);

    // Read, then write what the read delivered, as the rescaling does: the
    // write must wait for its own confirmation, not the read's trailing one.
    QString variant;
    auto* readName = new ReadParametersCommand(bench.context, *bench.service, "Reading name", nullptr);
    readName->setParameters({*name}, {});
    QObject::connect(readName, &ReadParametersCommand::parametersRead, readName,
                     [&](const DeviceService::SettingList& values)
                     { variant = QString::fromStdString(values.at(0).getValue().toString()); });
    auto* readK = new ReadParametersCommand(bench.context, *bench.service, "Reading k-factor", nullptr);
    readK->setParameters({}, {*kFactor});
    auto* write = new WriteParametersCommand(bench.context, *bench.service, "Writing parameters", nullptr);
    QObject::connect(readK, &ReadParametersCommand::parametersRead, write,
                     [&](const DeviceService::SettingList&, const DeviceService::SettingList& values)
                     {
                         Device::Parameter changed = kFactor->get();
                         changed.setCurrentValue(Device::Value(values.at(0).getValue().toDouble() * 1.5,
                                                               Device::DataType::DFLOAT32));
                         write->setParameters({}, {changed});
                     });
    auto* defaults = new SetAsFactoryDefaultsCommand(bench.context, *bench.service, nullptr);
    CompositeCommand composite({readName, readK, write, defaults}, false, nullptr);
    ASSERT_TRUE(bench.run(composite));
    EXPECT_EQ(variant.trimmed(), "Orvik 82.5");
    EXPECT_EQ(bench.sensor->systemCommands().size(), 1);

    double stored = 0;
    ReadParametersCommand readBack(bench.context, *bench.service, "", nullptr);
    readBack.setParameters({}, {*kFactor});
    QObject::connect(&readBack, &ReadParametersCommand::parametersRead, &readBack,
                     [&](const DeviceService::SettingList&, const DeviceService::SettingList& values)
                     { stored = values.at(0).getValue().toDouble(); });
    ASSERT_TRUE(bench.run(readBack));
    EXPECT_DOUBLE_EQ(stored, 1.5);

    QSignalSpy released(bench.connector.get(), &Connector::targetDisconnected);
    bench.connector->setRunning(true);
    bench.connector->disconnectTarget();
    ASSERT_TRUE(bench.waitIdle());
    EXPECT_EQ(released.count(), 1);
    EXPECT_EQ(bench.sensor->restartCount(), 1);
    EXPECT_FALSE(bench.context.isDeviceConnected());
    EXPECT_TRUE(bench.context.getConnectedDevicePort().number.isEmpty());
}

// A read ends with successReading and then the transfer's trailing
// successWriting. Here "DeviceThread" is held between the two until the GUI
// thread has finished the read and sent the write, as a busy machine may
// schedule it: the write must still end only on its own outcome.
TEST(DeviceFlow, AWriteStartedBetweenTheReadsTwoOutcomesEndsOnItsOwn)
{
    Bench bench;
    bench.connector->connectTarget(bench.sensor->devicePath());
    ASSERT_TRUE(bench.waitIdle());
    ASSERT_TRUE(bench.context.isDeviceConnected());
    const auto kFactor = bench.context.getSubdeviceParameter(Device::Tag::KFAKTOR);
    ASSERT_TRUE(kFactor);

    auto* read = new ReadParametersCommand(bench.context, *bench.service, "Reading k-factor", nullptr);
    read->setParameters({}, {*kFactor});
    Device::Parameter changed = kFactor->get();
    changed.setCurrentValue(Device::Value(2.5, Device::DataType::DFLOAT32));
    auto* write = new WriteParametersCommand(bench.context, *bench.service, "Writing parameters", nullptr);
    write->setParameters({}, {changed});
    CompositeCommand composite({read, write}, false, nullptr);

    QSemaphore writeSent;
    QObject::connect(write, &WriteParametersCommand::write, write, [&] { writeSent.release(); });
    int writesAtFinish = -1;
    QObject::connect(&composite, &Command::finished, &composite,
                     [&] { writesAtFinish = bench.sensor->requestCount(131); });
    // Connected once the read command has connected itself, so the GUI thread
    // gets its successReading before this handler holds "DeviceThread".
    QObject::connect(read, &ReadParametersCommand::read, read,
                     [&]
                     {
                         QObject::connect(
                             bench.service.get(), &DeviceService::successReading, bench.service.get(),
                             [&] { EXPECT_TRUE(writeSent.tryAcquire(1, operationMs)); },
                             Qt::DirectConnection);
                     });
    composite.execute();

    QSignalSpy finished(&composite, &Command::finished);
    QSignalSpy errors(&composite, &Command::errorOccurred);
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() + errors.count() > 0; }, operationMs));
    ASSERT_EQ(errors.count(), 0) << errors.first().at(0).toString().toStdString();
    EXPECT_GE(writesAtFinish, 1) << "the write ended before anything was written";
    EXPECT_EQ(bench.sensor->requestCount(132), 1);
}

TEST(DeviceFlow, AnotherSensorIsRestartedAndReleased)
{
    OrvikSimulatorOptions options;
    options.timing = TestSupport::testTiming();
    options.sensor.address = {19, 0, 4, 0, 3};
    Bench bench(options);
    QSignalSpy unexpected(bench.connector.get(), &DeviceConnector::unexpectedDeviceConnected);
    QSignalSpy released(bench.connector.get(), &Connector::targetDisconnected);
    QSignalSpy errors(bench.connector.get(), &Connector::errorOccurred);
    bench.connector->connectTarget(bench.sensor->devicePath());
    ASSERT_TRUE(bench.waitIdle());
    EXPECT_EQ(unexpected.count(), 1);
    EXPECT_EQ(bench.sensor->restartCount(), 1);
    EXPECT_FALSE(bench.context.isDeviceConnected());
    EXPECT_EQ(released.count() + errors.count(), 0);
}

TEST(DeviceFlow, UnpluggedAdapterWithTargetMonitoring)
{
    Bench bench;
    const QString first = bench.sensor->devicePath();
    bench.connector->connectTarget(first);
    ASSERT_TRUE(bench.waitIdle());
    ASSERT_TRUE(bench.connector->isTargetConnected());
    bench.connector->enableTargetMonitoring(true);

    std::vector<std::string> order;
    QObject::connect(bench.connector.get(), &Connector::targetDisconnected,
                     [&] { order.push_back("target"); });
    QObject::connect(bench.connector.get(), &ComPortConnector::portsChanged,
                     [&] { order.push_back("ports"); });
    bench.sensor.reset();
    emit bench.scanner.foundNewPorts({});
    EXPECT_EQ(order, (std::vector<std::string>{"target", "ports"}));
    EXPECT_FALSE(bench.connector->isTargetConnected());

    // Plugged in again: the service gives up the dead port and opens the new one.
    bench.sensor.emplace();
    QSignalSpy connected(bench.connector.get(), &DeviceConnector::deviceConnected);
    bench.connector->connectTarget(bench.sensor->devicePath());
    ASSERT_TRUE(bench.waitIdle());
    EXPECT_EQ(connected.count(), 1);
}

// The scanner stops listing the open port while values are read (the adapter
// unplugged; the line itself may not have failed yet): the run ends at once
// with the lost-line text, the port is let go, and the adapter plugged in
// again is connected by the same objects.
TEST(DeviceFlow, PortVanishingFromTheListEndsTheRunAndTheNextConnectWorks)
{
    Bench bench;
    const QString path = bench.sensor->devicePath();
    bench.connector->connectTarget(path);
    ASSERT_TRUE(bench.waitIdle());
    ASSERT_TRUE(bench.connector->isTargetConnected());
    emit bench.scanner.foundNewPorts({});
    Comport listed;
    listed.number = path;
    emit bench.scanner.foundNewPorts({listed});

    ReadValuesCommand values(bench.context, *bench.service, {ReadValuesCommand::Source::Device, 200},
                             nullptr);
    QSignalSpy errors(&values, &Command::errorOccurred);
    values.execute();
    ASSERT_TRUE(QTest::qWaitFor([&] { return values.getSamples().size() >= 2; }, operationMs));
    QElapsedTimer clock;
    clock.start();
    emit bench.scanner.foundNewPorts({});
    ASSERT_TRUE(QTest::qWaitFor([&] { return errors.count() > 0; }, 5000));
    std::cout << "[ port vanished ] measured values: " << clock.elapsed()
              << " ms from the list to the message\n";
    // Far below the answer timeout that would end it otherwise.
    EXPECT_TIME_BELOW(clock.elapsed(), 3000);
    EXPECT_EQ(errors.count(), 1);
    EXPECT_EQ(errors.first().at(0).toString(), Communication::VeltrixDeviceService::lineLostText());
    EXPECT_TRUE(QTest::qWaitFor(
        [&]
        {
            return !Communication::VeltrixDeviceServiceAccess::facade(*bench.service)
                        ->getSerialPort()
                        ->isPortOpen();
        }));

    bench.connector->releaseTarget();
    ASSERT_TRUE(bench.waitIdle());
    QSignalSpy connected(bench.connector.get(), &DeviceConnector::deviceConnected);
    bench.connector->connectTarget(path);
    ASSERT_TRUE(bench.waitIdle());
    EXPECT_EQ(connected.count(), 1);
}
