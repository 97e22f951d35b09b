#include "btle_fakes.h"
#include "link_test_support.h"

#include "protocol/VELTRIX.h"
#include "protocol/VELTRIX_SLAVE_AppLayer.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <array>
#include <memory>

using LinkTest::settle;
using LinkTest::setValues;
using LinkTest::waitUntil;
using namespace BtleFake;

namespace
{

const std::array<uchar, 5> kDevice = {0x5A, 0x00, 0x07, 0x00, 0x00};
const QString kAddress = QStringLiteral("00:11:22:33:44:55");

// A master facade on Bluetooth LE and a device played by a slave facade on a
// serial line. The radio hands the master's frames to the slave's line and
// turns what the slave sends into notifications, cut where the test says.
struct BtlePair
{
    BtlePair()
    {
        VELTRIX_Options options;
        options.timing.requestDelayMs = 5;
        options.timing.link.responseTimeoutMs = 150;
        options.timing.link.burstFirstFrameDelayMs = 20;
        options.btleBackendFactory = factory(&radio);
        options.backendFactory = LinkTest::fakeFactory(&masterSerial);
        master = std::make_unique<VELTRIX>(nullptr, VELTRIX_Session::VELTRIX_HW_BTLE, options);

        VELTRIX_Options slaveOptions;
        slaveOptions.backendFactory = LinkTest::fakeFactory(&slaveSerial);
        slaveOptions.timing.link.burstFirstFrameDelayMs = 20;
        slave = std::make_unique<VELTRIX>(nullptr, VELTRIX_Session::VELTRIX_HW_UART, slaveOptions);
        FFakeSerialPortBackend::connectLine(&air, slaveSerial);
        air.open(QIODevice::ReadWrite);
        QObject::connect(&air, &FSerialPortBackend::readyRead, [this] { notifyMaster(air.readAll()); });
        radio.onWrite = [this](Service* service, const QBluetoothUuid& uuid, const QByteArray& data)
        {
            air.write(data);
            service->confirm(uuid, data);
        };

        device.setType(VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_SLAVE);
        device.setAddress(kDevice.data());
        setValues(device, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_141,
                  {{"Devicetypestring", "N5Q2-ORVIK-FLOW1"}});
        setValues(
            device, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_139,
            {{"Number of Burstvariables", 1}, {"Burstvariable 1 Unit", 17}, {"Burstvariable 1", 42.0f}});
        // The device's memory: what is written reads back.
        QObject::connect(slave->getSlaveAppLayer(), &VELTRIX_SLAVE_AppLayer::sessionRequestReceived,
                         [this](VELTRIX_Session* request)
                         {
                             if (request->getCommand() != VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_131)
                                 return;
                             QMap<QString, QVariant> map;
                             request->getDataForCommand(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_131,
                                                        &map);
                             setValues(device, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130,
                                       {{"Bytes", map.value("Bytes")}});
                         });

        QObject::connect(master.get(), &VELTRIX::sessionNewData,
                         [this](VELTRIX_Session* data)
                         {
                             QMap<QString, QVariant> map;
                             data->getDataForCommand(data->getCommand(), &map);
                             answers.append({data->getCommand(), map});
                         });
        QObject::connect(master.get(), &VELTRIX::sessionNewInfo,
                         [this](VELTRIX_SessionInfo* info)
                         {
                             if (info->getError() != VELTRIX_Session::VELTRIX_ENUM_SESSION_NO_ERROR)
                                 errors.append(info->getError());
                         });
    }

    void open()
    {
        VELTRIX_Session::InterfaceSettings settings;
        VELTRIX_Session::getDefaultSettingsForInterface(&settings);
        settings.portName = QStringLiteral("ttyFAKE0");
        settings.powerCycle = false;
        settings.singleWire = false;
        QSignalSpy open(slave.get(), &VELTRIX::portNewState);
        slave->portOpen(true, settings);
        ASSERT_TRUE(open.wait(2000));
        slave->sessionStart(&device);

        QSignalSpy states(master.get(), &VELTRIX::btleNewState);
        master->btleStartScan();
        emit radio.agent->deviceDiscovered(BtleFake::device(QStringLiteral("Orvik radio"), kAddress));
        master->btleConnectTo(kAddress);
        ASSERT_TRUE(waitUntil(
            [&]
            {
                return !states.isEmpty() &&
                       states.last().at(0).value<VELTRIX_Session::BTLE_STATE>() == VELTRIX_Session::CONNECTED;
            }));
    }

