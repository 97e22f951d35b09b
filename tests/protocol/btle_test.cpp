#include "btle_fakes.h"
#include "link_test_support.h"

#include "protocol/VELTRIX_Frame.h"
#include "protocol/VELTRIX_LinkLayer.h"
#include "protocol/btle/BTLE_CharacteristicInfo.h"
#include "protocol/btle/BTLE_Connection.h"

#include <QMetaMethod>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <vector>

using LinkTest::settle;
using LinkTest::waitUntil;
using namespace BtleFake;

namespace
{

const QString kWanted = QStringLiteral("00:11:22:33:44:55");
const QString kOther = QStringLiteral("66:77:88:99:AA:BB");

// Counts every signal an object emits, for "and nothing else".
struct AllSignals
{
    explicit AllSignals(QObject* object)
    {
        const QMetaObject* meta = object->metaObject();
        for (int i = QObject::staticMetaObject.methodCount(); i < meta->methodCount(); ++i)
            if (meta->method(i).methodType() == QMetaMethod::Signal)
                spies.push_back(std::make_unique<QSignalSpy>(object, meta->method(i)));
    }
    int total() const
    {
        int n = 0;
        for (const auto& spy : spies)
            n += spy->count();
        return n;
    }
    std::vector<std::unique_ptr<QSignalSpy>> spies;
};

struct Fixture
{
    explicit Fixture(const QString& filter = QStringLiteral("Orvik"), const QString& wanted = kWanted)
        : connection(filter, wanted, &powered, nullptr, std::make_unique<Backend>(&radio))
    {
    }

    // Discovers `address` and takes the connection through to readyToCommunicate.
    void connectReady(const QString& address = kWanted)
    {
        connection.startDeviceDiscovery(false);
        emit radio.agent->deviceDiscovered(device(QStringLiteral("Orvik-A"), address));
        QSignalSpy ready(&connection, &BTLE_Connection::readyToCommunicate);
        QObject::connect(
            &connection, &BTLE_Connection::startDiscoverServiceDetails, &connection,
            [this] { connection.discoverServiceDetails(QLatin1String(BTLE_Connection::szServiceUuid)); });
        connection.connectToDevice(address);
        ASSERT_TRUE(ready.wait(1000));
        ASSERT_EQ(ready.at(0).at(0).toString(), address);
    }

