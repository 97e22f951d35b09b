// The sensor core on its own: requests in, answers and memory out, no port.

#include "protocol/VELTRIX_Session.h"
#include "tools/orvik-sim/OrvikSensor.h"

#include <QJsonArray>

#include <gtest/gtest.h>

using namespace Hvd::Weft::Simulator;

namespace
{

const BusAddress kDevice{19, 0, 4, 0, 0};
const BusAddress kFull{19, 0, 4, 0, 2};
const BusAddress kSubOnly{19, 0, 0, 0, 2};
const BusAddress kBroadcast{0, 0, 0, 0, 0};

// Recognisable memory: every byte differs between the two parts and from
// the blank image.
QByteArray pattern(int size, int seed)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(seed + i);
    return bytes;
}

OrvikSensor makeSensor(OrvikSensorConfig config = {})
{
    return OrvikSensor(std::move(config), {QByteArray(64, '\0'), pattern(64, 1)},
                       {QByteArray(32, '\0'), pattern(32, 101)});
}

SensorRequest request(const BusAddress& address, int command, const QMap<QString, QVariant>& values = {})
{
    SensorRequest r{address, command, VELTRIX_Session::standardLayoutForCommand(QString::number(command))};
    for (auto it = values.begin(); it != values.end(); ++it)
        r.values.insert(it.key(), it.value());
    return r;
}

SensorRequest readRequest(const BusAddress& address, int nvmAddress, int length)
{
    return request(address, 130, {{"Address", nvmAddress}, {"BytesToRead", length}});
}

SensorRequest writeRequest(const BusAddress& address, int nvmAddress, const QByteArray& bytes)
{
    return request(
        address, 131,
        {{"Address", nvmAddress}, {"BytesToWrite", static_cast<int>(bytes.size())}, {"Bytes", bytes}});
}

SensorRequest systemRequest(const BusAddress& address, int code)
{
    return request(address, 143, {{"Systemcommand", code}});
}

int statusLow(const SensorReply& reply)
{
    return reply.values.value("Status Low").toInt();
}

} // namespace

// --- addresses ---

TEST(OrvikSensorRouting, EachAddressFormReachesItsPart)
{
    OrvikSensor sensor = makeSensor();
    EXPECT_EQ(sensor.route(kDevice), Target::Device);
    EXPECT_EQ(sensor.route(kFull), Target::SubDevice);
    EXPECT_EQ(sensor.route(kSubOnly), Target::SubDevice);
    EXPECT_FALSE(sensor.route(BusAddress{20, 0, 4, 0, 0})) << "another vendor";
    EXPECT_FALSE(sensor.route(BusAddress{19, 0, 5, 0, 0})) << "another slave";
    EXPECT_FALSE(sensor.route(BusAddress{19, 0, 4, 0, 3})) << "another sub device";
    EXPECT_FALSE(sensor.route(BusAddress{19, 1, 4, 0, 0})) << "high slave byte counts";
    EXPECT_FALSE(sensor.route(kBroadcast));

    OrvikSensorConfig alone;
    alone.address = kDevice;
    OrvikSensor withoutSub = makeSensor(alone);
    EXPECT_EQ(withoutSub.route(kDevice), Target::Device);
    EXPECT_FALSE(withoutSub.route(kSubOnly));
}

TEST(OrvikSensorRouting, OnlyCommand137IsAnsweredOnTheBroadcastAddress)
{
    OrvikSensor sensor = makeSensor();
    const SensorReply address = sensor.handle(request(kBroadcast, 137));
    ASSERT_TRUE(address.addressed);
    EXPECT_EQ(address.wire, WireFault::None);
    EXPECT_EQ(address.address, kFull) << "137 tells the full address";

    const SensorReply version = sensor.handle(request(kBroadcast, 135));
    EXPECT_FALSE(version.addressed);
    EXPECT_EQ(version.wire, WireFault::Silent);
    EXPECT_NE(statusLow(version), 0) << "nothing may switch rate or burst for a foreign request";

    EXPECT_EQ(sensor.requestCount(), 1) << "foreign requests are not counted";
    EXPECT_EQ(sensor.requestCount(137), 1);
}

// --- identification ---

