#include "components/commands/ConnectCommand.h"
#include "components/components_test_support.h"
#include "components/connectors/DeviceConnector.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using namespace Hvd::Weft::Components;
using namespace ComponentsTest;
using Hvd::Weft::Communication::ComPortScanner;

namespace
{

Comport port(const QString& number)
{
    Comport result;
    result.number = number;
    return result;
}

// Every signal of the connector, in the order they came.
struct ConnectorSignals
{
    explicit ConnectorSignals(DeviceConnector& connector)
    {
        auto note = [this](const char* name) { return [this, name] { order.push_back(name); }; };
        QObject::connect(&connector, &DeviceConnector::deviceConnected, &connector, note("deviceConnected"));
        QObject::connect(&connector, &DeviceConnector::unexpectedDeviceConnected, &connector,
                         note("unexpectedDeviceConnected"));
        QObject::connect(&connector, &Connector::targetDisconnected, &connector, note("targetDisconnected"));
        QObject::connect(&connector, &ComPortConnector::portsChanged, &connector, note("portsChanged"));
        QObject::connect(&connector, &Connector::progressUpdated, &connector, note("progressUpdated"));
        QObject::connect(
            &connector, &DeviceConnector::releaseEnded, &connector,
            [this](const std::optional<QString>& error)
            { order.push_back(error ? "releaseFailed: " + error->toStdString() : "releaseEnded"); });
        QObject::connect(&connector, &Connector::errorOccurred, &connector,
                         [this](const QString& message)
                         {
                             order.push_back("errorOccurred");
                             errors.push_back(message);
                         });
    }
    std::vector<std::string> without(const std::string& name) const
    {
        std::vector<std::string> result;
        for (const auto& entry : order)
            if (entry != name)
                result.push_back(entry);
        return result;
    }
    std::vector<std::string> order;
    QStringList errors;
};

struct ConnectorTest : ::testing::Test
{
    DeviceContext context;
    FakeDeviceService service;
    ComPortScanner scanner;
    std::unique_ptr<DeviceConnector> connector = std::make_unique<DeviceConnector>(context, service, scanner);
    ConnectorSignals seen{*connector};

    ConnectorTest()
    {
        context.setDevice(orvikDescription());
        service.deviceToFind = sensor(orvikAddress);
    }

    bool waitIdle()
    {
        return QTest::qWaitFor([&] { return !connector->isRunning(); }, 2000);
    }

    void connectOn(const QString& number)
    {
        connector->connectTarget(number);
        ASSERT_TRUE(waitIdle());
        ASSERT_TRUE(connector->isTargetConnected());
        seen.order.clear();
        service.calls.clear();
    }
};

} // namespace

TEST_F(ConnectorTest, ConnectStoresPortAndSensorInTheContext)
{
    connector->connectTarget("COM3");
    EXPECT_TRUE(connector->isRunning());
    // The port is known while the sensor is still being looked for.
    EXPECT_EQ(context.getConnectedDevicePort().number, "COM3");
    EXPECT_FALSE(context.isDeviceConnected());
    ASSERT_TRUE(waitIdle());

    ASSERT_EQ(service.calls.size(), 1u);
    const Comport& opened = service.calls[0].comport;
    EXPECT_EQ(opened.number, "COM3");
    EXPECT_TRUE(opened.halfDuplex);
    EXPECT_EQ(opened.startupMs, 300);
    EXPECT_EQ(opened.powerDownMs, 120);
    EXPECT_TRUE(service.calls[0].flag) << "identification stays on";
    EXPECT_EQ(context.getConnectedDevice(), service.deviceToFind);
    EXPECT_EQ(context.getConnectedDevicePort(), opened);
    EXPECT_EQ(seen.without("progressUpdated"), std::vector<std::string>{"deviceConnected"});
}

TEST_F(ConnectorTest, FailedConnectClearsTheContext)
{
    context.clearDevice();
    connector->connectTarget("COM3");
    EXPECT_FALSE(connector->isRunning());
    EXPECT_EQ(seen.errors, QStringList{"No device has been selected"});
    EXPECT_EQ(context.getConnectedDevicePort(), Comport{});
    QTest::qWait(5);
    EXPECT_TRUE(service.calls.empty()) << "nothing goes to the sensor without a description";

    context.setDevice(orvikDescription());
    seen.errors.clear();
    service.errors["start"] = "Device didn`t respond -> timeout! !";
    connector->connectTarget("COM3");
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(seen.errors, QStringList{"Device didn`t respond -> timeout! !"});
    EXPECT_EQ(context.getConnectedDevicePort(), Comport{});
    EXPECT_FALSE(connector->isTargetConnected());

    // The next attempt starts afresh.
    service.errors.clear();
    connector->connectTarget("COM4");
    ASSERT_TRUE(waitIdle());
    EXPECT_TRUE(connector->isTargetConnected());
    EXPECT_EQ(context.getConnectedDevicePort().number, "COM4");
}

