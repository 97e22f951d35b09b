#include <gtest/gtest.h>

#include <QTest>
#include <QTimer>

#include "protocol/VELTRIX_MASTER_AppLayer.h"
#include "protocol/VELTRIX_SLAVE_AppLayer.h"

namespace
{

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text));
}

using DataMap = QMap<QString, QVariant>;

DataMap dataFor(const VELTRIX_Session* session, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND command)
{
    DataMap map;
    session->getDataForCommand(command, &map);
    return map;
}

void setValues(VELTRIX_Session& session, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND command,
               const DataMap& values)
{
    DataMap map = dataFor(&session, command);
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        map.insert(it.key(), it.value());
    session.setDataForCommand(command, map);
}

constexpr uchar deviceAddress[5] = {0x01, 0x00, 0x2A, 0x00, 0x00};

// Records everything a master layer tells the link layer and its listeners.
struct MasterProbe
{
    QObject context;
    QList<QPair<int, QByteArray>> sent;
    QList<int> commands;
    QList<DataMap> data;
    QList<int> stopsAtData;
    QList<uint> baudrates;
    bool baudrateOk = true;
    int starts = 0;
    int stops = 0;
    int activations = 0;
    int acknowledges = 0;

    explicit MasterProbe(VELTRIX_MASTER_AppLayer& layer)
    {
        using L = VELTRIX_MASTER_AppLayer;
        QObject::connect(&layer, &L::sessionDataTxSetBuffer, &context,
                         [this](VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND command, QByteArray& buffer) {
                             sent.append({static_cast<int>(command), buffer});
                         });
        QObject::connect(&layer, &L::sessionStart, &context, [this](VELTRIX_Session*) { ++starts; });
        QObject::connect(&layer, &L::sessionStop, &context, [this] { ++stops; });
        QObject::connect(&layer, &L::sessionNewData, &context,
                         [this](VELTRIX_Session* response)
                         {
                             commands.append(response->getCommand());
                             data.append(dataFor(response, response->getCommand()));
                             stopsAtData.append(stops);
                         });
        QObject::connect(&layer, &L::sessionBaudrateSetNew, &context,
                         [this](uint rate, bool* ok)
                         {
                             baudrates.append(rate);
                             *ok = baudrateOk;
                             return baudrateOk;
                         });
        QObject::connect(&layer, &L::sessionBurstModeSetActivate, &context, [this] { ++activations; });
        QObject::connect(&layer, &L::sessionBurstModeSetAcknowledge, &context, [this] { ++acknowledges; });
    }

    bool waitForSent(int count, int timeoutMs = 3000)
    {
        return QTest::qWaitFor([&] { return sent.size() >= count; }, timeoutMs);
    }
};

struct SlaveProbe
{
    QObject context;
    QList<QPair<int, QByteArray>> sent;
    QList<DataMap> requests;
    QList<uint> baudrates;
    QStringList events;
    int starts = 0;

    explicit SlaveProbe(VELTRIX_SLAVE_AppLayer& layer)
    {
        using L = VELTRIX_SLAVE_AppLayer;
        QObject::connect(&layer, &L::sessionDataTxSetBuffer, &context,
                         [this](VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND command, QByteArray& buffer)
                         {
                             sent.append({static_cast<int>(command), buffer});
                             events << "sent";
                         });
        QObject::connect(&layer, &L::sessionStart, &context, [this](VELTRIX_Session*) { ++starts; });
        QObject::connect(&layer, &L::sessionNewData, &context,
                         [this](VELTRIX_Session* request)
                         { requests.append(dataFor(request, request->getCommand())); });
        QObject::connect(&layer, &L::sessionBaudrateSetNew, &context,
                         [this](uint rate, bool* ok)
                         {
                             baudrates.append(rate);
                             events << "baudrate";
                             *ok = true;
                             return true;
                         });
        QObject::connect(&layer, &L::sessionBurstModeSetActivate, &context, [this] { events << "burst"; });
    }
};

