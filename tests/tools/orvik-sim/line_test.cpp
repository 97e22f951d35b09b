// The simulated sensor on its pseudo-terminal, asked by the project's own
// master stack through the real serial port.

#include "sim_test_support.h"

#include "tools/orvik-sim/OrvikSimulatorFixture.h"

#include <QtEndian>

#include <gtest/gtest.h>

#include <cstring>

using namespace Hvd::Weft::Simulator;
using namespace SimTest;

namespace
{

QByteArray floatBytes(float value)
{
    quint32 bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    QByteArray bytes(4, '\0');
    qToLittleEndian(bits, bytes.data());
    return bytes;
}

Values writeValues(int address, const QByteArray& bytes)
{
    return {{"Address", address}, {"BytesToWrite", static_cast<int>(bytes.size())}, {"Bytes", bytes}};
}

Values readValues(int address, int length)
{
    return {{"Address", address}, {"BytesToRead", length}};
}

// A started sensor and a master with its port open on it.
struct Line
{
    explicit Line(const OrvikSimulatorOptions& options = {}, int baudrate = 1200)
        : sensor(options)
    {
        ready = sensor.isReady() && master.open(sensor.devicePath(), baudrate);
    }

    OrvikSimulatorFixture sensor;
    MasterLine master;
    bool ready = false;
};

bool anyError(const Exchange& e)
{
    return !e.errors.isEmpty();
}

} // namespace

TEST(OrvikSimulatorLine, IdentifiesDeviceAndSubDeviceAsFirstContactDoes)
{
    Line line({}, 1200);
    ASSERT_TRUE(line.ready) << line.sensor.errorString().toStdString();

    const Exchange address = line.master.ask(BusAddress{}, 137);
    ASSERT_TRUE(address.complete(1));
    EXPECT_EQ(address.answers[0].values.value("Address Vendor ID").toInt(), 19);
    EXPECT_EQ(address.answers[0].values.value("Address Slave").toInt(), 4);
    EXPECT_EQ(address.answers[0].values.value("Address Subslave").toInt(), 2);

    const Exchange rates = line.master.ask(kDevice, 128);
    ASSERT_TRUE(rates.complete(1));
    EXPECT_EQ(rates.answers[0].values.value("BaudrateBitmask").toInt(), 0x1F);

    const Exchange faster = line.master.ask(kDevice, 129, {{"Baudrate", 19200}});
    ASSERT_TRUE(faster.complete(1));
    EXPECT_EQ(faster.answers[0].values.value("Universal Error").toInt(), 0);
    EXPECT_EQ(line.master.baudrate(), 19200u);
    EXPECT_EQ(line.sensor.baudrate(), 19200u);

    const QList<std::pair<int, Values>> identify{{135, {}}, {136, {}}, {141, {}}};
    const Exchange device = line.master.exchange(kDevice, identify);
    ASSERT_TRUE(device.complete(3)) << "errors: " << device.errors.size();
    EXPECT_EQ(device.answers[0].values.value("Version").toInt(), 2);
    EXPECT_EQ(device.answers[0].values.value("Subversion").toInt(), 11);
    EXPECT_EQ(device.answers[1].values.value("Revision Year").toInt(), 23);
    EXPECT_EQ(device.answers[1].values.value("Revision Month").toInt(), 6);
    EXPECT_EQ(device.answers[2].values.value("Devicetypestring").toString(), "N5Q2-Orvik");

    const Exchange sub = line.master.exchange(kFull, identify);
    ASSERT_TRUE(sub.complete(3)) << "errors: " << sub.errors.size();
    EXPECT_EQ(sub.answers[0].values.value("Subversion").toInt(), 10);
    EXPECT_EQ(sub.answers[1].values.value("Revision Day").toInt(), 1);
    EXPECT_EQ(sub.answers[2].values.value("Devicetypestring").toString(), "N5Q2-Orvik-Meas");

    EXPECT_TRUE(device.errors.isEmpty() && sub.errors.isEmpty());
    EXPECT_EQ(line.sensor.requestCount(135), 2);
    EXPECT_EQ(line.sensor.requestCount(), 9);
}