TEST(OrvikSensorIdentity, EachPartReportsItsOwnFirmwareRevisionAndName)
{
    OrvikSensorConfig config;
    config.device = {"V02.11", "DEVICE-NAME", "230615"};
    config.subDevice = {"V01.10", "SUB-NAME", "221231"};
    config.baudMask = 0x0208;
    OrvikSensor sensor = makeSensor(config);

    EXPECT_EQ(sensor.handle(request(kDevice, 128)).values.value("BaudrateBitmask").toInt(), 0x0208);

    const auto device = sensor.handle(request(kDevice, 135)).values;
    EXPECT_EQ(device.value("Version").toInt(), 2);
    EXPECT_EQ(device.value("Subversion").toInt(), 11);
    const auto sub = sensor.handle(request(kFull, 135)).values;
    EXPECT_EQ(sub.value("Version").toInt(), 1);
    EXPECT_EQ(sub.value("Subversion").toInt(), 10);

    const auto revision = sensor.handle(request(kFull, 136)).values;
    EXPECT_EQ(revision.value("Revision Year").toInt(), 22);
    EXPECT_EQ(revision.value("Revision Month").toInt(), 12);
    EXPECT_EQ(revision.value("Revision Day").toInt(), 31);

    EXPECT_EQ(sensor.handle(request(kDevice, 141)).values.value("Devicetypestring").toString(),
              "DEVICE-NAME");
    EXPECT_EQ(sensor.handle(request(kSubOnly, 141)).values.value("Devicetypestring").toString(), "SUB-NAME");
}

TEST(OrvikSensorIdentity, StatusByteGoesIntoEveryAnswer)
{
    OrvikSensorConfig config;
    config.status = 0x24;
    OrvikSensor sensor = makeSensor(config);
    EXPECT_EQ(sensor.handle(request(kDevice, 135)).values.value("Status High").toInt(), 0x24);
    sensor.setStatus(0x81);
    EXPECT_EQ(sensor.handle(request(kFull, 138)).values.value("Status High").toInt(), 0x81);
}

// --- memory ---

TEST(OrvikSensorMemory, WritesLandInTheAddressedNvmOnly)
{
    OrvikSensor sensor = makeSensor();
    const QByteArray subBefore = sensor.memory(Target::SubDevice).nvm;

    const SensorReply written = sensor.handle(writeRequest(kDevice, 10, QByteArray("\xAA\xBB\xCC", 3)));
    EXPECT_EQ(statusLow(written), 0);
    EXPECT_EQ(sensor.memory(Target::Device).nvm.mid(10, 3), QByteArray("\xAA\xBB\xCC", 3));
    EXPECT_EQ(sensor.memory(Target::Device).nvm.mid(9, 1), pattern(64, 1).mid(9, 1))
        << "neighbours untouched";
    EXPECT_EQ(sensor.memory(Target::SubDevice).nvm, subBefore);
    EXPECT_EQ(sensor.memory(Target::Device).working, pattern(64, 1)) << "working memory waits for 132";

    // The same NVM address of the sub device is another byte.
    EXPECT_EQ(sensor.handle(readRequest(kDevice, 10, 3)).values.value("Bytes").toByteArray(),
              QByteArray("\xAA\xBB\xCC", 3));
    EXPECT_EQ(sensor.handle(readRequest(kFull, 10, 3)).values.value("Bytes").toByteArray(),
              pattern(32, 101).mid(10, 3));

    sensor.handle(request(kFull, 132));
    EXPECT_EQ(sensor.memory(Target::Device).working, pattern(64, 1))
        << "132 to the sub device leaves the device";
    sensor.handle(request(kDevice, 132));
    EXPECT_EQ(sensor.memory(Target::Device).working, sensor.memory(Target::Device).nvm);
}

TEST(OrvikSensorMemory, AccessBeyondTheMemoryIsRefusedAndChangesNothing)
{
    OrvikSensor sensor = makeSensor();
    const PartMemory before = sensor.memory(Target::SubDevice);

    EXPECT_EQ(statusLow(sensor.handle(readRequest(kFull, 30, 3))), OrvikSensor::iStatusOutOfRange);
    EXPECT_EQ(statusLow(sensor.handle(readRequest(kFull, 29, 3))), 0) << "the last three bytes";
    EXPECT_EQ(statusLow(sensor.handle(writeRequest(kFull, 31, QByteArray(2, 'x')))),
              OrvikSensor::iStatusOutOfRange);
    // A count that does not match the bytes is refused as well.
    SensorRequest skewed = writeRequest(kFull, 0, QByteArray(2, 'x'));
    skewed.values.insert("BytesToWrite", 3);
    EXPECT_EQ(statusLow(sensor.handle(skewed)), OrvikSensor::iStatusOutOfRange);
    EXPECT_EQ(sensor.memory(Target::SubDevice).nvm, before.nvm);
}