class MasterLayer : public ::testing::Test
{
protected:
    void prepare(std::initializer_list<VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND> commands)
    {
        record.reset();
        record.setType(VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_MASTER);
        record.setAddress(deviceAddress);
        for (auto command : commands)
            record.addCommandToQueue(command, 1, 1);
    }

    void start(VELTRIX_MASTER_AppLayer& layer)
    {
        layer.startSession(&record);
        layer.setRequestBufferAndRequest();
    }

    VELTRIX_Session record;
};

} // namespace

TEST_F(MasterLayer, WalksTheQueueAndStopsBeforeHandingOutTheLastAnswer)
{
    VELTRIX_MASTER_AppLayer layer(nullptr, 1, 1);
    MasterProbe probe(layer);
    prepare({VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_131,
             VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130});
    setValues(record, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_131,
              {{"Address", 0x10}, {"BytesToWrite", 2}, {"Bytes", hex("AABB")}});
    setValues(record, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130,
              {{"Address", 0x10}, {"BytesToRead", 2}});

    start(layer);
    EXPECT_EQ(probe.starts, 1);
    EXPECT_TRUE(probe.sent.isEmpty()) << "the request waits for its delay";
    ASSERT_TRUE(probe.waitForSent(1));
    EXPECT_EQ(probe.sent[0].first, 131);
    EXPECT_EQ(probe.sent[0].second, hex("82 01 00 2A 00 00 83 04 00 10 AA BB"));

    layer.sessionDataReady(hex("86 01 00 2A 00 00 83 02 00 00"));
    ASSERT_EQ(probe.commands, QList<int>{131});
    EXPECT_EQ(probe.stopsAtData.last(), 0);
    ASSERT_TRUE(probe.waitForSent(2));
    EXPECT_EQ(probe.sent[1].first, 130);
    EXPECT_EQ(probe.sent[1].second, hex("82 01 00 2A 00 00 82 03 00 10 02"));

    layer.sessionDataReady(hex("86 01 00 2A 00 00 82 04 00 00 AA BB"));
    ASSERT_EQ(probe.commands.size(), 2);
    EXPECT_EQ(probe.data[1].value("Bytes").toByteArray(), hex("AABB"));
    EXPECT_EQ(probe.stopsAtData.last(), 1) << "the session ends before listeners see the last answer";
    EXPECT_FALSE(layer.isActive());
    EXPECT_EQ(layer.getResponseSession()->getValidSessionCount(), 2u);
    EXPECT_EQ(layer.getResponseSession()->getBuffer(), hex("86 01 00 2A 00 00 82 04 00 00 AA BB"));
    EXPECT_EQ(layer.getResponseSession()->getAddress(), record.getAddress());

    // Nothing further is processed once the session is over.
    layer.sessionDataReady(hex("86 01 00 2A 00 00 82 04 00 00 AA BB"));
    EXPECT_EQ(probe.commands.size(), 2);
}

TEST_F(MasterLayer, EmptyQueueEndsTheSessionWithoutSending)
{
    VELTRIX_MASTER_AppLayer layer(nullptr, 1, 1);
    MasterProbe probe(layer);
    prepare({});
    start(layer);
    EXPECT_EQ(probe.stops, 1);
    EXPECT_FALSE(layer.isActive());
    QTest::qWait(20);
    EXPECT_TRUE(probe.sent.isEmpty());
}

TEST_F(MasterLayer, StopCancelsARequestStillWaitingForItsDelay)
{
    VELTRIX_MASTER_AppLayer layer(nullptr, 30, 1);
    MasterProbe probe(layer);
    prepare({VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_135,
             VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_136});
    start(layer);
    layer.stopSession();
    EXPECT_EQ(probe.stops, 1);
    QTest::qWait(120);
    EXPECT_TRUE(probe.sent.isEmpty());

    // The same when the stop falls between two answers.
    prepare({VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_135,
             VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_136});
    start(layer);
    ASSERT_TRUE(probe.waitForSent(1));
    layer.sessionDataReady(hex("86 01 00 2A 00 00 87 04 00 00 01 02"));
    layer.stopSession();
    QTest::qWait(120);
    EXPECT_EQ(probe.sent.size(), 1);
}