    FakeRadio radio;
    bool powered = false;
    BTLE_Connection connection;
};

TEST(BtleConnection, DiscoveryListsEachMatchingLowEnergyDeviceOnceAndSignalsTheWantedOne)
{
    Fixture f;
    EXPECT_TRUE(f.powered);
    ASSERT_TRUE(f.radio.agent);
    EXPECT_EQ(f.radio.agent->timeoutMs, VELTRIX_LinkTiming().btleDiscoveryTimeoutMs);

    QSignalSpy updated(&f.connection, &BTLE_Connection::devicesUpdated);
    QSignalSpy found(&f.connection, &BTLE_Connection::foundSpecificDevice);
    f.connection.startDeviceDiscovery(false);
    EXPECT_EQ(f.radio.agent->startCalls, 1);
    EXPECT_EQ(updated.count(), 1);

    emit f.radio.agent->deviceDiscovered(device(QStringLiteral("Orvik-7"), kWanted));
    emit f.radio.agent->deviceDiscovered(
        device(QStringLiteral("orvik-8"), QStringLiteral("01:00:00:00:00:08")));
    emit f.radio.agent->deviceDiscovered(
        device(QStringLiteral("Sensor Orvik"), QStringLiteral("01:00:00:00:00:09")));
    emit f.radio.agent->deviceDiscovered(
        device(QStringLiteral("Orvik-C"), QStringLiteral("01:00:00:00:00:0A"), false));
    emit f.radio.agent->deviceDiscovered(device(QStringLiteral("Orvik-7"), kWanted));
    emit f.radio.agent->deviceDiscovered(device(QStringLiteral("Orvik"), kOther));

    const auto devices = f.connection.getDevices();
    ASSERT_EQ(devices.size(), 2);
    EXPECT_EQ(devices[0]->property("deviceName").toString(), QStringLiteral("Orvik-7"));
    EXPECT_EQ(devices[0]->property("deviceAddress").toString(), kWanted);
    EXPECT_EQ(devices[1]->property("deviceAddress").toString(), kOther);
    EXPECT_EQ(updated.count(), 3);
    EXPECT_EQ(found.count(), 1);

    // A new discovery starts from an empty list.
    f.connection.startDeviceDiscovery(false);
    EXPECT_TRUE(f.connection.getDevices().isEmpty());
}

TEST(BtleConnection, PermanentScanRestartsUntilStopped)
{
    Fixture f;
    f.connection.startDeviceDiscovery(false);
    f.radio.agent->finish();
    EXPECT_EQ(f.radio.agent->startCalls, 1);

    f.connection.startSpecificDeviceDiscovery(kOther, true);
    f.radio.agent->finish();
    f.radio.agent->finish();
    EXPECT_EQ(f.radio.agent->startCalls, 4);
    QSignalSpy found(&f.connection, &BTLE_Connection::foundSpecificDevice);
    emit f.radio.agent->deviceDiscovered(device(QStringLiteral("Orvik"), kOther));
    EXPECT_EQ(found.count(), 1);

    f.connection.stopScanningDevices();
    EXPECT_EQ(f.radio.agent->stopCalls, 1);
    f.radio.agent->finish();
    EXPECT_EQ(f.radio.agent->startCalls, 4);
}

TEST(BtleConnection, ConnectingToAnUnknownAddressDoesNothing)
{
    Fixture f;
    f.connection.startDeviceDiscovery(false);
    emit f.radio.agent->deviceDiscovered(device(QStringLiteral("Orvik-7"), kWanted));
    AllSignals all(&f.connection);
    f.connection.connectToDevice(kOther);
    settle(20);
    EXPECT_EQ(all.total(), 0);
    EXPECT_TRUE(f.radio.controllers.isEmpty());
}

TEST(BtleConnection, ConnectDiscoversTheVendorServiceAndEnablesFrameNotifications)
{
    Fixture f;
    QSignalSpy services(&f.connection, &BTLE_Connection::servicesUpdated);
    QSignalSpy details(&f.connection, &BTLE_Connection::startDiscoverServiceDetails);
    QSignalSpy characteristics(&f.connection, &BTLE_Connection::characteristicsUpdated);
    f.connectReady();

    ASSERT_EQ(f.radio.controllers.size(), 1);
    EXPECT_EQ(f.radio.controllerDevices.at(0).address().toString(), kWanted);
    EXPECT_EQ(f.radio.lastController()->connectCalls, 1);
    EXPECT_EQ(services.count(), 1);
    EXPECT_EQ(details.count(), 1);
    EXPECT_EQ(characteristics.count(), 1);
    EXPECT_FALSE(f.connection.hasControllerError());

    QStringList uuids;
    for (QObject* service : f.connection.getServices())
        uuids.append(service->property("serviceUuid").toString());
    uuids.sort();
    EXPECT_EQ(uuids, (QStringList{"0x180f", "e093f3b5-00a3-a9e5-9eca-40016e0edc24"}));

    const auto list = f.connection.getCharacteristics();
    ASSERT_EQ(list.size(), 1);
    auto* frame = static_cast<BTLE_CharacteristicInfo*>(list[0]);
    EXPECT_EQ(frame->getUuid(), QStringLiteral("e093f3b5-00a3-a9e5-9eca-40036e0edc24"));
    EXPECT_EQ(frame->getHandle(), QStringLiteral("0x0012"));
    EXPECT_EQ(frame->getPermission(), QStringLiteral("Write Notify"));
    EXPECT_TRUE(f.connection.hasCharacteristic(QLatin1String(BTLE_Connection::szFrameCharacteristicUuid)));

    // The device notifies only after its configuration descriptor says so.
    Service* vendor = f.radio.service(kService);
    ASSERT_TRUE(vendor);
    EXPECT_EQ(vendor->notificationsEnabled, (QList<QBluetoothUuid>{kFrame}));
}

TEST(BtleConnection, DetailsNeedAKnownServiceButNoClientConfiguration)
{
    Fixture f;
    f.connectReady();
    QSignalSpy characteristics(&f.connection, &BTLE_Connection::characteristicsUpdated);
    f.connection.discoverServiceDetails(QStringLiteral("0000aaaa-0000-1000-8000-00805f9b34fb"));
    settle(20);
    EXPECT_EQ(characteristics.count(), 0);

    // Without a configuration descriptor the link is still usable.
    Fixture g;
    g.radio.frameHasCccd = false;
    g.connectReady();
    EXPECT_TRUE(g.radio.service(kService)->notificationsEnabled.isEmpty());
}

TEST(BtleConnection, WritesAreConfirmedAndOnlyFrameNotificationsDelivered)
{
    Fixture f;
    f.connectReady();
    QSignalSpy written(&f.connection, &BTLE_Connection::dataSuccessfullyWrittenToDevice);
    QSignalSpy data(&f.connection, &BTLE_Connection::newDataFromConnectedDeviceAvailable);
    Service* vendor = f.radio.service(kService);

    f.connection.writeToConnectedDevice(QByteArray("\xFF\x82", 2),
                                        QLatin1String(BTLE_Connection::szFrameCharacteristicUuid));
    ASSERT_TRUE(written.wait(1000));
    EXPECT_EQ(vendor->writes, (QList<QByteArray>{QByteArray("\xFF\x82", 2)}));

    // A characteristic the service does not have is not written.
    f.connection.writeToConnectedDevice("x", QStringLiteral("0000bbbb-0000-1000-8000-00805f9b34fb"));
    settle(20);
    EXPECT_EQ(written.count(), 1);

    vendor->notify(kBatteryLevel, "\x50");
    vendor->notify(kFrame, QByteArray("\x86\x5A", 2));
    ASSERT_TRUE(data.wait(1000));
    ASSERT_EQ(data.count(), 1);
    EXPECT_EQ(data.at(0).at(0).toByteArray(), QByteArray("\x86\x5A", 2));
}

TEST(BtleConnection, ConnectingElsewhereDropsTheOldDeviceQuietly)
{
    Fixture f;
    f.connectReady();
    emit f.radio.agent->deviceDiscovered(device(QStringLiteral("Orvik-B"), kOther));
    QSignalSpy disconnected(&f.connection, &BTLE_Connection::disconnected);
    QSignalSpy ready(&f.connection, &BTLE_Connection::readyToCommunicate);
    Controller* first = f.radio.lastController();
    f.connection.connectToDevice(kOther);
    EXPECT_EQ(first->disconnectCalls, 1);
    ASSERT_TRUE(ready.wait(1000));
    EXPECT_EQ(ready.at(0).at(0).toString(), kOther);
    EXPECT_EQ(disconnected.count(), 0);
    EXPECT_EQ(f.radio.controllers.size(), 2);
    EXPECT_EQ(f.connection.getCharacteristics().size(), 1);
}

TEST(BtleConnection, DisconnectReportsAndResumesAPermanentScan)
{
    Fixture f;
    f.connectReady();
    f.connection.startDeviceDiscovery(true);
    f.radio.agent->stop();
    const int starts = f.radio.agent->startCalls;
    QSignalSpy disconnected(&f.connection, &BTLE_Connection::disconnected);
    f.connection.disconnectFromDevice();
    ASSERT_TRUE(disconnected.wait(1000));
    EXPECT_EQ(f.radio.lastController()->disconnectCalls, 1);
    EXPECT_EQ(f.radio.agent->startCalls, starts + 1);
}

TEST(BtleConnection, DiscoveryAndControllerErrorsHaveTheirTexts)
{
    Fixture f;
    QSignalSpy errors(&f.connection, &BTLE_Connection::errorOccurred);
    const QList<std::pair<QBluetoothDeviceDiscoveryAgent::Error, QString>> discovery = {
        {QBluetoothDeviceDiscoveryAgent::PoweredOffError, "BT Adapter is powered off"},
        {QBluetoothDeviceDiscoveryAgent::InputOutputError, "BT IO Error"},
        {QBluetoothDeviceDiscoveryAgent::InvalidBluetoothAdapterError,
         "BT Error: InvalidBluetoothAdapterError"},
        {QBluetoothDeviceDiscoveryAgent::UnsupportedDiscoveryMethod, "BT Error: UnsupportedDiscoveryMethod"},
    };
    for (const auto& [error, text] : discovery)
    {
        errors.clear();
        emit f.radio.agent->errorOccurred(error);
        ASSERT_EQ(errors.count(), 1);
        EXPECT_EQ(errors.at(0).at(0).toString(), text);
    }

    f.connectReady();
    const QList<std::pair<QLowEnergyController::Error, QString>> controller = {
        {QLowEnergyController::UnknownRemoteDeviceError, "BT Remote Device Error"},
        {QLowEnergyController::NetworkError, "BT Network Error"},
        {QLowEnergyController::InvalidBluetoothAdapterError, "BT invalid Adapter Error"},
        {QLowEnergyController::ConnectionError, "BT connection error"},
        {QLowEnergyController::UnknownError, "BT unknown Error"},
        {QLowEnergyController::RemoteHostClosedError, "BT unknown Error"},
    };
    for (const auto& [error, text] : controller)
    {
        errors.clear();
        f.radio.lastController()->fail(error);
        ASSERT_EQ(errors.count(), 1);
        EXPECT_EQ(errors.at(0).at(0).toString(), text);
    }
    EXPECT_TRUE(f.connection.hasControllerError());
}

// --- the link layer on the seam ---

struct BtleLink
{
    BtleLink()
    {
        VELTRIX_LinkTiming timing;
        timing.responseTimeoutMs = 80;
        timing.btleRescanDelayMs = 40;
        timing.burstFirstFrameDelayMs = 20;
        link = std::make_unique<VELTRIX_LinkLayer>(nullptr, VELTRIX_Session::VELTRIX_HW_BTLE, timing,
                                                   LinkTest::fakeFactory(&serial), factory(&radio));
        QObject::connect(link.get(), &VELTRIX_LinkLayer::btleStateChanged,
                         [this](VELTRIX_Session::BTLE_STATE s) { states.append(s); });
        QObject::connect(link.get(), &VELTRIX_LinkLayer::sessionNewInfo,
                         [this](VELTRIX_SessionInfo* info)
                         {
                             bauds.append(info->getBaudrate());
                             if (info->getError() != VELTRIX_Session::VELTRIX_ENUM_SESSION_NO_ERROR)
                                 errors.append(info->getError());
                         });
    }