    void notifyMaster(const QByteArray& bytes)
    {
        Service* vendor = radio.service(kService);
        if (splitAt <= 0 || splitAt >= bytes.size())
        {
            vendor->notify(kFrame, bytes);
            return;
        }
        vendor->notify(kFrame, bytes.left(splitAt));
        vendor->notify(kFrame, bytes.mid(splitAt));
    }

    // Runs one master session with `commands` and waits for `count` answers.
    bool run(VELTRIX_Session& asking, const QList<int>& commands, int count)
    {
        asking.setType(VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_MASTER);
        asking.setAddress(kDevice.data());
        for (int command : commands)
            asking.addCommandToQueue(static_cast<VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND>(command), 1,
                                     1);
        answers.clear();
        master->sessionStart(&asking);
        return waitUntil([&] { return answers.size() >= count || !errors.isEmpty(); }, 5000) &&
               errors.isEmpty();
    }

    struct Received
    {
        int command;
        QMap<QString, QVariant> values;
    };

    FakeRadio radio;
    FFakeSerialPortBackend air;
    FFakeSerialPortBackend* slaveSerial = nullptr;
    // Built but never opened: the master talks over the radio.
    FFakeSerialPortBackend* masterSerial = nullptr;
    VELTRIX_Session device;
    int splitAt = 0;
    QList<Received> answers;
    QList<VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR> errors;
    std::unique_ptr<VELTRIX> master;
    std::unique_ptr<VELTRIX> slave;
};

TEST(BtleFacade, IdentifyReadWriteAndReadBackWithNotificationsCutAnywhere)
{
    BtlePair pair;
    pair.open();
    // Answers here are at most 30 bytes long; each cut is tried once.
    for (int cut = 0; cut <= 30; ++cut)
    {
        SCOPED_TRACE(cut);
        pair.splitAt = cut;
        const QByteArray bytes = QByteArray::fromHex("A0B1C2").append(char(cut));
        VELTRIX_Session asking;
        asking.reset();
        setValues(asking, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_131,
                  {{"Address", 0x0020}, {"BytesToWrite", 4}, {"Bytes", bytes}});
        setValues(asking, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130,
                  {{"Address", 0x0020}, {"BytesToRead", 4}});
        ASSERT_TRUE(pair.run(asking, {137, 141, 131, 130}, 4))
            << pair.answers.size() << " answers, first error " << pair.errors.value(0);
        ASSERT_EQ(pair.answers.size(), 4);
        EXPECT_EQ(pair.answers[0].command, 137);
        EXPECT_EQ(pair.answers[0].values.value("Address Vendor ID").toInt(), 0x5A);
        EXPECT_EQ(pair.answers[0].values.value("Address Slave").toInt(), 7);
        EXPECT_EQ(pair.answers[1].values.value("Devicetypestring").toString(),
                  QStringLiteral("N5Q2-ORVIK-FLOW1"));
        EXPECT_EQ(pair.answers[2].command, 131);
        EXPECT_EQ(pair.answers[2].values.value("Universal Error").toInt(), 0);
        EXPECT_EQ(pair.answers[3].command, 130);
        EXPECT_EQ(pair.answers[3].values.value("Bytes").toByteArray(), bytes);
    }
}

TEST(BtleFacade, BurstFramesArriveAndAreAcknowledged)
{
    BtlePair pair;
    pair.open();
    pair.splitAt = 7;
    VELTRIX_Session asking;
    asking.reset();
    ASSERT_TRUE(pair.run(asking, {142}, 4))
        << pair.answers.size() << " answers, first error " << pair.errors.value(0);
    pair.master->sessionStop();
    pair.slave->sessionStop();
    EXPECT_EQ(pair.answers[0].command, 142);
    for (int i = 1; i < pair.answers.size(); ++i)
    {
        EXPECT_EQ(pair.answers[i].command, 139);
        EXPECT_FLOAT_EQ(pair.answers[i].values.value("Burstvariable 1").toFloat(), 42.0f);
    }
    // Each burst frame after the first came because the one before was acknowledged.
    int acks = 0;
    for (const QByteArray& write : pair.radio.service(kService)->writes)
        acks += write == QByteArray(1, '\x0F');
    EXPECT_GE(acks, 2);
    settle(20);
}

} // namespace
