#include "bootloader/msp432/MSP432.h"
#include "bootloader/msp432/MSPParser.h"
#include "bootloader_test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace BootloaderTest;
using Cmd = MSPCommands::MSPCMD;

namespace
{

// An MSP432 loader on the family's own signals.
class Msp432Device : public ScriptedDevice, public Msp432Loader
{
public:
    explicit Msp432Device(Bootloader* family)
        : ScriptedDevice(family, [this](const QByteArray& packet) { return answer(packet); })
    {
    }
};

class Msp432Test : public ::testing::Test
{
protected:
    MSP432 msp{nullptr, fastTiming()};
    Reports reports{&msp};
    Images images;
};

TEST(Msp432Packets, CommandsAreFramedWithTheirCcittCrcLeastSignificantFirst)
{
    EXPECT_EQ(MSPCommands::getCRC_CCITT("123456789"), 0x29B1);
    EXPECT_EQ(MSPCommands::buildTxCmd(Cmd::MSPCMD_MASS_ERASE, nullptr),
              bytes({0x80, 0x01, 0x00, 0x15, 0x64, 0xA3}));

    MSPCommands::DataBlock block;
    block.startAddress = 0x4200;
    block.data = QByteArray(88, 'x');
    const QByteArray check = MSPCommands::buildTxCmd(Cmd::MSPCMD_CRC_CHECK_32, &block);
    EXPECT_EQ(check.left(3), bytes({0x80, 0x07, 0x00}));
    EXPECT_EQ(check.mid(3, 7), bytes({0x26, 0x00, 0x42, 0x00, 0x00, 0x58, 0x00}));
    EXPECT_EQ(check.size(), 12);

    const QByteArray write = MSPCommands::buildTxCmd(Cmd::MSPCMD_RX_DATA_BLOCK_32, &block);
    EXPECT_EQ(write.left(8), bytes({0x80, 93, 0x00, 0x20, 0x00, 0x42, 0x00, 0x00}));
    EXPECT_EQ(write.mid(8, 88), block.data);
}

TEST(Msp432Packets, PasswordsAreAllOnesAndAllZeros)
{
    MSPCommands::DataBlock password;
    MSPCommands::getDefaultPassword(MSPCommands::MSPPWD_SIZE_256BIT, &password);
    EXPECT_EQ(password.data, QByteArray(256, static_cast<char>(0xFF)));
    MSPCommands::getWrongPassword(MSPCommands::MSPPWD_SIZE_256BIT, &password);
    EXPECT_EQ(password.data, QByteArray(256, '\0'));
}

TEST(Msp432Packets, AnswersPassOnlyWhenFrameMessageAndCrcAgree)
{
    const QByteArray ok = bytes({0x00, 0x80, 0x02, 0x00, 0x3B, 0x00, 0x60, 0xC4});
    EXPECT_EQ(MSPCommands::decodeRxBuffer(Cmd::MSPCMD_MASS_ERASE, ok, nullptr).rxError,
              MSPCommands::MSPRX_NO_ERROR);
    const auto locked = MSPCommands::decodeRxBuffer(
        Cmd::MSPCMD_MASS_ERASE, bytes({0x00, 0x80, 0x02, 0x00, 0x3B, 0x04, 0xE4, 0x84}), nullptr);
    EXPECT_EQ(locked.rxError, MSPCommands::MSPRX_ERROR_MESSAGE);
    EXPECT_EQ(locked.deviceMessage, MSPCommands::MSP_DEVICE_MESSAGE_BSL_LOCKED);

    QByteArray badCrc = ok;
    badCrc[7] = 0;
    EXPECT_EQ(MSPCommands::decodeRxBuffer(Cmd::MSPCMD_MASS_ERASE, badCrc, nullptr).rxError,
              MSPCommands::MSPRX_ERROR_CHECKSUM);
    EXPECT_EQ(MSPCommands::decodeRxBuffer(Cmd::MSPCMD_MASS_ERASE, ok.mid(1) + bytes({0}), nullptr).rxError,
              MSPCommands::MSPRX_ERROR_NO_ACK);
    EXPECT_EQ(MSPCommands::decodeRxBuffer(Cmd::MSPCMD_MASS_ERASE, ok.left(7), nullptr).rxError,
              MSPCommands::MSPRX_ERROR_BUFFER_EMPTY);

    MSPCommands::DataBlock block;
    block.data = "abc";
    block.crc = MSPCommands::getCRC_CCITT(block.data);
    const QByteArray crcAnswer = msp432AnswerFrame(bytes({0x3A, block.crc & 0xFF, block.crc >> 8}));
    EXPECT_EQ(MSPCommands::decodeRxBuffer(Cmd::MSPCMD_CRC_CHECK_32, crcAnswer, &block).rxError,
              MSPCommands::MSPRX_NO_ERROR);
    MSPCommands::DataBlock other = block;
    other.crc ^= 0x0100;
    EXPECT_NE(MSPCommands::decodeRxBuffer(Cmd::MSPCMD_CRC_CHECK_32, crcAnswer, &other).rxError,
              MSPCommands::MSPRX_NO_ERROR);
    // "Operation OK" is no CRC: the block would count as checked unseen.
    EXPECT_NE(MSPCommands::decodeRxBuffer(Cmd::MSPCMD_CRC_CHECK_32,
                                          msp432AnswerFrame(bytes({0x3B, 0x00, 0x00})), &block)
                  .rxError,
              MSPCommands::MSPRX_NO_ERROR);
    EXPECT_NE(
        MSPCommands::decodeRxBuffer(Cmd::MSPCMD_MASS_ERASE, msp432AnswerFrame(bytes({0x3A, 0x00})), nullptr)
            .rxError,
        MSPCommands::MSPRX_NO_ERROR);
}

TEST(Msp432Parser, ImageIsCutIntoBlocksOf256WithTheirCrc)
{
    Images images;
    const QByteArray image = Images::pattern(600);
    QList<MSPCommands::DataBlock> blocks;
    ASSERT_TRUE(MSPParser().getDataForFile(
        images.write("image.txt", "@00004000\n" + Images::hexLines(image) + "q\n"), blocks));
    ASSERT_EQ(blocks.size(), 3);
    const QList<uint32_t> starts{0x4000, 0x4100, 0x4200};
    const QList<int> sizes{256, 256, 88};
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_EQ(blocks.at(i).startAddress, starts.at(i));
        EXPECT_EQ(blocks.at(i).data, image.mid(i * 256, sizes.at(i)));
        EXPECT_EQ(blocks.at(i).crc, MSPCommands::getCRC_CCITT(blocks.at(i).data));
    }
}

