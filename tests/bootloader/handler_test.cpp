#include "bootloader/BootloaderHandler.h"
#include "bootloader/msp432/MSP432.h"
#include "bootloader/tiva/Tiva.h"
#include "bootloader_test_support.h"
#include "tools/support/FFakeSerialPortBackend.h"

#include <QPointer>
#include <QThread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace BootloaderTest;

namespace
{

class HandlerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        port.openPort(QStringLiteral("ttyFAKE0"), 1200, FSerialPort::Data8, FSerialPort::OddParity,
                      FSerialPort::OneStop, FSerialPort::NoFlowControl);
        ASSERT_TRUE(port.isPortOpen());
        // A single-wire line hears itself.
        fake->setEcho(true);
        QObject::connect(&handler, &BootloaderHandler::state, [this](const QString& s) { states.append(s); });
        QObject::connect(&handler, &BootloaderHandler::error, [this](const QString& e) { errors.append(e); });
        QObject::connect(&handler, &BootloaderHandler::actionProgress,
                         [this](uint8_t p) { progress.append(p); });
    }

    static BootloaderTiming patientTiming()
    {
        BootloaderTiming timing = fastTiming();
        timing.tivaAnswerTimeoutMs = 5000;
        return timing;
    }

    // Whether what the family writes still reaches the port.
    bool familyWiredToPort()
    {
        const qsizetype before = fake->writes().size();
        emit handler.family()->writeDataToInterface(bytes({0x01}), false);
        return fake->writes().size() > before;
    }

    FFakeSerialPortBackend* fake = nullptr;
    FSerialPort port{nullptr, [this]
                     {
                         auto backend = std::make_unique<FFakeSerialPortBackend>();
                         fake = backend.get();
                         return backend;
                     }};
    BootloaderHandler handler{nullptr, &port, BootloaderHandler::FAMILY_UNDEF,
                              BootloaderHandler::INTERFACE_UNDEF, patientTiming()};
    Images images;
    QStringList states;
    QStringList errors;
    QList<int> progress;
};

TEST_F(HandlerTest, FamilyIsCreatedOnceAndReplacedOnSwitch)
{
    EXPECT_EQ(handler.family(), nullptr);
    handler.setFamily(BootloaderHandler::FAMILY_TIVA);
    QPointer<Bootloader> tiva = handler.family();
    handler.setFamily(BootloaderHandler::FAMILY_TIVA);
    EXPECT_EQ(handler.family(), tiva.data());
    ASSERT_NE(qobject_cast<Tiva*>(tiva.data()), nullptr);
    EXPECT_EQ(tiva->thread(), handler.workerThread());
    EXPECT_EQ(handler.workerThread()->objectName(), "BootloaderThread");
    EXPECT_TRUE(handler.workerThread()->isRunning());

    handler.setFamily(BootloaderHandler::FAMILY_MSP432);
    EXPECT_TRUE(TestWait::waitUntil([&] { return tiva.isNull(); }));
    EXPECT_NE(qobject_cast<MSP432*>(handler.family()), nullptr);
    EXPECT_EQ(handler.getSupportedFileTypes(), "*.txt");

    handler.deleteFamily();
    EXPECT_EQ(handler.family(), nullptr);
    handler.setInterface(BootloaderHandler::INTERFACE_UART);
    handler.connectUartToFamily();
    EXPECT_EQ(errors, QStringList{"Interface is not open"});
}

TEST_F(HandlerTest, DownloadRunsOnThePortAtTheFamilysSettingsAndLetsItGoAfterwards)
{
    handler.setFamily(BootloaderHandler::FAMILY_TIVA);
    handler.setInterface(BootloaderHandler::INTERFACE_UART);
    handler.setInterfaceName(QStringLiteral("ttyFAKE0"));
    handler.download(images.write("image.txt", "@4000\n01 02 03\nq\n"));
    EXPECT_TRUE(handler.isConnected());

    // The device: every packet acknowledged, status requests with success.
    qsizetype answered = 0;
    const bool done = TestWait::waitUntil(
        [&]
        {
            const QList<QByteArray> writes = fake->writes();
            if (writes.size() > answered)
            {
                answered = writes.size();
                fake->feedReceived(static_cast<uint8_t>(writes.last().at(2)) == TIVA::Commands::GetStatus
                                       ? bytes({0x00, 0x40, 0x00})
                                       : bytes({0x00, 0xCC, 0x00}));
            }
            return states.contains("Download successful") || !errors.isEmpty();
        });
    ASSERT_TRUE(done);
    EXPECT_TRUE(errors.isEmpty());
    EXPECT_EQ(states, (QStringList{"Connection started", "Download started", "Download successful"}));
    EXPECT_EQ(progress.last(), 100);
    EXPECT_EQ(fake->lineSettings().baudRate, 230400);
    EXPECT_EQ(fake->lineSettings().parity, QSerialPort::EvenParity);
    EXPECT_EQ(fake->writes().size(), 6);

    ASSERT_TRUE(TestWait::waitUntil([&] { return !handler.isConnected(); }));
    EXPECT_FALSE(familyWiredToPort());
    // A later settings change of the port's next user starts no transfer.
    port.changeSettings(1200, FSerialPort::Data8, FSerialPort::OddParity, FSerialPort::OneStop,
                        FSerialPort::NoFlowControl);
    TestWait::settle(30);
    EXPECT_EQ(fake->writes().size(), 6);
}

