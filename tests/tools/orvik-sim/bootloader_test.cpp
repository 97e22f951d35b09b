// The sensor's loaders from the device side, driven by packets built here
// by hand: bytes in, answer bytes out, the flash compared with the image.

#include "bootloader_packets.h"

#include "tools/orvik-sim/OrvikBootloader.h"
#include "tools/orvik-sim/OrvikSensor.h"

#include <QCryptographicHash>
#include <QJsonArray>

#include <gtest/gtest.h>

using namespace Hvd::Weft::Simulator;
using namespace SimTest;

namespace
{

OrvikBootloader loader(BootloaderFamily family, BootloaderConfig config = {})
{
    config.family = family;
    OrvikBootloader device(config);
    device.enter();
    return device;
}

const QByteArray kTivaAck = hex("00ccff");
const QByteArray kTivaNak = hex("0033ff");
const QByteArray kTivaSuccess = hex("0040ff");

// The master's sequence for one image: Ping, Download, then 72-byte slices,
// each followed by Get Status, and Reset. Returns the answers joined.
QByteArray tivaTransfer(OrvikBootloader& device, std::uint32_t address, const QByteArray& data)
{
    QByteArray answers = device.receive(tiva(0x20));
    answers += device.receive(tiva(0x21, be32(address) + be32(static_cast<std::uint32_t>(data.size()))));
    answers += device.receive(tiva(0x23));
    for (int at = 0; at < data.size(); at += 72)
    {
        answers += device.receive(tiva(0x24, data.mid(at, 72)));
        answers += device.receive(tiva(0x23));
    }
    return answers + device.receive(tiva(0x25));
}

TEST(OrvikBootloaderTiva, ChecksumsMatchValuesWorkedOutByHand)
{
    for (const QByteArray& bytes : {QByteArray("123456789"), hex("20"), hex("15"), image(300)})
    {
        EXPECT_EQ(OrvikBootloader::crc8(bytes), crc8(bytes));
        EXPECT_EQ(OrvikBootloader::crc16(bytes), crc16(bytes));
    }
    EXPECT_EQ(crc8(QByteArray("123456789")), 0xF7);
    EXPECT_EQ(crc16(QByteArray("123456789")), 0x29B1);
    EXPECT_EQ(tiva(0x20), hex("032a20")) << "Ping";
}

TEST(OrvikBootloaderTiva, TakesA150ByteImageAndAcknowledgesEveryPacket)
{
    OrvikBootloader device = loader(BootloaderFamily::Tiva);
    const QByteArray data = image(150);
    const QByteArray download = tiva(0x21, be32(0x4000) + be32(150));
    EXPECT_EQ(download.at(0), 11);
    EXPECT_EQ(download.mid(2), hex("210000400000000096"));

    const QByteArray answers = tivaTransfer(device, 0x4000, data);
    // Ping, Download, status, three slices each with their status, Reset.
    const QByteArray expected = kTivaAck + kTivaAck + kTivaSuccess + kTivaAck + kTivaSuccess + kTivaAck +
                                kTivaSuccess + kTivaAck + kTivaSuccess + kTivaAck;
    EXPECT_EQ(answers.toHex(' '), expected.toHex(' '));
    EXPECT_EQ(device.regions(), (QList<FlashRegion>{{0x4000, data}}));
    EXPECT_TRUE(device.completed());
    EXPECT_TRUE(device.leaving());
}

TEST(OrvikBootloaderTiva, PacketsSplitAnywhereAndIdleZerosBetweenThem)
{
    OrvikBootloader device = loader(BootloaderFamily::Tiva);
    const QByteArray stream = hex("0000") + tiva(0x20) + tiva(0x21, be32(0x8000) + be32(4)) + hex("00") +
                              tiva(0x24, hex("deadbeef")) + tiva(0x23);
    QByteArray answers;
    for (char byte : stream)
        answers += device.receive(QByteArray(1, byte));
    EXPECT_EQ(answers, kTivaAck + kTivaAck + kTivaAck + kTivaSuccess);
    EXPECT_EQ(device.flash(0x8000, 6), hex("deadbeefffff"));
}

TEST(OrvikBootloaderTiva, RefusesBrokenPacketsTheLoaderItselfAndDataBeyondTheDownload)
{
    OrvikBootloader device = loader(BootloaderFamily::Tiva);
    QByteArray broken = tiva(0x20);
    broken[1] = static_cast<char>(broken.at(1) ^ 0x10);
    EXPECT_EQ(device.receive(broken), kTivaNak);

    // Address 0 holds the loader.
    EXPECT_EQ(device.receive(tiva(0x21, be32(0) + be32(16))), kTivaAck);
    EXPECT_EQ(device.receive(tiva(0x23)), hex("0043ff"));
    EXPECT_EQ(device.receive(tiva(0x24, hex("01"))), kTivaAck);
    EXPECT_EQ(device.receive(tiva(0x23)), hex("0042ff")) << "data without a download";

    device.receive(tiva(0x21, be32(0x4000) + be32(2)));
    device.receive(tiva(0x24, hex("010203")));
    EXPECT_EQ(device.receive(tiva(0x23)), hex("0043ff"));
    EXPECT_TRUE(device.regions().isEmpty());
    EXPECT_EQ(device.receive(tiva(0x27)), kTivaAck);
    EXPECT_EQ(device.receive(tiva(0x23)), hex("0041ff")) << "unknown command";

    device.receive(tiva(0x25));
    EXPECT_TRUE(device.leaving());
    EXPECT_FALSE(device.completed()) << "the announced bytes never came";
}

TEST(OrvikBootloaderTiva, FaultsRefuseFailOrFallSilent)
{
    BootloaderConfig refuse;
    refuse.refuseData = 2;
    OrvikBootloader refusing = loader(BootloaderFamily::Tiva, refuse);
    const QByteArray data = image(150);
    const QByteArray answers = tivaTransfer(refusing, 0x4000, data);
    EXPECT_EQ(answers.mid(5 * 3, 3), kTivaNak) << "the second data packet";
    // The loader writes on where it stood, so the third slice lands there.
    EXPECT_EQ(refusing.flash(0x4000 + 72, 72), data.mid(144) + QByteArray(66, static_cast<char>(0xFF)));
    EXPECT_FALSE(refusing.completed());

    BootloaderConfig badStatus;
    badStatus.badCheck = 2;
    OrvikBootloader failing = loader(BootloaderFamily::Tiva, badStatus);
    EXPECT_EQ(tivaTransfer(failing, 0x4000, image(10)).mid(4 * 3, 3), hex("0044ff"));

    BootloaderConfig silent;
    silent.silentFrom = 2;
    OrvikBootloader quiet = loader(BootloaderFamily::Tiva, silent);
    EXPECT_EQ(quiet.receive(tiva(0x20)), kTivaAck);
    EXPECT_EQ(quiet.receive(tiva(0x20)), QByteArray());
    EXPECT_EQ(quiet.receive(tiva(0x25)), QByteArray());
    EXPECT_FALSE(quiet.leaving()) << "a silent loader has not heard the reset either";

    BootloaderConfig plain;
    plain.releaseByte = false;
    EXPECT_EQ(loader(BootloaderFamily::Tiva, plain).receive(tiva(0x20)), hex("00cc"));
}

const QByteArray kDefaultPassword(256, static_cast<char>(0xFF));
const QByteArray kWrongPassword(256, '\0');
const QByteArray kOk = mspAnswer(hex("3b00"));

QByteArray unlocked(OrvikBootloader& device)
{
    const QByteArray wrong = device.receive(msp(hex("21") + kWrongPassword));
    return wrong + device.receive(msp(hex("21") + kDefaultPassword));
}

TEST(OrvikBootloaderMsp432, GoldenPacketsAndAnswers)
{
    EXPECT_EQ(msp(hex("15")), hex("80010015") + le(0xA364, 2)) << "mass erase";
    EXPECT_EQ(crcCheck(0x4200, 88).mid(0, 10), hex("8007002600420000") + hex("5800"));
    // The good answer: acknowledge, header, length 2, message OK, its CRC, the release byte.
    EXPECT_EQ(kOk, hex("008002003b00") + le(0xC460, 2) + hex("ff"));
}

TEST(OrvikBootloaderMsp432, WakesUpUnlocksErasesWritesAndChecksBlocksLastFirst)
{
    OrvikBootloader device = loader(BootloaderFamily::Msp432);
    EXPECT_EQ(device.receive(hex("ff")), hex("00ff")) << "wake-up acknowledge";
    EXPECT_EQ(device.receive(hex("ff")), hex("00ff")) << "a repeated wake-up byte is acknowledged again";

    EXPECT_EQ(device.receive(msp(hex("15"))), mspAnswer(hex("3b04"))) << "locked";
    EXPECT_EQ(unlocked(device), mspAnswer(hex("3b52")) + kOk) << "wrong password, then the default one";
    EXPECT_EQ(device.receive(msp(hex("15"))), kOk);
    EXPECT_TRUE(device.erased());

    const QByteArray data = image(600);
    for (int block = 2; block >= 0; --block)
    {
        const QByteArray part = data.mid(block * 256, 256);
        const std::uint32_t address = 0x4000 + static_cast<std::uint32_t>(block) * 256;
        EXPECT_EQ(device.receive(dataBlock(address, part)), kOk);
        const std::uint16_t crc = crc16(part);
        EXPECT_EQ(device.receive(crcCheck(address, static_cast<int>(part.size()))),
                  mspAnswer(hex("3a") + le(crc, 2)))
            << "block " << block;
    }
    EXPECT_EQ(device.receive(msp(hex("25"))), QByteArray()) << "the reset is not answered";
    EXPECT_TRUE(device.leaving());
    EXPECT_TRUE(device.completed());
    EXPECT_EQ(device.regions(), (QList<FlashRegion>{{0x4000, data}}));
}

TEST(OrvikBootloaderMsp432, BrokenPacketsAreRefusedInPlaceOfTheAcknowledge)
{
    OrvikBootloader device = loader(BootloaderFamily::Msp432);
    QByteArray broken = msp(hex("15"));
    broken[broken.size() - 1] = static_cast<char>(broken.back() ^ 1);
    EXPECT_EQ(device.receive(broken), hex("52ff"));
    EXPECT_EQ(device.receive(hex("800000")), hex("53ff"));
    EXPECT_EQ(device.receive(hex("800002")), hex("54ff"));
    // Noise before a header is skipped; a packet in pieces is still one.
    const QByteArray password = msp(hex("21") + kDefaultPassword);
    EXPECT_EQ(device.receive(hex("1234") + password.left(100)), QByteArray());
    EXPECT_EQ(device.receive(password.mid(100)), kOk);
    EXPECT_EQ(device.receive(msp(hex("99"))), mspAnswer(hex("3b53")));
}

TEST(OrvikBootloaderMsp432, FaultsRefuseMisreportOrFallSilent)
{
    BootloaderConfig faults;
    faults.refuseData = 2;
    faults.badCheck = 1;
    OrvikBootloader device = loader(BootloaderFamily::Msp432, faults);
    unlocked(device);
    device.receive(msp(hex("15")));
    EXPECT_EQ(device.receive(dataBlock(0x4100, hex("0102"))), kOk);
    const std::uint16_t crc = crc16(hex("0102"));
    EXPECT_EQ(device.receive(crcCheck(0x4100, 2)), mspAnswer(hex("3a") + le(~crc & 0xFFFF, 2)));
    EXPECT_EQ(device.receive(crcCheck(0x4100, 2)), mspAnswer(hex("3a") + le(crc, 2))) << "only the first";
    EXPECT_NE(device.receive(dataBlock(0x4000, hex("0304"))), kOk);
    EXPECT_EQ(device.flash(0x4000, 2), hex("ffff"));

    BootloaderConfig mute;
    mute.silentFrom = 0;
    EXPECT_EQ(loader(BootloaderFamily::Msp432, mute).receive(hex("ff")), QByteArray());
    mute.silentFrom = 3;
    OrvikBootloader late = loader(BootloaderFamily::Msp432, mute);
    EXPECT_EQ(late.receive(hex("ff")), hex("00ff"));
    EXPECT_EQ(unlocked(late).size(), 2 * kOk.size());
    EXPECT_EQ(late.receive(msp(hex("15"))), QByteArray());
}

// --- the sensor around the loader ---

TEST(OrvikSensorBootloader, Command133HandsTheLineToTheLoaderAndAResetBack)
{
    OrvikSensorConfig config;
    config.bootloader.family = BootloaderFamily::Tiva;
    OrvikSensor sensor(config, {}, {});
    EXPECT_EQ(sensor.lineBaudrate(), 1200u);

    SensorRequest start{{19, 0, 4, 0, 0}, 133, {}};
    EXPECT_EQ(sensor.handle(start).values.value("Status Low").toInt(), 0);
    EXPECT_TRUE(sensor.inBootloader());
    EXPECT_EQ(sensor.lineBaudrate(), 230400u);

    const QByteArray data = image(100);
    sensor.bootloaderReceive(tiva(0x21, be32(0x4000) + be32(100)));
    sensor.bootloaderReceive(tiva(0x24, data.left(72)) + tiva(0x24, data.mid(72)));
    EXPECT_EQ(sensor.bootloaderReceive(tiva(0x25)), kTivaAck);
    EXPECT_FALSE(sensor.inBootloader());
    EXPECT_EQ(sensor.lineBaudrate(), 1200u);
    EXPECT_EQ(sensor.restartCount(), 1);

    const QJsonObject firmware = sensor.stateJson()["firmware"].toObject();
    EXPECT_EQ(firmware["family"].toString(), "tiva");
    EXPECT_TRUE(firmware["completed"].toBool());
    EXPECT_FALSE(firmware["inBootloader"].toBool());
    const QJsonArray regions = firmware["regions"].toArray();
    ASSERT_EQ(regions.size(), 1);
    EXPECT_EQ(regions[0].toObject()["address"].toInt(), 0x4000);
    EXPECT_EQ(regions[0].toObject()["length"].toInt(), 100);
    EXPECT_EQ(regions[0].toObject()["bytes"].toString(), QString::fromLatin1(data.toHex()));
    EXPECT_EQ(regions[0].toObject()["sha256"].toString(),
              QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex()));
}