TEST(Msp432Parser, EveryAddressMarkerStartsABlockAndEmptySectionsGiveNone)
{
    Images images;
    QList<MSPCommands::DataBlock> blocks;
    ASSERT_TRUE(
        MSPParser().getDataForFile(images.write("s.txt", "@0000\n01 02\n@1000\n@2000\n03\nq\n"), blocks));
    ASSERT_EQ(blocks.size(), 2);
    EXPECT_EQ(blocks.at(0).startAddress, 0u);
    EXPECT_EQ(blocks.at(1).startAddress, 0x2000u);
    EXPECT_EQ(blocks.at(1).data, bytes({0x03}));

    for (const QByteArray& content : {QByteArray("01 02\nq\n"), QByteArray("@4000\nq\n"),
                                      QByteArray("@FFFFFFFF\n01 02\n"), QByteArray("@4000\n01 xy\n")})
        EXPECT_FALSE(MSPParser().getDataForFile(images.write("bad.txt", content), blocks)) << content.data();
}

TEST_F(Msp432Test, WholeTransferWritesBlocksLastFirstAndVerifiesEach)
{
    const QByteArray image = Images::pattern(600, 3);
    Msp432Device device(&msp);
    msp.download(images.write("image.txt", "@4000\n" + Images::hexLines(image) + "q\n"));
    ASSERT_TRUE(reports.waitForEnd());

    EXPECT_EQ(reports.states,
              (QList<Bootloader::BLSTATE>{Bootloader::BLSTATE_CONNECTION_STARTED,
                                          Bootloader::BLSTATE_CONNECTED, Bootloader::BLSTATE_DOWNLOAD_STARTED,
                                          Bootloader::BLSTATE_DOWNLOAD_SUCCESSFULL}));
    using enum MSPCommands::MSPCMD;
    EXPECT_EQ(
        device.commands,
        (QList<Cmd>{MSPCMD_RX_PASSWORD_32, MSPCMD_RX_PASSWORD_32, MSPCMD_MASS_ERASE, MSPCMD_RX_DATA_BLOCK_32,
                    MSPCMD_CRC_CHECK_32, MSPCMD_RX_DATA_BLOCK_32, MSPCMD_CRC_CHECK_32,
                    MSPCMD_RX_DATA_BLOCK_32, MSPCMD_CRC_CHECK_32, MSPCMD_REBOOT_RESET}));
    const QList<QByteArray> packets = device.writes.mid(device.writes.lastIndexOf(bytes({0xFF})) + 1);
    ASSERT_EQ(packets.size(), 10);
    EXPECT_EQ(packets.at(0).mid(4, 256), QByteArray(256, '\0'));
    EXPECT_EQ(packets.at(1).mid(4, 256), QByteArray(256, static_cast<char>(0xFF)));
    EXPECT_EQ(Msp432Loader::address(packets.at(3).mid(4)), 0x4200u);
    EXPECT_EQ(Msp432Loader::address(packets.at(7).mid(4)), 0x4000u);
    EXPECT_EQ(device.flashed(), image);
    EXPECT_FALSE(device.halfDuplexFlags.contains(false));
    EXPECT_EQ(reports.progress, (QList<int>{66, 100, 100}));
    EXPECT_TRUE(reports.errors.isEmpty());
}