TEST_F(ConnectorTest, ConnectIsIgnoredWhileBusyOrConnected)
{
    service.silent.insert("start");
    connector->connectTarget("COM3");
    connector->connectTarget("COM4");
    EXPECT_EQ(service.calls.size(), 1u);
    EXPECT_EQ(context.getConnectedDevicePort().number, "COM3");
    emit service.foundDevice(sensor(orvikAddress));
    ASSERT_TRUE(waitIdle());
    seen.order.clear();

    connector->connectTarget("COM4");
    QTest::qWait(10);
    EXPECT_FALSE(connector->isRunning());
    EXPECT_EQ(service.calls.size(), 1u);
    EXPECT_TRUE(seen.order.empty());
    EXPECT_EQ(context.getConnectedDevicePort().number, "COM3");
}

TEST_F(ConnectorTest, UnexpectedSensorIsRestartedAndReleasedQuietly)
{
    service.deviceToFind = sensor({19, 0, 4, 0, 3});
    QSignalSpy unexpected(connector.get(), &DeviceConnector::unexpectedDeviceConnected);
    connector->connectTarget("COM3");
    ASSERT_TRUE(unexpected.wait(2000));
    EXPECT_EQ(unexpected.first().at(0).value<Hvd::Weft::Communication::Device>(), service.deviceToFind);
    EXPECT_TRUE(connector->isRunning()) << "busy until the release has ended";
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(service.slotNames(), (std::vector<std::string>{"start", "restartDevice", "abort"}));
    EXPECT_EQ(service.calls[1].type, Address::Type::Device);
    EXPECT_FALSE(connector->isTargetConnected());
    EXPECT_EQ(context.getConnectedDevicePort(), Comport{});
    // Only the connect's progress; the release itself says nothing to the
    // user, yet tells when it has ended.
    EXPECT_EQ(seen.without("progressUpdated"),
              (std::vector<std::string>{"unexpectedDeviceConnected", "releaseEnded"}));
    const auto progressCount = std::count(seen.order.begin(), seen.order.end(), "progressUpdated");
    EXPECT_EQ(progressCount, 2) << "connect progress 0 and 40 only";

    // Without identification the address is not checked.
    connector->setDeviceIdentification(false);
    connector->connectTarget("COM3");
    ASSERT_TRUE(waitIdle());
    EXPECT_TRUE(connector->isTargetConnected());
    EXPECT_FALSE(service.calls.back().flag);
}

TEST_F(ConnectorTest, DisconnectRestartsThenReleasesAndClearsTheContext)
{
    connectOn("COM3");
    connector->setRunning(true);
    connector->disconnectTarget();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(service.slotNames(), (std::vector<std::string>{"restartDevice", "abort"}));
    EXPECT_EQ(seen.without("progressUpdated"),
              (std::vector<std::string>{"targetDisconnected", "releaseEnded"}));
    EXPECT_FALSE(connector->isTargetConnected());
    EXPECT_EQ(context.getConnectedDevicePort(), Comport{});

    // A failed release still forgets the sensor.
    connectOn("COM3");
    service.errors["restartDevice"] = "Device responded to command 143 with an error";
    connector->disconnectTarget();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !seen.errors.isEmpty(); }, 2000));
    EXPECT_EQ(seen.errors, QStringList{"Device responded to command 143 with an error"});
    EXPECT_EQ(seen.order.back(), "releaseFailed: Device responded to command 143 with an error");
    EXPECT_EQ(service.slotNames(), std::vector<std::string>{"restartDevice"});
    EXPECT_FALSE(connector->isTargetConnected());
    EXPECT_FALSE(connector->isRunning());
}