// --- system commands ---

TEST(OrvikSensorSystemCommands, FactoryDefaultsAreStoredAndRestoredForTheWholeSensor)
{
    OrvikSensor sensor = makeSensor();
    // New values, taken into working memory, then stored through the device.
    sensor.handle(writeRequest(kDevice, 0, "new"));
    sensor.handle(request(kDevice, 132));
    sensor.handle(writeRequest(kFull, 4, "calib"));
    sensor.handle(request(kFull, 132));
    EXPECT_EQ(statusLow(sensor.handle(systemRequest(kDevice, 0))), 0);
    EXPECT_EQ(sensor.memory(Target::Device).factory.left(3), QByteArray("new"));
    EXPECT_EQ(sensor.memory(Target::SubDevice).factory.mid(4, 5), QByteArray("calib"));

    // Later changes are undone by a return to the factory defaults.
    sensor.handle(writeRequest(kDevice, 0, "bad"));
    sensor.handle(writeRequest(kFull, 4, "wrong"));
    sensor.handle(systemRequest(kDevice, 1));
    EXPECT_EQ(sensor.memory(Target::Device).nvm.left(3), QByteArray("new"));
    EXPECT_EQ(sensor.memory(Target::SubDevice).nvm.mid(4, 5), QByteArray("calib"));
    EXPECT_EQ(sensor.memory(Target::SubDevice).working, sensor.memory(Target::SubDevice).nvm);
}

TEST(OrvikSensorSystemCommands, ASubDeviceCommandStaysWithTheSubDevice)
{
    OrvikSensor sensor = makeSensor();
    sensor.handle(writeRequest(kDevice, 0, "dev"));
    sensor.handle(writeRequest(kFull, 0, "sub"));
    sensor.handle(systemRequest(kFull, 2));
    EXPECT_EQ(sensor.memory(Target::SubDevice).nvm, QByteArray(32, '\0'))
        << "NVM reset leaves the blank image";
    EXPECT_EQ(sensor.memory(Target::Device).nvm.left(3), QByteArray("dev"));
}

TEST(OrvikSensorSystemCommands, RestartReloadsWorkingMemoryAndTheInitialRate)
{
    OrvikSensor sensor = makeSensor();
    sensor.handle(request(kDevice, 129, {{"Baudrate", 19200}}));
    ASSERT_EQ(sensor.baudrate(), 19200u);
    sensor.handle(writeRequest(kFull, 0, "k"));

    sensor.handle(systemRequest(kDevice, 3));
    EXPECT_EQ(sensor.baudrate(), OrvikSensor::initialBaudrate);
    EXPECT_EQ(sensor.restartCount(), 1);
    EXPECT_EQ(sensor.memory(Target::SubDevice).working.left(1), QByteArray("k"));
}

TEST(OrvikSensorSystemCommands, EveryReceivedSystemCommandIsRecordedInOrder)
{
    OrvikSensor sensor = makeSensor();
    sensor.addFault(Fault::nak(143, 1));
    sensor.handle(systemRequest(kDevice, 0));
    sensor.handle(systemRequest(kDevice, 0));
    EXPECT_EQ(statusLow(sensor.handle(systemRequest(kFull, 7))), OrvikSensor::iStatusUnsupported);
    sensor.handle(systemRequest(kDevice, 3));

    const QList<SystemCommandRecord> expected{{Target::Device, 0, false},
                                              {Target::Device, 0, true},
                                              {Target::SubDevice, 7, false},
                                              {Target::Device, 3, true}};
    EXPECT_EQ(sensor.systemCommands(), expected);
}

TEST(OrvikSensorBaudrate, OnlyOfferedRatesAreAccepted)
{
    OrvikSensorConfig config;
    config.baudMask = 0x0011; // 1200 and 19200
    OrvikSensor sensor = makeSensor(config);
    EXPECT_EQ(statusLow(sensor.handle(request(kDevice, 129, {{"Baudrate", 9600}}))),
              OrvikSensor::iStatusUnsupported);
    EXPECT_EQ(statusLow(sensor.handle(request(kDevice, 129, {{"Baudrate", 12345}}))),
              OrvikSensor::iStatusUnsupported);
    EXPECT_EQ(sensor.baudrate(), 1200u);
    EXPECT_EQ(statusLow(sensor.handle(request(kDevice, 129, {{"Baudrate", 19200}}))), 0);
    EXPECT_EQ(sensor.baudrate(), 19200u);
}

