// The sensor's loaders on its pseudo-terminal: command 133 from the
// project's own master stack, then loader packets written by hand at the
// loader's rate, and the line speed the sensor insists on.

#include "bootloader_packets.h"
#include "sim_test_support.h"

#include "tools/orvik-sim/OrvikSimulatorFixture.h"

#include "tools/orvik-sim/OrvikPseudoTerminal.h"

#include <QJsonArray>
#include <QSerialPort>

#include <gtest/gtest.h>

using namespace Hvd::Weft::Simulator;
using namespace SimTest;

namespace
{

OrvikSimulatorOptions withLoader(BootloaderFamily family, bool startInLoader = false)
{
    OrvikSimulatorOptions options;
    options.sensor.bootloader.family = family;
    options.sensor.bootloader.startInLoader = startInLoader;
    return options;
}

// A master session that opens the port (power cycle, wake-up token), asks one command and closes.
Exchange askOnce(const QString& path, int command, int baudrate = 1200)
{
    MasterLine master;
    if (!master.open(path, baudrate))
        return {};
    const Exchange exchange = master.ask(BusAddress{19, 0, 4, 0, 0}, command);
    master.close();
    return exchange;
}

// Sends a packet; returns what came back after the adapter's echo of it.
QByteArray answerTo(const RawLine& line, const QByteArray& packet, int answerSize)
{
    line.send(packet);
    const QByteArray got = line.receive(static_cast<int>(packet.size()) + answerSize, 300);
    EXPECT_TRUE(got.startsWith(packet)) << "echo first: " << got.toHex(' ').toStdString();
    return got.mid(packet.size());
}

} // namespace

TEST(OrvikSimulatorLoader, TivaTakesTheLineAfter133AndAResetGivesItBack)
{
    OrvikSimulatorFixture sensor(withLoader(BootloaderFamily::Tiva));
    ASSERT_TRUE(sensor.isReady()) << sensor.errorString().toStdString();
    const Exchange start = askOnce(sensor.devicePath(), 133);
    ASSERT_TRUE(start.complete(1));
    EXPECT_EQ(start.answers[0].values.value("Status Low").toInt(), 0);
    ASSERT_TRUE(sensor.inBootloader());
    EXPECT_EQ(sensor.lineBaudrate(), 230400u);

    RawLine line(sensor.devicePath(), B1200);
    EXPECT_EQ(answerTo(line, tiva(0x20), 3), QByteArray()) << "garbage at 1200 baud";
    line.setSpeed(B230400);
    EXPECT_EQ(answerTo(line, tiva(0x20), 3), hex("00ccff"));

    const QByteArray data = image(100);
    EXPECT_EQ(answerTo(line, tiva(0x21, be32(0x4000) + be32(100)), 3), hex("00ccff"));
    EXPECT_EQ(answerTo(line, tiva(0x24, data.left(72)), 3), hex("00ccff"));
    EXPECT_EQ(answerTo(line, tiva(0x24, data.mid(72)), 3), hex("00ccff"));
    EXPECT_EQ(answerTo(line, tiva(0x23), 3), hex("0040ff"));
    EXPECT_EQ(answerTo(line, tiva(0x25), 3), hex("00ccff"));
    ASSERT_TRUE(waitUntil([&] { return !sensor.inBootloader(); }));
    EXPECT_EQ(sensor.flash(0x4000, 100), data);
    EXPECT_TRUE(sensor.transferCompleted());

    const QJsonObject firmware = sensor.state()["firmware"].toObject();
    EXPECT_TRUE(firmware["completed"].toBool());
    EXPECT_EQ(firmware["regions"].toArray().size(), 1);

    // The application listens at 1200 baud again, on the same line.
    const Exchange after = askOnce(sensor.devicePath(), 137);
    EXPECT_TRUE(after.complete(1));
}