TEST_F(MasterLayer, IgnoresFramesOutsideASessionAndTooShortFrames)
{
    VELTRIX_MASTER_AppLayer layer(nullptr, 1, 1);
    MasterProbe probe(layer);
    layer.sessionDataReady(hex("86 01 00 2A 00 00 87 04 00 00 01 02"));
    EXPECT_TRUE(probe.commands.isEmpty());

    prepare({VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_135});
    start(layer);
    layer.sessionDataReady(hex("86 01 00 2A 00"));
    EXPECT_TRUE(probe.commands.isEmpty());

    // Too short for status bytes: reported, not a crash.
    ASSERT_TRUE(probe.waitForSent(1));
    layer.sessionDataReady(hex("86 01 00 2A 00 00 87"));
    ASSERT_EQ(probe.commands, QList<int>{135});
    EXPECT_EQ(probe.data[0].value("Universal Error").toInt(), 1);
}

TEST_F(MasterLayer, BaudrateSwitchesAfterAPositiveAnswerAndTheNextRequestWaits)
{
    VELTRIX_MASTER_AppLayer layer(nullptr, 1, 150);
    MasterProbe probe(layer);
    prepare({VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_129,
             VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_135});
    setValues(record, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_129, {{"Baudrate", 19200}});
    start(layer);
    ASSERT_TRUE(probe.waitForSent(1));
    EXPECT_EQ(probe.sent[0].second, hex("82 01 00 2A 00 00 81 03 00 4B 00"));
    EXPECT_EQ(layer.getPendingBaudrate(), 19200u);

    layer.sessionDataReady(hex("86 01 00 2A 00 00 81 02 00 00"));
    EXPECT_EQ(probe.baudrates, QList<uint>{19200});
    EXPECT_EQ(probe.data[0].value("Universal Error").toInt(), 0);
    QTest::qWait(80);
    EXPECT_EQ(probe.sent.size(), 1) << "the device needs a pause at the new rate";
    ASSERT_TRUE(probe.waitForSent(2));
    EXPECT_EQ(probe.sent[1].first, 135);
}

TEST_F(MasterLayer, FailedOrRefusedBaudrateChangeIsNotExecuted)
{
    VELTRIX_MASTER_AppLayer layer(nullptr, 1, 1);
    MasterProbe probe(layer);
    probe.baudrateOk = false;
    prepare({VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_129,
             VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_129});
    setValues(record, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_129, {{"Baudrate", 9600}});
    start(layer);
    ASSERT_TRUE(probe.waitForSent(1));
    layer.sessionDataReady(hex("86 01 00 2A 00 00 81 02 00 00"));
    EXPECT_EQ(probe.baudrates, QList<uint>{9600});
    EXPECT_EQ(probe.data[0].value("Universal Error").toInt(), 255);

    // Refused by the device: no switch at all.
    ASSERT_TRUE(probe.waitForSent(2));
    layer.sessionDataReady(hex("86 01 00 2A 00 00 81 02 00 20"));
    EXPECT_EQ(probe.baudrates.size(), 1);
    EXPECT_EQ(layer.getPendingBaudrate(), 0u);
    EXPECT_EQ(probe.data[1].value("Universal Error").toInt(), 255);
}

TEST_F(MasterLayer, BurstModeKeepsTheSessionAndAcknowledgesEachBurstFrame)
{
    VELTRIX_MASTER_AppLayer layer(nullptr, 1, 1);
    MasterProbe probe(layer);
    prepare({VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_142});
    start(layer);
    ASSERT_TRUE(probe.waitForSent(1));
    layer.sessionDataReady(hex("86 01 00 2A 00 00 8E 02 00 00"));
    EXPECT_EQ(probe.activations, 1);
    EXPECT_EQ(probe.acknowledges, 0);
    EXPECT_TRUE(layer.isBurstModeActive());
    EXPECT_TRUE(layer.isActive());
    EXPECT_EQ(probe.stops, 0);

    const QByteArray burst = hex("86 01 00 2A 00 00 8B 08 00 00 01 20 3F 80 00 00");
    layer.sessionDataReady(burst);
    layer.sessionDataReady(burst);
    EXPECT_EQ(probe.acknowledges, 2);
    EXPECT_FLOAT_EQ(probe.data.last().value("Burstvariable 1").toFloat(), 1.0f);

    layer.sessionBurstModeDeactive();
    layer.sessionDataReady(burst);
    EXPECT_EQ(probe.acknowledges, 2);
    EXPECT_EQ(probe.data.size(), 4);
}