// --- faults ---

TEST(OrvikSensorFaults, NakRefusesWithoutExecutingForTheFirstNTimes)
{
    OrvikSensor sensor = makeSensor();
    sensor.addFault(Fault::nak(131, 2));
    for (int i = 0; i < 2; ++i)
    {
        const SensorReply refused = sensor.handle(writeRequest(kDevice, 0, "xy"));
        EXPECT_EQ(statusLow(refused), OrvikSensor::iStatusRefused);
        EXPECT_EQ(refused.wire, WireFault::None) << "a refusal is still answered";
    }
    EXPECT_EQ(sensor.memory(Target::Device).nvm.left(2), pattern(64, 1).left(2));
    EXPECT_EQ(statusLow(sensor.handle(writeRequest(kDevice, 0, "xy"))), 0);
    EXPECT_EQ(sensor.memory(Target::Device).nvm.left(2), QByteArray("xy"));
    EXPECT_EQ(sensor.requestCount(131), 3);
}

TEST(OrvikSensorFaults, SilentRequestsAreNeitherAnsweredNorExecuted)
{
    OrvikSensor sensor = makeSensor();
    sensor.addFault(Fault::silent(129));
    sensor.addFault(Fault::silent(143, 1));
    for (int i = 0; i < 3; ++i)
    {
        const SensorReply reply = sensor.handle(request(kDevice, 129, {{"Baudrate", 19200}}));
        EXPECT_EQ(reply.wire, WireFault::Silent);
        EXPECT_NE(statusLow(reply), 0) << "the application layer must not switch the rate";
    }
    EXPECT_EQ(sensor.baudrate(), 1200u);
    EXPECT_EQ(sensor.handle(systemRequest(kDevice, 3)).wire, WireFault::Silent);
    EXPECT_EQ(sensor.restartCount(), 0);
    EXPECT_EQ(sensor.handle(systemRequest(kDevice, 3)).wire, WireFault::None);
    EXPECT_EQ(sensor.restartCount(), 1);
    EXPECT_EQ(sensor.requestCount(129), 3) << "silent requests were still received";
    EXPECT_EQ(sensor.answerCount(), 1);
}

TEST(OrvikSensorFaults, ReadbackMismatchChangesOnlyReadsCoveringItsAddress)
{
    OrvikSensor sensor = makeSensor();
    sensor.addFault(Fault::readbackMismatch(20, 2, Target::SubDevice));
    const QByteArray stored = sensor.memory(Target::SubDevice).nvm.mid(16, 8);

    EXPECT_EQ(sensor.handle(readRequest(kFull, 21, 4)).values.value("Bytes").toByteArray(),
              sensor.memory(Target::SubDevice).nvm.mid(21, 4))
        << "the range starts after the address";
    EXPECT_EQ(sensor.handle(readRequest(kDevice, 16, 8)).values.value("Bytes").toByteArray(),
              sensor.memory(Target::Device).nvm.mid(16, 8))
        << "the device's memory is not meant";

    for (int i = 0; i < 2; ++i)
    {
        const QByteArray read =
            sensor.handle(readRequest(kSubOnly, 16, 8)).values.value("Bytes").toByteArray();
        ASSERT_EQ(read.size(), 8);
        EXPECT_EQ(read.left(4), stored.left(4));
        EXPECT_EQ(static_cast<unsigned char>(read.at(4)), static_cast<unsigned char>(~stored.at(4)));
        EXPECT_EQ(read.mid(5), stored.mid(5));
    }
    EXPECT_EQ(sensor.handle(readRequest(kFull, 16, 8)).values.value("Bytes").toByteArray(), stored)
        << "after two strikes reads are right again";
    EXPECT_EQ(sensor.memory(Target::SubDevice).nvm.mid(16, 8), stored) << "the memory itself never changes";
}

TEST(OrvikSensorFaults, WireFaultsStrikeTheirCommandOnly)
{
    OrvikSensor sensor = makeSensor();
    sensor.addFault(Fault::wrongCommand(135, 1));
    sensor.addFault(Fault::badChecksum(136));
    EXPECT_EQ(sensor.handle(request(kDevice, 136)).wire, WireFault::BadChecksum);
    EXPECT_EQ(sensor.handle(request(kDevice, 135)).wire, WireFault::WrongCommand);
    EXPECT_EQ(sensor.handle(request(kDevice, 135)).wire, WireFault::None);
    EXPECT_EQ(sensor.handle(request(kDevice, 136)).wire, WireFault::BadChecksum);
    sensor.clearFaults();
    EXPECT_EQ(sensor.handle(request(kDevice, 136)).wire, WireFault::None);
}