TEST(OrvikSimulatorLine, WritesWithReadBackAndStoresThemAsFactoryDefaults)
{
    Line line;
    ASSERT_TRUE(line.ready) << line.sensor.errorString().toStdString();

    // The k-factor of the sub device, then the variant of the device, each
    // read back in the same session and taken into working memory.
    const QByteArray kfactor = floatBytes(1.5f);
    const Exchange k =
        line.master.exchange(kFull, {{131, writeValues(28, kfactor)}, {130, readValues(28, 4)}});
    ASSERT_TRUE(k.complete(2));
    EXPECT_EQ(k.answers[1].values.value("Bytes").toByteArray(), kfactor);
    ASSERT_TRUE(line.master.ask(kFull, 132).complete(1));

    QByteArray variant("Orvik 50");
    variant.resize(16, '\0');
    const Exchange name =
        line.master.exchange(kDevice, {{131, writeValues(399, variant)}, {130, readValues(399, 16)}});
    ASSERT_TRUE(name.complete(2));
    EXPECT_EQ(name.answers[1].values.value("Bytes").toByteArray(), variant);
    ASSERT_TRUE(line.master.ask(kDevice, 132).complete(1));

    ASSERT_TRUE(line.master.ask(kDevice, 143, {{"Systemcommand", 0}}).complete(1));
    ASSERT_TRUE(line.master.ask(kDevice, 143, {{"Systemcommand", 3}}).complete(1));

    const PartMemory sub = line.sensor.memory(Target::SubDevice);
    EXPECT_EQ(sub.nvm.mid(28, 4), kfactor);
    EXPECT_EQ(sub.working.mid(28, 4), kfactor);
    EXPECT_EQ(sub.factory.mid(28, 4), kfactor) << "stored through the device for the whole sensor";
    const PartMemory device = line.sensor.memory(Target::Device);
    EXPECT_EQ(device.factory.mid(399, 16), variant);
    EXPECT_EQ(device.nvm.mid(28, 4), device.blank.mid(28, 4)) << "the device's own byte 28 is another one";
    const QList<SystemCommandRecord> expected{{Target::Device, 0, true}, {Target::Device, 3, true}};
    EXPECT_EQ(line.sensor.systemCommands(), expected);
    EXPECT_EQ(line.sensor.restartCount(), 1);
}

TEST(OrvikSimulatorLine, FaultsReachTheMasterAsNamed)
{
    Line line;
    ASSERT_TRUE(line.ready) << line.sensor.errorString().toStdString();
    OrvikSimulatorFixture& sensor = line.sensor;

    {
        SCOPED_TRACE("refusal");
        sensor.addFault(Fault::nak(135, 1));
        const Exchange refused = line.master.ask(kDevice, 135);
        ASSERT_TRUE(refused.complete(1));
        EXPECT_EQ(refused.answers[0].values.value("Status Low").toInt(), OrvikSensor::iStatusRefused);
        EXPECT_EQ(refused.answers[0].values.value("Universal Error").toInt(), 255);
        const Exchange next = line.master.ask(kDevice, 135);
        ASSERT_TRUE(next.complete(1));
        EXPECT_EQ(next.answers[0].values.value("Status Low").toInt(), 0);
    }
    {
        SCOPED_TRACE("no answer, first time only");
        sensor.addFault(Fault::silent(136, 1));
        const Exchange lost = line.master.ask(kDevice, 136);
        EXPECT_TRUE(lost.answers.isEmpty());
        EXPECT_TRUE(lost.hasError(VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_TIMEOUT));
        EXPECT_TRUE(line.master.ask(kDevice, 136).complete(1)) << "a retry is answered";
        EXPECT_EQ(sensor.requestCount(136), 2);
    }
    // A broken answer is reported by the master's link layer and never delivered.
    const auto expectRejected = [&](const Fault& fault, VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR error)
    {
        SCOPED_TRACE(fault.key);
        sensor.addFault(fault);
        const Exchange broken = line.master.run(kDevice, {{fault.key, {}}}, anyError, 1000);
        settle(30);
        EXPECT_TRUE(broken.hasError(error));
        EXPECT_TRUE(broken.answers.isEmpty());
    };
    expectRejected(Fault::badChecksum(141, 1), VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_WRONG_CHECKSUM);
    expectRejected(Fault::fewPreambles(128, 1),
                   VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_TOO_FEW_PREAMBELS);
    {
        SCOPED_TRACE("wrong command");
        sensor.addFault(Fault::wrongCommand(135, 1));
        const Exchange wrong = line.master.ask(kDevice, 135);
        EXPECT_TRUE(wrong.hasError(VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_WRONG_COMMAND));
        ASSERT_EQ(wrong.answers.size(), 1) << "a right checksum still delivers the frame";
        EXPECT_EQ(wrong.answers[0].command, 134);
    }
    {
        SCOPED_TRACE("read-back mismatch");
        sensor.addFault(Fault::readbackMismatch(28, 1, Target::SubDevice));
        const QByteArray value = floatBytes(2.0f);
        const QList<std::pair<int, Values>> writeAndRead{{131, writeValues(28, value)},
                                                         {130, readValues(28, 4)}};
        const Exchange first = line.master.exchange(kFull, writeAndRead);
        ASSERT_TRUE(first.complete(2));
        EXPECT_NE(first.answers[1].values.value("Bytes").toByteArray(), value);
        const Exchange second = line.master.exchange(kFull, writeAndRead);
        ASSERT_TRUE(second.complete(2));
        EXPECT_EQ(second.answers[1].values.value("Bytes").toByteArray(), value);
    }
    {
        SCOPED_TRACE("another device's address");
        const int before = sensor.requestCount();
        const Exchange foreign = line.master.ask(BusAddress{19, 0, 5, 0, 0}, 135);
        EXPECT_TRUE(foreign.answers.isEmpty());
        EXPECT_EQ(sensor.requestCount(), before);
    }
    {
        SCOPED_TRACE("drop after");
        sensor.setDropAfter(sensor.answerCount() + 1);
        EXPECT_TRUE(line.master.ask(kDevice, 135).complete(1));
        EXPECT_TRUE(line.master.ask(kDevice, 135).answers.isEmpty());
    }
}

