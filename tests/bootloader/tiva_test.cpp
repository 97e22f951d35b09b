#include "bootloader/tiva/Tiva.h"
#include "bootloader/tiva/TivaParser.h"
#include "bootloader_test_support.h"

#include <gtest/gtest.h>

using namespace BootloaderTest;
using TIVA::Commands;

namespace
{

// Acknowledges every packet; GetStatus with a success status after a zero byte.
QByteArray goodAnswer(const QByteArray& packet)
{
    return static_cast<uint8_t>(packet.at(2)) == Commands::GetStatus ? bytes({0x00, 0x40, 0x00})
                                                                     : bytes({0x00, 0xCC, 0x00});
}

class TivaTest : public ::testing::Test
{
protected:
    Tiva tiva{nullptr, fastTiming()};
    Reports reports{&tiva};
    Images images;
};

TEST(TivaPackets, CrcIsTheCrc8WithPolynomial0x31AndStartFF)
{
    // Catalogue check value of this CRC over "123456789".
    EXPECT_EQ(Commands::calculateChecksum("123456789"), 0xF7);
    const QByteArray ping = Commands::serializePacket(Commands::Ping, {});
    EXPECT_EQ(ping, bytes({0x03, 0x2A, 0x20}));
}

TEST(TivaPackets, StatusAnswerMayLeadWithAZeroByte)
{
    EXPECT_TRUE(Commands::decodeRx(Commands::GetStatus, bytes({0x00, 0x40, 0x12})));
    EXPECT_TRUE(Commands::decodeRx(Commands::GetStatus, bytes({0xCC, 0x00, 0x00})));
    EXPECT_FALSE(Commands::decodeRx(Commands::GetStatus, bytes({0x00, 0x00, 0x40})));
    EXPECT_FALSE(Commands::decodeRx(Commands::GetStatus, bytes({0x45, 0x40, 0x00})));
    EXPECT_TRUE(Commands::decodeRx(Commands::Download, bytes({0x00, 0x00, 0xCC})));
    EXPECT_FALSE(Commands::decodeRx(Commands::Download, bytes({0x00, 0x33, 0x40})));
}

TEST_F(TivaTest, Image150BytesAt4000GoesOutInSlicesOf72)
{
    const QByteArray image = Images::pattern(150);
    ScriptedDevice device(&tiva, goodAnswer);
    tiva.download(images.write("image.txt", "@4000\n" + Images::hexLines(image) + "q\n"));
    ASSERT_TRUE(reports.waitForEnd());

    const QByteArray download = bytes({0x21, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x96});
    const QByteArray getStatus = Commands::serializePacket(Commands::GetStatus, {});
    const QList<QByteArray> expected{
        bytes({0x03, 0x2A, 0x20}),
        bytes({11, Commands::calculateChecksum(download)}) + download,
        getStatus,
        Commands::serializePacket(Commands::SendData, image.mid(0, 72)),
        getStatus,
        Commands::serializePacket(Commands::SendData, image.mid(72, 72)),
        getStatus,
        Commands::serializePacket(Commands::SendData, image.mid(144)),
        getStatus,
        Commands::serializePacket(Commands::Reset, {}),
    };
    EXPECT_EQ(device.writes, expected);
    EXPECT_EQ(device.writes.at(3).at(0), 75);
    EXPECT_EQ(device.writes.at(7).at(0), 9);
    EXPECT_FALSE(device.halfDuplexFlags.contains(false));

    EXPECT_EQ(reports.states, (QList<Bootloader::BLSTATE>{Bootloader::BLSTATE_CONNECTION_STARTED,
                                                          Bootloader::BLSTATE_DOWNLOAD_STARTED,
                                                          Bootloader::BLSTATE_DOWNLOAD_SUCCESSFULL}));
    EXPECT_TRUE(reports.errors.isEmpty());
    // 3 of 188 packet bytes were out when the ping was answered.
    ASSERT_EQ(reports.progress.size(), expected.size());
    EXPECT_EQ(reports.progress.first(), 2);
    EXPECT_TRUE(std::is_sorted(reports.progress.begin(), reports.progress.end()));
    EXPECT_EQ(reports.progress.last(), 100);
}

TEST_F(TivaTest, AnswersInPiecesAreJoinedAndTheSurplusDropped)
{
    ScriptedDevice device(&tiva,
                          [&device](const QByteArray& packet)
                          {
                              device.answerLater(bytes({0x00}));
                              // A fourth byte in the same chunk belongs to no packet.
                              return goodAnswer(packet).mid(1) + bytes({0x33});
                          });
    tiva.download(images.write("image.txt", "@4000\n01 02 03\nq\n"));
    ASSERT_TRUE(reports.waitForEnd());
    EXPECT_EQ(reports.states.last(), Bootloader::BLSTATE_DOWNLOAD_SUCCESSFULL);
    EXPECT_EQ(device.writes.size(), 6);
}

TEST(TivaParser, SectionsBecomeOneBlockWithErasedGaps)
{
    Images images;
    const QByteArray first = Images::pattern(16, 1);
    const QByteArray second = Images::pattern(8, 2);
    QList<Commands::DataBlock> blocks;
    ASSERT_TRUE(TIVA::Parser().getDataForFile(images.write("two.txt", "@4000\r\n" + Images::hexLines(first) +
                                                                          "@4020\r\n" +
                                                                          Images::hexLines(second) + "q\r\n"),
                                              blocks));
    ASSERT_EQ(blocks.size(), 1);
    EXPECT_EQ(blocks.at(0).startAddress, 0x4000u);
    EXPECT_EQ(blocks.at(0).size, 40u);
    EXPECT_EQ(blocks.at(0).data, first + QByteArray(16, static_cast<char>(0xFF)) + second);
}

TEST(TivaParser, ReadingEndsAtTheEndMarker)
{
    Images images;
    QList<Commands::DataBlock> blocks;
    ASSERT_TRUE(TIVA::Parser().getDataForFile(images.write("end.txt", "@4000\nAA bb\nQ\nzz ZZZ\n"), blocks));
    EXPECT_EQ(blocks.at(0).data, bytes({0xAA, 0xBB}));
}

TEST_F(TivaTest, FilesThatDoNotSayWhatToFlashAreRefusedBeforeAnythingIsSent)
{
    const QList<QPair<QString, QByteArray>> files{
        {"image.hex", "@4000\n01 02\nq\n"},
        {"token.txt", "@4000\n01 G2 03\nq\n"},
        {"long.txt", "@4000\n01 023 03\nq\n"},
        {"address.txt", "@100004000\n01 02\nq\n"},
        {"marker.txt", "@\n01 02\nq\n"},
        {"noaddress.txt", "01 02\n@4000\n03\nq\n"},
        {"backwards.txt", "@4000\n01 02 03 04\n@4002\n05\nq\n"},
        {"beyond.txt", "@FFFFFFFF\n01 02\nq\n"},
        {"gap.txt", "@4000\n01\n@FFFF0000\n02\nq\n"},
        {"empty.txt", "@4000\nq\n"},
        // Markers alone: the gap between them is no data to flash.
        {"markers.txt", "@4000\n@4207\nq\n"},
    };
    ScriptedDevice device(&tiva, goodAnswer);
    for (const auto& [name, content] : files)
    {
        reports.errors.clear();
        tiva.download(images.write(name, content));
        EXPECT_EQ(reports.errors, QList{Bootloader::BLERROR_CANT_PARSE_FILE}) << name.toStdString();
    }
    tiva.download(images.missing());
    TestWait::settle(20);
    EXPECT_TRUE(device.writes.isEmpty());
    // One failure after the other: the error every time, the state once.
    EXPECT_EQ(reports.states, QList{Bootloader::BLSTATE_ERROR});
}

TEST_F(TivaTest, ImageAtAddressZeroWouldReplaceTheBootloader)
{
    ScriptedDevice device(&tiva, goodAnswer);
    tiva.download(images.write("boot.txt", "@0000\n01 02\nq\n"));
    TestWait::settle(20);
    EXPECT_EQ(reports.errors, QList{Bootloader::BLERROR_FILE_CONTAINS_BL});
    EXPECT_EQ(Bootloader::errorText(reports.errors.at(0)), "File must not contain bootloader update");
    EXPECT_TRUE(device.writes.isEmpty());
}

TEST_F(TivaTest, BadStatusEndsTheTransferAtThatPacket)
{
    ScriptedDevice device(&tiva,
                          [](const QByteArray& packet)
                          {
                              return static_cast<uint8_t>(packet.at(2)) == Commands::GetStatus
                                         ? bytes({0x00, 0x00, 0x00})
                                         : goodAnswer(packet);
                          });
    tiva.download(images.write("image.txt", "@4000\n01 02\nq\n"));
    ASSERT_TRUE(reports.waitForEnd());
    EXPECT_EQ(reports.errors, QList{Bootloader::BLERROR_NO_RESPONSE_FROM_DEVICE});
    EXPECT_EQ(reports.states.last(), Bootloader::BLSTATE_ERROR);
    TestWait::settle(20);
    EXPECT_EQ(device.writes.size(), 3); // Ping, Download, GetStatus
}

TEST_F(TivaTest, SilenceEndsInTimeoutAndTheNextTransferStartsAfresh)
{
    bool silent = true;
    ScriptedDevice device(&tiva, [&silent](const QByteArray& packet)
                          { return silent ? QByteArray() : goodAnswer(packet); });
    const QString file = images.write("image.txt", "@4000\n01 02\nq\n");
    tiva.download(file);
    ASSERT_TRUE(reports.waitForEnd());
    EXPECT_EQ(reports.errors, QList{Bootloader::BLERROR_TIMEOUT});
    EXPECT_EQ(device.writes.size(), 1);

    silent = false;
    tiva.download(file);
    ASSERT_TRUE(TestWait::waitUntil(
        [&] { return reports.states.last() == Bootloader::BLSTATE_DOWNLOAD_SUCCESSFULL; }));
    EXPECT_EQ(device.writes.size(), 1 + 6);
}

TEST_F(TivaTest, SecondDownloadDuringATransferIsRefusedWithoutHarmingIt)
{
    ScriptedDevice device(&tiva, goodAnswer);
    const QString file = images.write("image.txt", "@4000\n01 02\nq\n");
    tiva.download(file);
    tiva.download(file);
    EXPECT_EQ(reports.errors, QList{Bootloader::BLERROR_INTERFACE_IS_NOT_OPEN});
    ASSERT_TRUE(reports.waitForEnd());
    EXPECT_EQ(reports.states.last(), Bootloader::BLSTATE_DOWNLOAD_SUCCESSFULL);
    EXPECT_EQ(device.writes.size(), 6);
}

TEST_F(TivaTest, SerialErrorAbortsTheTransfer)
{
    ScriptedDevice device(&tiva, [](const QByteArray&) { return QByteArray(); });
    tiva.download(images.write("image.txt", "@4000\n01 02\nq\n"));
    TestWait::waitUntil([&] { return !device.writes.isEmpty(); });
    tiva.errorOccurredOnInterface(QSerialPort::NoError);
    EXPECT_TRUE(reports.errors.isEmpty());
    tiva.errorOccurredOnInterface(QSerialPort::WriteError);
    EXPECT_EQ(reports.errors, QList{Bootloader::BLERROR_INTERFACE_COM_ERROR});
    EXPECT_EQ(reports.states.last(), Bootloader::BLSTATE_ERROR);
    EXPECT_FALSE(tiva.isBusy());
}

} // namespace