TEST(OrvikSensorFaults, DropAfterSilencesEverythingOnceTheAnswersAreUsedUp)
{
    OrvikSensorConfig config;
    config.dropAfter = 2;
    OrvikSensor sensor = makeSensor(config);
    EXPECT_EQ(sensor.handle(request(kBroadcast, 137)).wire, WireFault::None);
    EXPECT_EQ(sensor.handle(request(kDevice, 128)).wire, WireFault::None);
    EXPECT_EQ(sensor.handle(request(kDevice, 135)).wire, WireFault::Silent);
    EXPECT_EQ(sensor.handle(writeRequest(kDevice, 0, "z")).wire, WireFault::Silent);
    EXPECT_EQ(sensor.memory(Target::Device).nvm.left(1), pattern(64, 1).left(1));
    sensor.setDropAfter(std::nullopt);
    EXPECT_EQ(sensor.handle(request(kDevice, 135)).wire, WireFault::None);
}

TEST(OrvikSensorFaults, UndecodableRequestsAreRefusedWithoutExecuting)
{
    OrvikSensor sensor = makeSensor();
    SensorRequest broken = writeRequest(kDevice, 0, "zz");
    broken.values.insert("Universal Error", 1);
    EXPECT_EQ(statusLow(sensor.handle(broken)), OrvikSensor::iStatusRefused);
    EXPECT_EQ(sensor.memory(Target::Device).nvm.left(2), pattern(64, 1).left(2));
}

// --- live values ---

TEST(OrvikSensorValues, DeviceVariablesCarryUnitsAndATotaliserThatGrows)
{
    OrvikSensor sensor = makeSensor();
    const auto first = sensor.handle(request(kDevice, 138)).values;
    const auto second = sensor.handle(request(kDevice, 138)).values;
    ASSERT_EQ(first.value("Number of Devicevariables").toInt(), 4);
    EXPECT_EQ(first.value("Devicevariable 1 Unit").toInt(), 17);
    EXPECT_EQ(first.value("Devicevariable 2 Unit").toInt(), 32);
    EXPECT_EQ(first.value("Devicevariable 3 Unit").toInt(), 41);
    EXPECT_EQ(first.value("Devicevariable 4 Unit").toInt(), 7);
    EXPECT_GT(second.value("Devicevariable 3").toFloat(), first.value("Devicevariable 3").toFloat());
    EXPECT_GT(first.value("Devicevariable 1").toFloat(), 0.0f);

    const auto burst = sensor.handle(request(kFull, 139)).values;
    EXPECT_EQ(burst.value("Number of Burstvariables").toInt(), 2)
        << "the sub device measures flow and temperature";
    EXPECT_EQ(burst.value("Burstvariable 2 Unit").toInt(), 32);

    const auto status = sensor.handle(request(kDevice, 140)).values;
    for (int i = 1; i <= 8; ++i)
    {
        const QString text = status.value(QStringLiteral("Statusstring %1").arg(i)).toString();
        ASSERT_GE(text.size(), 2);
        EXPECT_LE(text.size(), 16);
        EXPECT_TRUE(text.at(0).isDigit()) << "a level digit leads: " << text.toStdString();
    }
}

// --- state file content ---

TEST(OrvikSensorState, StateListsChangedRunsAndSystemCommands)
{
    OrvikSensor sensor(OrvikSensorConfig{}, {QByteArray(16, '\0'), QByteArray(16, '\0')},
                       {QByteArray(8, '\0'), QByteArray(8, '\0')});
    sensor.handle(writeRequest(kDevice, 3, QByteArray("\x01\x02", 2)));
    sensor.handle(writeRequest(kDevice, 9, QByteArray("\x0A", 1)));
    sensor.handle(systemRequest(kDevice, 0));

    const QJsonObject state = sensor.stateJson();
    const QJsonArray changes = state["device"].toObject()["nvmChanges"].toArray();
    ASSERT_EQ(changes.size(), 2);
    EXPECT_EQ(changes[0].toObject()["address"].toInt(), 3);
    EXPECT_EQ(changes[0].toObject()["bytes"].toString(), "0102");
    EXPECT_EQ(changes[1].toObject()["address"].toInt(), 9);
    EXPECT_EQ(state["device"].toObject()["factory"].toString(), "00000000000000000000000000000000")
        << "the factory image comes from working memory, still without the writes";
    EXPECT_TRUE(state["subDevice"].toObject()["nvmChanges"].toArray().isEmpty());
    const QJsonArray commands = state["systemCommands"].toArray();
    ASSERT_EQ(commands.size(), 1);
    EXPECT_EQ(commands[0].toObject()["name"].toString(), "SetCurrentAsFactoryDefaults");
    EXPECT_EQ(commands[0].toObject()["target"].toString(), "device");
    EXPECT_EQ(state["requests"].toObject()["131"].toInt(), 2);
}