TEST(OrvikSimulatorLoader, RescueStartsInTheMsp432LoaderAndAPowerCycleKeepsItThere)
{
    OrvikSimulatorFixture sensor(withLoader(BootloaderFamily::Msp432, true));
    ASSERT_TRUE(sensor.isReady()) << sensor.errorString().toStdString();
    ASSERT_TRUE(sensor.inBootloader());
    // The program opens the port as always: power cycle and wake-up token.
    EXPECT_FALSE(askOnce(sensor.devicePath(), 137).complete(1)) << "no application answers";
    EXPECT_TRUE(sensor.inBootloader());

    RawLine line(sensor.devicePath(), B115200);
    EXPECT_EQ(answerTo(line, hex("ff"), 2), hex("00ff")) << "wake-up acknowledge and the release byte";
    const QByteArray ok = mspAnswer(hex("3b00"));
    EXPECT_EQ(answerTo(line, msp(hex("21") + QByteArray(256, static_cast<char>(0xFF))), 9), ok);
    EXPECT_EQ(answerTo(line, msp(hex("15")), 9), ok);
    const QByteArray block = image(40);
    EXPECT_EQ(answerTo(line, dataBlock(0x8000, block), 9), ok);
    EXPECT_EQ(answerTo(line, crcCheck(0x8000, 40), 10), mspAnswer(hex("3a") + le(crc16(block), 2)));
    line.send(msp(hex("25")));
    ASSERT_TRUE(waitUntil([&] { return !sensor.inBootloader(); }));
    EXPECT_EQ(sensor.flashRegions(), (QList<FlashRegion>{{0x8000, block}}));
    EXPECT_TRUE(sensor.transferCompleted());
    EXPECT_TRUE(askOnce(sensor.devicePath(), 137).complete(1)) << "the new application runs";
}

TEST(OrvikSimulatorLoader, APowerCycleEndsAnUnfinishedStayInTheLoader)
{
    OrvikSimulatorOptions options = withLoader(BootloaderFamily::Tiva);
    options.sensor.bootloader.silentFrom = 1;
    OrvikSimulatorFixture sensor(options);
    ASSERT_TRUE(sensor.isReady()) << sensor.errorString().toStdString();
    ASSERT_TRUE(askOnce(sensor.devicePath(), 133).complete(1));
    ASSERT_TRUE(sensor.inBootloader());
    {
        RawLine line(sensor.devicePath(), B230400);
        EXPECT_EQ(answerTo(line, tiva(0x20), 3), QByteArray()) << "a silent loader";
    }
    EXPECT_TRUE(askOnce(sensor.devicePath(), 137).complete(1));
    EXPECT_FALSE(sensor.inBootloader());
    EXPECT_FALSE(sensor.transferCompleted());
}

TEST(OrvikSimulatorLoader, RequestsAtAnotherSpeedThanTheSensorListensAtAreGarbage)
{
    OrvikSimulatorFixture sensor;
    ASSERT_TRUE(sensor.isReady()) << sensor.errorString().toStdString();
    EXPECT_FALSE(askOnce(sensor.devicePath(), 137, 19200).complete(1)) << "before 129 only 1200 baud";
    EXPECT_EQ(sensor.requestCount(), 0);

    OrvikSimulatorOptions lenient;
    lenient.strictLineSpeed = false;
    OrvikSimulatorFixture anySpeed(lenient);
    ASSERT_TRUE(anySpeed.isReady());
    EXPECT_TRUE(askOnce(anySpeed.devicePath(), 137, 19200).complete(1));
}

TEST(OrvikSimulatorLoader, BytesUnreadWhenTheProgramClosesCountAtTheSpeedTheyWereSentAt)
{
    OrvikPseudoTerminal terminal;
    ASSERT_TRUE(terminal.isValid()) << terminal.errorString().toStdString();
    EXPECT_EQ(terminal.lineBaudrate(), 0u) << "no program has set a speed yet";
    {
        QSerialPort port(terminal.devicePath());
        ASSERT_TRUE(port.open(QIODevice::ReadWrite));
        ASSERT_TRUE(port.setBaudRate(115200));
        EXPECT_EQ(terminal.lineBaudrate(), 115200u);
        // Qt puts the settings it found back as it closes, before the sensor
        // may have read a loader's last command.
        port.close();
    }
    EXPECT_EQ(terminal.lineBaudrate(), 115200u);
    RawLine line(terminal.devicePath(), B1200);
    EXPECT_EQ(terminal.lineBaudrate(), 1200u);
}