TEST(OrvikSimulatorLine, BurstFramesFollowAnAcknowledged142)
{
    Line line;
    ASSERT_TRUE(line.ready) << line.sensor.errorString().toStdString();
    const Exchange burst =
        line.master.run(kDevice, {{142, {}}}, [](const Exchange& e) { return e.answers.size() >= 4; });
    ASSERT_GE(burst.answers.size(), 4) << "errors: " << burst.errors.size();
    EXPECT_EQ(burst.answers[0].command, 142);
    float total = 0.0f;
    for (int i = 1; i < burst.answers.size(); ++i)
    {
        SCOPED_TRACE(i);
        const Values& values = burst.answers[i].values;
        EXPECT_EQ(burst.answers[i].command, 139);
        ASSERT_EQ(values.value("Number of Burstvariables").toInt(), 4);
        EXPECT_EQ(values.value("Burstvariable 3 Unit").toInt(), 41);
        EXPECT_GT(values.value("Burstvariable 3").toFloat(), total) << "every frame is a new sample";
        total = values.value("Burstvariable 3").toFloat();
    }
}

TEST(OrvikSimulatorLine, TheAdapterEchoesEveryByteAndNoiseIsTolerated)
{
    // Noise, the wake-up token, then the request for the address.
    const QByteArray request =
        QByteArray::fromHex("0013ee") + "VELT" + QByteArray::fromHex("ffffffffff82000000000089000b");
    const QByteArray answer = QByteArray::fromHex("ffffffffff86130004000289020000"
                                                  "18");
    // Command 135 to the device and its answer, version 2.11.
    const QByteArray version = QByteArray::fromHex("ffffffffff821300040000870012");
    const QByteArray versionAnswer = QByteArray::fromHex("ffffffffff8613000400008704000002"
                                                         "0b1b");

    OrvikSimulatorFixture sensor;
    ASSERT_TRUE(sensor.isReady()) << sensor.errorString().toStdString();
    RawLine line(sensor.devicePath());
    ASSERT_TRUE(line.isOpen());
    line.send(request);
    EXPECT_EQ(line.receive(request.size() + answer.size()).toHex(' '), (request + answer).toHex(' '));
    line.send(version);
    EXPECT_EQ(line.receive(version.size() + versionAnswer.size()).toHex(' '),
              (version + versionAnswer).toHex(' '));

    OrvikSimulatorOptions quiet;
    quiet.adapterEcho = false;
    OrvikSimulatorFixture withoutEcho(quiet);
    ASSERT_TRUE(withoutEcho.isReady());
    RawLine direct(withoutEcho.devicePath());
    direct.send(request);
    EXPECT_EQ(direct.receive(answer.size()).toHex(' '), answer.toHex(' '));
}