// --- wire bytes and option texts ---

TEST(OrvikWireFault, FramesAreChangedAsNamed)
{
    // The answer to 137 from 5A 00 07 00 00, as a device sends it.
    const QByteArray frame = QByteArray::fromHex("ffffffffff865a000700008902000050");
    EXPECT_EQ(applyWireFault(frame, WireFault::None), frame);
    EXPECT_TRUE(applyWireFault(frame, WireFault::Silent).isEmpty());
    EXPECT_EQ(applyWireFault(frame, WireFault::BadChecksum),
              QByteArray::fromHex("ffffffffff865a0007000089020000af"));
    EXPECT_EQ(applyWireFault(frame, WireFault::FewPreambles),
              QByteArray::fromHex("ffffffff865a000700008902000050"));
    EXPECT_EQ(applyWireFault(frame, WireFault::WrongCommand),
              QByteArray::fromHex("ffffffffff865a000700008802000051"));
}

TEST(OrvikOptionTexts, FaultsAddressesVersionsAndRevisions)
{
    const auto nak = parseFault(Fault::Kind::Nak, "131:2");
    ASSERT_TRUE(nak);
    EXPECT_EQ(nak->key, 131);
    EXPECT_EQ(nak->times, 2);
    EXPECT_EQ(parseFault(Fault::Kind::Silent, "137")->times, -1) << "no count means always";
    const auto mismatch = parseFault(Fault::Kind::ReadbackMismatch, "sub:28:3");
    ASSERT_TRUE(mismatch);
    EXPECT_EQ(mismatch->key, 28);
    EXPECT_EQ(mismatch->target, Target::SubDevice);
    EXPECT_FALSE(parseFault(Fault::Kind::ReadbackMismatch, "399")->target);

    QString error;
    EXPECT_FALSE(parseFault(Fault::Kind::Nak, "127", &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(parseFault(Fault::Kind::Nak, "144"));
    EXPECT_FALSE(parseFault(Fault::Kind::Nak, "131:0"));
    EXPECT_FALSE(parseFault(Fault::Kind::Nak, "131:2:3"));
    EXPECT_FALSE(parseFault(Fault::Kind::Nak, "sub:131")) << "only reads name a memory";
    EXPECT_FALSE(parseFault(Fault::Kind::ReadbackMismatch, "65536"));

    const auto variables = parseLiveVariables(" 17:1.5/2 ,41:0.25");
    ASSERT_TRUE(variables);
    EXPECT_EQ(*variables, (QList<LiveVariable>{{17, {1.5f, 2.0f}}, {41, {0.25f}}}));
    for (const char* bad : {"", "17", "256:1", "17:x", "17:1/", "17:nan", "-1:2"})
        EXPECT_FALSE(parseLiveVariables(QString::fromLatin1(bad))) << bad;
    // One byte of byte count leaves room for fifty.
    QStringList many(51, QStringLiteral("17:1"));
    EXPECT_TRUE(parseLiveVariables(many.mid(1).join(',')));
    EXPECT_FALSE(parseLiveVariables(many.join(',')));

    EXPECT_EQ(parseAddress("19 0 4 0 2"), kFull);
    EXPECT_EQ(parseAddress("19.0.4.0.0"), kDevice);
    EXPECT_EQ(parseAddress("0x13,0,4,0,2"), kFull);
    EXPECT_FALSE(parseAddress("19 0 4 0"));
    EXPECT_FALSE(parseAddress("19 0 4 0 256"));

    EXPECT_EQ(parseVersion("V02.11"), (std::pair{2, 11}));
    EXPECT_EQ(parseVersion("V10.05"), (std::pair{10, 5}));
    EXPECT_FALSE(parseVersion("V2.11"));
    EXPECT_FALSE(parseVersion("02.11"));
    EXPECT_EQ(parseRevision("230615"), (std::array{23, 6, 15}));
    EXPECT_FALSE(parseRevision("231315")) << "no 13th month";
    EXPECT_FALSE(parseRevision("23061"));
}