TEST(OrvikSensorBootloader, PowerUpLeavesTheLoaderUnlessTheApplicationIsBroken)
{
    OrvikSensorConfig config;
    config.bootloader.family = BootloaderFamily::Msp432;
    OrvikSensor sensor(config, {}, {});
    EXPECT_TRUE(sensor.stateJson().contains("firmware"));
    sensor.handle({{19, 0, 4, 0, 0}, 133, {}});
    ASSERT_TRUE(sensor.inBootloader());
    sensor.powerUp();
    EXPECT_FALSE(sensor.inBootloader());

    config.bootloader.startInLoader = true;
    OrvikSensor rescue(config, {}, {});
    EXPECT_TRUE(rescue.inBootloader());
    EXPECT_EQ(rescue.lineBaudrate(), 115200u);
    rescue.powerUp();
    EXPECT_TRUE(rescue.inBootloader()) << "no application to start";

    OrvikSensor plain(OrvikSensorConfig{}, {}, {});
    EXPECT_EQ(plain.handle({{19, 0, 4, 0, 0}, 133, {}}).values.value("Status Low").toInt(), 0);
    EXPECT_FALSE(plain.inBootloader()) << "without a loader 133 changes nothing";
    EXPECT_FALSE(plain.stateJson().contains("firmware"));
}

} // namespace