TEST_F(MasterLayer, RefusedBurstEntryEndsTheSession)
{
    VELTRIX_MASTER_AppLayer layer(nullptr, 1, 1);
    MasterProbe probe(layer);
    prepare({VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_142});
    start(layer);
    ASSERT_TRUE(probe.waitForSent(1));
    layer.sessionDataReady(hex("86 01 00 2A 00 00 8E 02 00 01"));
    EXPECT_EQ(probe.activations, 0);
    EXPECT_FALSE(layer.isBurstModeActive());
    EXPECT_EQ(probe.stops, 1);
}

// ---- Slave layer -----------------------------------------------------------

class SlaveLayer : public ::testing::Test
{
protected:
    SlaveLayer()
    {
        const uchar address[5] = {0x5A, 0x00, 0x07, 0x00, 0x00};
        device.setType(VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_SLAVE);
        device.setAddress(address);
    }

    VELTRIX_Session device;
    VELTRIX_SLAVE_AppLayer layer;
    SlaveProbe probe{layer};
};

TEST_F(SlaveLayer, AnswersWithThePreparedValuesAndReportsTheRequest)
{
    setValues(device, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_135, {{"Version", 3}, {"Subversion", 7}});
    layer.sessionDataReady(hex("82 5A 00 07 00 00 87 00"));
    EXPECT_TRUE(probe.sent.isEmpty()) << "inactive layers stay silent";

    layer.startSession(&device);
    EXPECT_EQ(probe.starts, 1);
    layer.sessionDataReady(hex("82 5A 00 07 00 00 87 00"));
    ASSERT_EQ(probe.sent.size(), 1);
    EXPECT_EQ(probe.sent[0].first, 135);
    EXPECT_EQ(probe.sent[0].second, hex("86 5A 00 07 00 00 87 04 00 00 03 07"));
    EXPECT_EQ(device.getBuffer(), probe.sent[0].second);
    ASSERT_EQ(probe.requests.size(), 1);
    EXPECT_EQ(layer.getRequestSession()->getCommand(), VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_135);
    EXPECT_EQ(layer.getRequestSession()->getValidSessionCount(), 1u);

    layer.stopSession();
    layer.sessionDataReady(hex("82 5A 00 07 00 00 87 00"));
    EXPECT_EQ(probe.sent.size(), 1);
}

TEST_F(SlaveLayer, ReadAnswerCarriesAsManyBytesAsThisRequestAsks)
{
    const QByteArray memory = hex("00 01 02 03 04 05 06 07 08 09");
    QObject::connect(
        &layer, &VELTRIX_SLAVE_AppLayer::sessionRequestReceived, &probe.context,
        [&](VELTRIX_Session* request)
        {
            const DataMap asked = dataFor(request, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130);
            setValues(
                device, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130,
                {{"Bytes", memory.mid(asked.value("Address").toInt(), asked.value("BytesToRead").toInt())}});
        });
    layer.startSession(&device);
    layer.sessionDataReady(hex("82 5A 00 07 00 00 82 03 00 02 04"));
    layer.sessionDataReady(hex("82 5A 00 07 00 00 82 03 00 08 02"));
    // Beyond the end of the memory: the answer is padded, not shortened.
    layer.sessionDataReady(hex("82 5A 00 07 00 00 82 03 00 09 03"));
    ASSERT_EQ(probe.sent.size(), 3);
    EXPECT_EQ(probe.sent[0].second, hex("86 5A 00 07 00 00 82 06 00 00 02 03 04 05"));
    EXPECT_EQ(probe.sent[1].second, hex("86 5A 00 07 00 00 82 04 00 00 08 09"));
    EXPECT_EQ(probe.sent[2].second, hex("86 5A 00 07 00 00 82 05 00 00 09 00 00"));
}