TEST_F(Msp432Test, RebootThatNeverLeavesThePortIsNoSuccess)
{
    // The port confirms nothing, which only the unanswered reboot waits for;
    // what the restarting device says meanwhile is no answer and restarts nothing.
    Msp432Device device(&msp);
    device.confirmWrites = false;
    msp.download(images.write("image.txt", "@4000\n" + Images::hexLines(Images::pattern(40)) + "q\n"));
    ASSERT_TRUE(TestWait::waitUntil([&] { return device.commands.contains(Cmd::MSPCMD_REBOOT_RESET); }));
    msp.newDataReadyFromInterface(Msp432Loader().answer(bytes({0xFF})) +
                                  msp432AnswerFrame(bytes({0x3B, 0x00})));
    ASSERT_TRUE(reports.waitForEnd());
    EXPECT_FALSE(reports.states.contains(Bootloader::BLSTATE_DOWNLOAD_SUCCESSFULL));
    ASSERT_EQ(reports.errors, QList{Bootloader::BLERROR_RESET_NOT_SENT});
    EXPECT_THAT(Bootloader::errorText(reports.errors.at(0)).toStdString(),
                ::testing::HasSubstr("may still be in its bootloader"));
    EXPECT_EQ(device.commands.last(), Cmd::MSPCMD_REBOOT_RESET);

    // The next transfer counts its own confirmations.
    device.confirmWrites = true;
    reports.states.clear();
    msp.download(images.write("again.txt", "@4000\n01\nq\n"));
    ASSERT_TRUE(reports.waitForEnd());
    EXPECT_EQ(reports.states.last(), Bootloader::BLSTATE_DOWNLOAD_SUCCESSFULL);
}

TEST_F(Msp432Test, HalfDuplexAnswerCountsOnlyWithTheByteAfterIt)
{
    ScriptedDevice device(&msp, [](const QByteArray& packet)
                          { return packet == bytes({0xFF}) ? bytes({0x00}) : QByteArray(); });
    msp.download(images.write("image.txt", "@4000\n01\nq\n"));
    ASSERT_TRUE(
        TestWait::waitUntil([&] { return device.writes.size() >= 2 && device.writes.last().size() > 1; }));
    const qsizetype sent = device.writes.size();

    msp.newDataReadyFromInterface(msp432AnswerFrame(bytes({0x3B, 0x00})));
    TestWait::settle(20);
    EXPECT_EQ(device.writes.size(), sent);
    msp.newDataReadyFromInterface(bytes({0x00}));
    ASSERT_EQ(device.writes.size(), sent + 1);
    EXPECT_EQ(device.writes.last().at(3), 0x21); // the default password follows the wrong one
}

TEST_F(Msp432Test, SilentLoaderGetsElevenWakeUpBytesThenTimesOut)
{
    Msp432Device device(&msp);
    device.silent = true;
    msp.download(images.write("image.txt", "@4000\n01\nq\n"));
    ASSERT_TRUE(reports.waitForEnd());
    EXPECT_EQ(reports.errors, QList{Bootloader::BLERROR_TIMEOUT});
    EXPECT_EQ(Bootloader::errorText(reports.errors.at(0)), "Device did not answer in time");
    EXPECT_EQ(device.writes, QList<QByteArray>(11, bytes({0xFF})));
}