TEST_F(HandlerTest, Msp432SucceedsOnlyOnceItsRebootHasLeftThePort)
{
    // Writes go through a buffer, as Qt's, and reach the line a little later
    // unless drained; a close drops what is still in it.
    fake->setLateOutput(40);
    handler.setFamily(BootloaderHandler::FAMILY_MSP432);
    handler.setInterface(BootloaderHandler::INTERFACE_UART);
    const QByteArray reboot = MSPCommands::buildTxCmd(MSPCommands::MSPCMD_REBOOT_RESET, nullptr);
    const QByteArray image = Images::pattern(300);
    const QString file = images.write("image.txt", "@4000\n" + Images::hexLines(image) + "q\n");

    for (const bool rebootFails : {false, true})
    {
        SCOPED_TRACE(rebootFails ? "the reboot cannot be written" : "the reboot is written late");
        states.clear();
        errors.clear();
        fake->clearWrites();
        fake->setWriteLimit(std::nullopt);
        QByteArray lineAtSuccess;
        const auto hook = QObject::connect(&handler, &BootloaderHandler::state,
                                           [&](const QString& s)
                                           {
                                               if (s == "Download successful")
                                                   lineAtSuccess = fake->writtenBytes();
                                           });
        Msp432Loader loader;
        handler.download(file);
        qsizetype answered = 0;
        ASSERT_TRUE(TestWait::waitUntil(
            [&]
            {
                const QList<QByteArray> writes = fake->writes();
                for (; answered < writes.size(); ++answered)
                {
                    const QByteArray answer = loader.answer(writes.at(answered));
                    if (rebootFails && loader.commands.count(MSPCommands::MSPCMD_CRC_CHECK_32) == 2)
                        fake->setWriteLimit(0);
                    fake->feedReceived(answer);
                }
                return states.contains("Download successful") || !errors.isEmpty();
            },
            10000));
        QObject::disconnect(hook);
        if (!rebootFails)
        {
            EXPECT_TRUE(errors.isEmpty());
            EXPECT_TRUE(lineAtSuccess.endsWith(reboot)) << "the reboot was still in the buffer";
            EXPECT_EQ(loader.flashed(), image);
            continue;
        }
        EXPECT_FALSE(states.contains("Download successful"));
        ASSERT_EQ(errors.size(), 1);
        EXPECT_THAT(errors.at(0).toStdString(), ::testing::HasSubstr("rescue mode"));
        EXPECT_FALSE(fake->writtenBytes().contains(reboot));
        fake->setWriteLimit(std::nullopt);
        fake->setLateOutput(std::nullopt);
        EXPECT_FALSE(familyWiredToPort());
    }
}

TEST_F(HandlerTest, ErrorsOfTheTransferReleaseThePortThoseOfOpeningDoNot)
{
    handler.setFamily(BootloaderHandler::FAMILY_TIVA);
    handler.setInterface(BootloaderHandler::INTERFACE_UART, true);
    ASSERT_TRUE(handler.isConnected());

    handler.errorFamily(Bootloader::BLERROR_INTERFACE_CANT_OPEN);
    EXPECT_EQ(errors, QStringList{"Could not open interface"});
    EXPECT_TRUE(familyWiredToPort());

    handler.errorFamily(Bootloader::BLERROR_FILE_CONTAINS_BL);
    EXPECT_EQ(errors.last(), "File must not contain bootloader update");
    EXPECT_FALSE(familyWiredToPort());

    handler.stateFamily(Bootloader::BLSTATE_UNDEF);
    EXPECT_TRUE(states.isEmpty());
    handler.stateFamily(Bootloader::BLSTATE_ERROR);
    EXPECT_EQ(states, QStringList{"Error occurred"});
}

TEST_F(HandlerTest, SecondHandOverDoesNotDoubleTheWiring)
{
    handler.setFamily(BootloaderHandler::FAMILY_TIVA);
    handler.setInterface(BootloaderHandler::INTERFACE_UART);
    handler.connectUartToFamily();
    handler.connectUartToFamily();
    const qsizetype before = fake->writes().size();
    emit handler.family()->writeDataToInterface(bytes({0x01}), false);
    EXPECT_EQ(fake->writes().size(), before + 1);
}

} // namespace