TEST_F(SlaveLayer, BaudrateChangesOnlyAfterTheAnswerHasBeenWritten)
{
    layer.startSession(&device);
    layer.sessionDataReady(hex("82 5A 00 07 00 00 81 03 00 4B 00"));
    ASSERT_EQ(probe.sent.size(), 1);
    EXPECT_EQ(probe.sent[0].second, hex("86 5A 00 07 00 00 81 02 00 00"));
    EXPECT_TRUE(probe.baudrates.isEmpty());
    EXPECT_EQ(probe.requests[0].value("Baudrate").toInt(), 19200);

    layer.sessionDataWritten();
    layer.sessionDataWritten();
    EXPECT_EQ(probe.baudrates, QList<uint>{19200});
    EXPECT_EQ(probe.events, (QStringList{"sent", "baudrate"}));

    // Refused by the prepared status: the rate stays.
    setValues(device, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_129, {{"Status Low", 0x20}});
    layer.sessionDataReady(hex("82 5A 00 07 00 00 81 03 00 96 00"));
    layer.sessionDataWritten();
    EXPECT_EQ(probe.baudrates.size(), 1);
}

TEST_F(SlaveLayer, PositiveBurstEntryStartsBurstFrames)
{
    setValues(device, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_139,
              {{"Number of Burstvariables", 2},
               {"Burstvariable 1 Unit", 0x20},
               {"Burstvariable 1", 1.0f},
               {"Burstvariable 2 Unit", 0x21},
               {"Burstvariable 2", -2.5f}});
    QByteArray burst;
    layer.sessionBurstModeSetData(burst);
    EXPECT_TRUE(burst.isEmpty()) << "no burst frame outside a session";

    layer.startSession(&device);
    layer.sessionDataReady(hex("82 5A 00 07 00 00 8E 00"));
    EXPECT_EQ(probe.events, (QStringList{"burst", "sent"}));
    EXPECT_EQ(probe.sent[0].second, hex("86 5A 00 07 00 00 8E 02 00 00"));

    layer.sessionBurstModeSetData(burst);
    EXPECT_EQ(burst, hex("86 5A 00 07 00 00 8B 0D 00 00 02 20 3F 80 00 00 21 C0 20 00 00"));
    EXPECT_EQ(layer.getRequestSession()->getCommand(), VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_139);
}

TEST_F(SlaveLayer, BroadcastAddressQueryIsAnsweredWithTheDeviceAddress)
{
    device.setCommand(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_135);
    layer.startSession(&device);
    layer.sessionDataReady(hex("82 00 00 00 00 00 89 00"));
    ASSERT_EQ(probe.sent.size(), 1);
    EXPECT_EQ(probe.sent[0].first, 137);
    EXPECT_EQ(probe.sent[0].second, hex("86 5A 00 07 00 00 89 02 00 00"));
    EXPECT_EQ(device.getCommand(), VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_137);
}

TEST_F(SlaveLayer, MalformedRequestsAreRefusedNotAnsweredWithData)
{
    setValues(device, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130, {{"Bytes", hex("0102")}});
    layer.startSession(&device);
    layer.sessionDataReady(hex("82 5A 00 07 00 00 82 02 00 02"));
    ASSERT_EQ(probe.sent.size(), 1);
    EXPECT_EQ(probe.sent[0].second, hex("86 5A 00 07 00 00 82 02 00 01"));
    EXPECT_EQ(probe.requests[0].value("Universal Error").toInt(), 1);

    layer.sessionDataReady(hex("82 5A 00 07 00 00 20 00"));
    ASSERT_EQ(probe.sent.size(), 2);
    EXPECT_EQ(probe.sent[1].second, hex("86 5A 00 07 00 00 20 02 00 FF"));

    // Without a byte count there is nothing to answer.
    layer.sessionDataReady(hex("82 5A 00 07 00 00 87"));
    EXPECT_EQ(probe.sent.size(), 2);
    EXPECT_EQ(probe.requests.last().value("Universal Error").toInt(), 1);
}