    void connectDevice()
    {
        link->btleStartScan();
        emit radio.agent->deviceDiscovered(device(QStringLiteral("Any name"), kWanted));
        link->btleConnectTo(kWanted);
        ASSERT_TRUE(waitUntil([&] { return states.contains(VELTRIX_Session::CONNECTED); }));
    }

    FakeRadio radio;
    FFakeSerialPortBackend* serial = nullptr;
    QList<VELTRIX_Session::BTLE_STATE> states;
    QList<VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR> errors;
    QList<uint> bauds;
    std::unique_ptr<VELTRIX_LinkLayer> link;
};

TEST(BtleLinkLayer, ScanConnectAndDisconnectReportTheirStates)
{
    EXPECT_EQ(VELTRIX_LinkTiming().btleRescanDelayMs, 500);
    BtleLink l;
    l.connectDevice();
    // Every device name passes the link layer's filter.
    EXPECT_EQ(l.link->btleGetDevices().value<QList<QObject*>>().size(), 1);
    EXPECT_EQ(l.states,
              (QList<VELTRIX_Session::BTLE_STATE>{VELTRIX_Session::NEW_DEVICES, VELTRIX_Session::SCANNING,
                                                  VELTRIX_Session::NEW_DEVICES, VELTRIX_Session::CONNECTING,
                                                  VELTRIX_Session::CONNECTED}));
    EXPECT_EQ(l.link->getBtleConnectedDevice(), kWanted);
    EXPECT_EQ(l.bauds.value(l.bauds.size() - 1), 1200u);

    VELTRIX_Session session;
    session.setType(VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_MASTER);
    l.link->sessionStart(&session);
    l.states.clear();
    l.link->btleDisconnect();
    EXPECT_FALSE(l.link->isRunning());
    ASSERT_TRUE(waitUntil([&] { return l.states.contains(VELTRIX_Session::DISCONNECTED); }));
    EXPECT_EQ(l.states, (QList<VELTRIX_Session::BTLE_STATE>{VELTRIX_Session::DISCONNECTED}));
    EXPECT_TRUE(l.link->getBtleConnectedDevice().isEmpty());
    ASSERT_TRUE(waitUntil([&] { return l.states.size() == 2; }));
    EXPECT_EQ(l.states.last(), VELTRIX_Session::SCANNING);

    l.link->btleStopScan();
    EXPECT_FALSE(l.radio.agent->active);
}

TEST(BtleLinkLayer, TransportErrorsAndWritesWithoutADeviceAreSessionErrors)
{
    BtleLink l;
    VELTRIX_Session session;
    session.setType(VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_MASTER);
    l.link->sessionStart(&session);
    QByteArray request = QByteArray::fromHex("820000000000890000");
    request.chop(1);
    l.link->sessionDataTxSetBuffer(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_137, request);
    EXPECT_EQ(l.errors, (QList<VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR>{
                            VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_BTLE}));

    l.connectDevice();
    l.errors.clear();
    l.states.clear();
    l.radio.lastController()->fail(QLowEnergyController::ConnectionError);
    EXPECT_EQ(l.states, (QList<VELTRIX_Session::BTLE_STATE>{VELTRIX_Session::HW_ERROR}));
    EXPECT_EQ(l.errors, (QList<VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR>{
                            VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_BTLE}));
}

TEST(BtleLinkLayer, AWriteThatIsRefusedOrNeverConfirmedEndsTheExchangeAtOnce)
{
    enum class Fault
    {
        RefusedAtOnce,
        RefusedLater,
        DisconnectedBeforeConfirmation
    };
    for (const Fault fault :
         {Fault::RefusedAtOnce, Fault::RefusedLater, Fault::DisconnectedBeforeConfirmation})
    {
        SCOPED_TRACE(static_cast<int>(fault));
        BtleLink l;
        l.connectDevice();
        l.radio.refuseWrites = fault == Fault::RefusedAtOnce;
        l.radio.onWrite = [&](Service* service, const QBluetoothUuid&, const QByteArray&)
        {
            if (fault == Fault::RefusedLater)
                service->refuse();
            else
                l.radio.lastController()->disconnectFromDevice();
        };
        VELTRIX_Session session;
        session.setType(VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_MASTER);
        l.link->sessionStart(&session);
        l.errors.clear();
        QByteArray request = QByteArray::fromHex("820000000000890000");
        request.chop(1);
        l.link->sessionDataTxSetBuffer(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_137, request);
        // Far sooner than the session's own answer timeout would end it.
        ASSERT_TRUE(waitUntil([&] { return !l.errors.isEmpty(); }, 200));
        EXPECT_EQ(l.errors, (QList<VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR>{
                                VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_BTLE}));
    }
}

TEST(BtleLinkLayer, ADeviceWithoutTheVendorServiceIsAnError)
{
    BtleLink l;
    l.radio.profile.remove(kService);
    l.link->btleStartScan();
    emit l.radio.agent->deviceDiscovered(device(QStringLiteral("Headset"), kWanted));
    l.link->btleConnectTo(kWanted);
    ASSERT_TRUE(waitUntil([&] { return l.states.last() == VELTRIX_Session::HW_ERROR; }));
    EXPECT_EQ(l.errors, (QList<VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR>{
                            VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_BTLE}));
    EXPECT_FALSE(l.states.contains(VELTRIX_Session::CONNECTED));
}

TEST(BtleLinkLayer, MasterBurstFramesShareNotificationsAndAreAcknowledgedOverTheRadio)
{
    BtleLink l;
    l.connectDevice();
    const std::array<uchar, 5> address = {0x5A, 0x00, 0x07, 0x00, 0x00};
    VELTRIX_Session session;
    session.setType(VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_MASTER);
    session.setAddress(address.data());
    l.link->sessionStart(&session);
    session.setCommand(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_139);
    l.link->sessionBurstModeSetActivate();

    QList<QByteArray> frames;
    QObject::connect(l.link.get(), &VELTRIX_LinkLayer::sessionDataRxBufferReady,
                     [&](const QByteArray& frame) { frames.append(frame); });
    // Two burst frames and the preambles of a third in one notification.
    QByteArray one = QByteArray::fromHex("865A000700008B0400000102");
    QByteArray two = QByteArray::fromHex("865A000700008B0400000304");
    auto framed = [](QByteArray bytes)
    {
        VELTRIX_Frame::addFraming(bytes);
        return bytes;
    };
    Service* vendor = l.radio.service(kService);
    vendor->notify(kFrame, framed(one) + framed(two) + QByteArray(3, '\xFF'));
    ASSERT_TRUE(waitUntil([&] { return frames.size() == 2; }))
        << frames.size() << " frames, errors " << l.errors.size() << " first " << l.errors.value(0)
        << " state " << session.getState();
    EXPECT_EQ(frames, (QList<QByteArray>{one, two}));
    EXPECT_TRUE(l.errors.isEmpty());

    vendor->writes.clear();
    l.link->sessionBurstModeSetAcknowledge();
    ASSERT_TRUE(waitUntil([&] { return !vendor->writes.isEmpty(); }));
    EXPECT_EQ(vendor->writes, (QList<QByteArray>{QByteArray(1, '\x0F')}));
    EXPECT_TRUE(l.serial->writes().isEmpty());
}

TEST(BtleLinkLayer, SlaveBurstFramesGoOutOverTheRadio)
{
    BtleLink l;
    l.connectDevice();
    VELTRIX_Session session;
    session.setType(VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_SLAVE);
    l.link->sessionStart(&session);
    const QByteArray burst = QByteArray::fromHex("865A000700008B0400000102");
    QObject::connect(l.link.get(), &VELTRIX_LinkLayer::sessionDataFetchTxBufferForBurst,
                     [&](QByteArray& buffer) { buffer = burst; });
    l.link->sessionBurstModeSetActivate();
    Service* vendor = l.radio.service(kService);
    ASSERT_TRUE(waitUntil([&] { return !vendor->writes.isEmpty(); }));
    QByteArray expected = burst;
    VELTRIX_Frame::addFraming(expected);
    EXPECT_EQ(vendor->writes.first(), expected);
    // The confirmed write leaves the slave waiting for the acknowledge.
    ASSERT_TRUE(waitUntil(
        [&] {
            return session.getState() ==
                   VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_RECIEVING_WAIT_FOR_BURST_ACK;
        }));
    l.link->sessionStop();
}

} // namespace