TEST_F(ConnectorTest, PortListsAndTargetMonitoring)
{
    LogCapture log;
    connectOn("COM3");
    QSignalSpy ports(connector.get(), &ComPortConnector::portsChanged);

    // Target monitoring is off by default: the list passes, the sensor stays.
    emit scanner.foundNewPorts({port("COM4")});
    EXPECT_EQ(ports.count(), 1);
    EXPECT_TRUE(connector->isTargetConnected());

    connector->enableTargetMonitoring(true);
    emit scanner.foundNewPorts({port("COM3"), port("COM4")});
    EXPECT_TRUE(connector->isTargetConnected());
    seen.order.clear();
    emit scanner.foundNewPorts({port("COM4")});
    EXPECT_EQ(seen.order, (std::vector<std::string>{"targetDisconnected", "portsChanged"}));
    EXPECT_FALSE(connector->isTargetConnected());
    EXPECT_EQ(context.getConnectedDevicePort(), Comport{});
    EXPECT_EQ(ports.last().at(0).value<ComPortScanner::List>(), ComPortScanner::List{port("COM4")});
    // The service hears of the port that vanished, and only of that: COM3
    // missing from the first list was no loss, it had never been listed.
    QCoreApplication::processEvents();
    std::vector<QString> vanished;
    for (const auto& call : service.calls)
        if (call.slot == "portVanished")
            vanished.push_back(call.comport.number);
    EXPECT_EQ(vanished, std::vector<QString>{"COM3"});

    // Nothing connected: nothing to lose.
    seen.order.clear();
    emit scanner.foundNewPorts({});
    EXPECT_EQ(seen.order, std::vector<std::string>{"portsChanged"});

    // Port monitoring off: the list is ignored completely.
    connectOn("COM3");
    connector->enablePortMonitoring(false);
    emit scanner.foundNewPorts({});
    EXPECT_TRUE(seen.order.empty());
    EXPECT_TRUE(connector->isTargetConnected());

    const std::string text = log.text();
    const std::string line = "[info] [main] Target was disconnected\n";
    const auto first = text.find(line);
    EXPECT_NE(first, std::string::npos) << text;
    EXPECT_EQ(text.find(line, first + line.size()), std::string::npos) << text;
}

TEST_F(ConnectorTest, DestroyingTheConnectorCancelsItsCommands)
{
    service.silent.insert("start");
    connector->connectTarget("COM3");
    LogCapture log;
    connector.reset();
    // The answer still comes; nothing may be left to receive it.
    emit service.foundDevice(sensor(orvikAddress));
    QTest::qWait(5);
    EXPECT_NE(log.text().find("Canceling " + std::string(typeid(ConnectCommand).name())), std::string::npos);
    // The context keeps what it had; the connector no longer decides.
    EXPECT_EQ(context.getConnectedDevicePort().number, "COM3");
}

TEST(DeviceContext, ParameterSetLookups)
{
    using Hvd::Weft::Device::Tag;
    DeviceContext context;
    context.setDevice(orvikDescription());

    EXPECT_FALSE(context.getDeviceParameterSet()) << "nothing connected";

    context.setConnectedDevice(sensor(orvikAddress));
    ASSERT_TRUE(context.getDeviceParameterSet());
    EXPECT_EQ(context.getDeviceParameterSet()->get().getVersion().toString(), "V02.10");
    ASSERT_TRUE(context.getSubdeviceParameterSet());
    ASSERT_TRUE(context.getDeviceParameter("ProductVariantName"));
    EXPECT_EQ(context.getDeviceParameter("ProductVariantName")->get().getAddress(), 0x20);
    EXPECT_FALSE(context.getDeviceParameter("NoSuchParameter"));
    ASSERT_TRUE(context.getDeviceParameter(Tag::FLOW));
    EXPECT_EQ(context.getDeviceParameter(Tag::FLOW)->get().getName(), "FlowMeasEnd");
    ASSERT_TRUE(context.getSubdeviceParameter(Tag::KFAKTOR));
    EXPECT_EQ(context.getSubdeviceParameter(Tag::KFAKTOR)->get().getName(), "measurement.setting.scaling.K0");
    EXPECT_FALSE(context.getSubdeviceParameter(Tag::FLOW));

    // Versions the description does not know, or that are no versions.
    context.setConnectedDevice(sensor(orvikAddress, "V02.11", "garbage"));
    EXPECT_FALSE(context.getDeviceParameterSet());
    EXPECT_FALSE(context.getSubdeviceParameterSet());

    // Each part only when the sensor has it.
    context.setConnectedDevice(sensor({19, 0, 0, 0, 2}));
    EXPECT_FALSE(context.getDeviceParameterSet());
    EXPECT_TRUE(context.getSubdeviceParameterSet());
    context.setConnectedDevice(sensor({19, 0, 4, 0, 0}));
    EXPECT_TRUE(context.getDeviceParameterSet());
    EXPECT_FALSE(context.getSubdeviceParameterSet());

    // The identification placeholder: "-" is no version, and that is no crash.
    Hvd::Weft::Communication::Device bootloader;
    bootloader.name = Hvd::Weft::Communication::bootloaderDeviceName;
    context.setConnectedDevice(bootloader);
    EXPECT_TRUE(context.isDeviceConnected());
    EXPECT_FALSE(context.getDeviceParameterSet());
    EXPECT_FALSE(context.getSubdeviceParameterSet());
    EXPECT_FALSE(context.getDeviceParameter("ProductVariantName"));

    // The connected half can be cleared without touching the description.
    context.clearConnectedDeviceAndPort();
    EXPECT_FALSE(context.isDeviceConnected());
    EXPECT_EQ(context.getDevice().getIdentity(), Hvd::Weft::Device::Identity::N5Q2_Orvik);
}