// ---- Both ends together ----------------------------------------------------

// A master and a simulated device in one process, wired frame to frame: what
// one side encodes the other must decode to the same values.
TEST(MasterAndSlave, DeviceMemoryWrittenAndReadBack)
{
    VELTRIX_MASTER_AppLayer master(nullptr, 1, 1);
    VELTRIX_SLAVE_AppLayer slave;
    VELTRIX_Session device;
    device.setAddress(deviceAddress);
    QByteArray memory(32, '\0');
    setValues(device, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_141,
              {{"Devicetypestring", "N5Q2-ORVIK"}});
    setValues(device, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_138,
              {{"Number of Devicevariables", 1}, {"Devicevariable 1 Unit", 17}, {"Devicevariable 1", 12.5f}});

    QObject context;
    QObject::connect(&slave, &VELTRIX_SLAVE_AppLayer::sessionRequestReceived, &context,
                     [&](VELTRIX_Session* request)
                     {
                         const auto command = request->getCommand();
                         const DataMap values = dataFor(request, command);
                         const int address = values.value("Address").toInt();
                         if (command == VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_131)
                             memory.replace(address, values.value("BytesToWrite").toInt(),
                                            values.value("Bytes").toByteArray());
                         if (command == VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130)
                             setValues(device, command,
                                       {{"Bytes", memory.mid(address, values.value("BytesToRead").toInt())}});
                     });
    // Each direction is delivered from the event loop, as the link layers do.
    QObject::connect(&master, &VELTRIX_MASTER_AppLayer::sessionDataTxSetBuffer, &context,
                     [&](VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND, QByteArray& frame) {
                         QTimer::singleShot(0, &context, [&slave, frame] { slave.sessionDataReady(frame); });
                     });
    QObject::connect(
        &slave, &VELTRIX_SLAVE_AppLayer::sessionDataTxSetBuffer, &context,
        [&](VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND, QByteArray& frame)
        { QTimer::singleShot(0, &context, [&master, frame] { master.sessionDataReady(frame); }); });
    QMap<int, DataMap> answers;
    QObject::connect(&master, &VELTRIX_MASTER_AppLayer::sessionNewData, &context,
                     [&](VELTRIX_Session* response)
                     { answers.insert(response->getCommand(), dataFor(response, response->getCommand())); });

    VELTRIX_Session request;
    request.setType(VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_MASTER);
    request.setAddress(deviceAddress);
    setValues(request, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_131,
              {{"Address", 4}, {"BytesToWrite", 3}, {"Bytes", hex("C0FFEE")}});
    setValues(request, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130,
              {{"Address", 3}, {"BytesToRead", 5}});
    for (auto command : {VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_131,
                         VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130,
                         VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_138,
                         VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_141})
        request.addCommandToQueue(command, 1, 1);

    slave.startSession(&device);
    master.startSession(&request);
    master.setRequestBufferAndRequest();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !master.isActive(); }, 3000));

    ASSERT_EQ(answers.size(), 4);
    EXPECT_EQ(memory.mid(3, 5), hex("00 C0 FF EE 00"));
    EXPECT_EQ(answers[130].value("Bytes").toByteArray(), hex("00 C0 FF EE 00"));
    EXPECT_EQ(answers[138].value("Devicevariable 1 Unit").toInt(), 17);
    EXPECT_FLOAT_EQ(answers[138].value("Devicevariable 1").toFloat(), 12.5f);
    EXPECT_EQ(answers[141].value("Devicetypestring").toString(), "N5Q2-ORVIK");
    for (const DataMap& answer : answers)
        EXPECT_EQ(answer.value("Universal Error").toInt(), 0);
}