TEST_F(Msp432Test, NoiseInsteadOfTheAcknowledgeStillTimesOutAndLeavesTheFamilyIdle)
{
    const QString file = images.write("image.txt", "@4000\n01\nq\n");
    // Line noise and the loader's own error bytes are no acknowledge.
    for (const int stray : {0x51, 0x56, 0xA5})
    {
        SCOPED_TRACE(stray);
        int wakeUps = 0;
        ScriptedDevice device(
            &msp, [&](const QByteArray&)
            { return ++wakeUps == MSP432::wakeUpRepeats + 1 ? bytes({stray}) : QByteArray(); });
        reports.states.clear();
        reports.errors.clear();
        msp.download(file);
        ASSERT_TRUE(reports.waitForEnd(2000));
        EXPECT_EQ(reports.errors, QList{Bootloader::BLERROR_TIMEOUT});
        EXPECT_FALSE(msp.isBusy());
        // A zero byte of later traffic on the line wakes nothing.
        msp.newDataReadyFromInterface(bytes({0x00}));
        TestWait::settle(30);
        EXPECT_EQ(device.writes.size(), MSP432::wakeUpRepeats + 1);
    }
}

TEST_F(Msp432Test, RefusalsAndWrongCrcEndTheTransferWithoutReset)
{
    const QString file =
        images.write("image.txt", "@4000\n" + Images::hexLines(Images::pattern(300)) + "q\n");
    for (const bool locked : {true, false})
    {
        Msp432Device device(&msp);
        device.message = locked ? MSPCommands::MSP_DEVICE_MESSAGE_BSL_LOCKED : 0;
        device.corruptFlash = !locked;
        reports.states.clear();
        reports.errors.clear();
        msp.download(file);
        ASSERT_TRUE(reports.waitForEnd());
        EXPECT_EQ(reports.errors, QList{Bootloader::BLERROR_NO_RESPONSE_FROM_DEVICE});
        EXPECT_EQ(Bootloader::errorText(reports.errors.at(0)), "No response from device");
        EXPECT_FALSE(device.commands.contains(Cmd::MSPCMD_REBOOT_RESET));
        EXPECT_EQ(device.commands.last(), locked ? Cmd::MSPCMD_RX_PASSWORD_32 : Cmd::MSPCMD_CRC_CHECK_32);
    }
}

TEST_F(Msp432Test, UnreadableFileSendsNothing)
{
    Msp432Device device(&msp);
    msp.download(images.missing());
    msp.download(images.write("image.hex", "@4000\n01\nq\n"));
    EXPECT_EQ(reports.errors,
              (QList{Bootloader::BLERROR_CANT_PARSE_FILE, Bootloader::BLERROR_CANT_PARSE_FILE}));
    EXPECT_EQ(Bootloader::errorText(reports.errors.at(0)), "File is invalid");
    TestWait::settle(20);
    EXPECT_TRUE(device.writes.isEmpty());
}

TEST(Msp432Instances, TwoTransfersAtOnceKeepTheirOwnBlockPositions)
{
    Images images;
    MSP432 first(nullptr, fastTiming());
    MSP432 second(nullptr, fastTiming());
    Reports firstReports(&first);
    Reports secondReports(&second);
    Msp432Device firstDevice(&first);
    Msp432Device secondDevice(&second);
    const QByteArray big = Images::pattern(1000, 1);
    const QByteArray small = Images::pattern(300, 2);
    first.download(images.write("big.txt", "@4000\n" + Images::hexLines(big) + "q\n"));
    second.download(images.write("small.txt", "@8000\n" + Images::hexLines(small) + "q\n"));
    ASSERT_TRUE(firstReports.waitForEnd());
    ASSERT_TRUE(secondReports.waitForEnd());
    EXPECT_EQ(firstReports.states.last(), Bootloader::BLSTATE_DOWNLOAD_SUCCESSFULL);
    EXPECT_EQ(secondReports.states.last(), Bootloader::BLSTATE_DOWNLOAD_SUCCESSFULL);
    EXPECT_EQ(firstDevice.flashed(), big);
    EXPECT_EQ(secondDevice.flashed(), small);
}

TEST_F(Msp432Test, SecondDownloadWhileConnectingIsRefused)
{
    Msp432Device device(&msp);
    const QString file = images.write("image.txt", "@4000\n01\nq\n");
    msp.download(file);
    msp.download(file);
    EXPECT_EQ(reports.errors, QList{Bootloader::BLERROR_INTERFACE_IS_NOT_OPEN});
    ASSERT_TRUE(reports.waitForEnd());
    EXPECT_EQ(reports.states.last(), Bootloader::BLSTATE_DOWNLOAD_SUCCESSFULL);
}

} // namespace
