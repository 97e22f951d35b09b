#include "link_test_support.h"

#include "protocol/serial/FQtSerialPortBackend.h"
#include "protocol/serial/FSerialPort.h"
#include "tools/support/FFakeSerialPortBackend.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QThread>

#include <gtest/gtest.h>

#include <pty.h>
#include <unistd.h>

using LinkTest::settle;
using LinkTest::waitUntil;

namespace
{

class SerialPortTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        port = std::make_unique<FSerialPort>(nullptr, LinkTest::fakeFactory(&fake));
        ASSERT_NE(fake, nullptr);
    }

    void openDefault(int baud = 1200)
    {
        QSignalSpy opened(port.get(), &FSerialPort::finishedOpenPort);
        port->openPort(QStringLiteral("ttyFAKE0"), baud, FSerialPort::Data8, FSerialPort::OddParity,
                       FSerialPort::OneStop, FSerialPort::NoFlowControl);
        ASSERT_EQ(opened.count(), 1);
        ASSERT_TRUE(opened.at(0).at(0).toBool());
    }

    QByteArray received(const QSignalSpy& spy) const
    {
        QByteArray all;
        for (const auto& call : spy)
            all.append(call.at(0).toByteArray());
        return all;
    }

    FFakeSerialPortBackend* fake = nullptr;
    std::unique_ptr<FSerialPort> port;
};

TEST(SerialPortLineTime, CharacterLengthCountsStartParityDataAndStopBits)
{
    EXPECT_EQ(FSerialPort::bitsPerCharacter(FSerialPort::Data8, FSerialPort::OddParity, FSerialPort::OneStop),
              11);
    EXPECT_EQ(FSerialPort::bitsPerCharacter(FSerialPort::Data8, FSerialPort::NoParity, FSerialPort::OneStop),
              10);
    EXPECT_EQ(
        FSerialPort::bitsPerCharacter(FSerialPort::Data7, FSerialPort::EvenParity, FSerialPort::TwoStop), 11);
    EXPECT_EQ(FSerialPort::bitsPerCharacter(FSerialPort::Data5, FSerialPort::NoParity, FSerialPort::OneStop),
              7);
    // One and a half stop bits must not shorten the wait below the real line time.
    EXPECT_EQ(
        FSerialPort::bitsPerCharacter(FSerialPort::Data8, FSerialPort::NoParity, FSerialPort::OneAndHalfStop),
        11);
}

TEST(SerialPortLineTime, TwentyBytesAt1200Baud8O1Take192Point5Ms)
{
    EXPECT_EQ(FSerialPort::lineTimeNs(20, 11, 1200), 192'500'000);
    EXPECT_EQ(FSerialPort::lineTimeNs(1, 10, 115200), 91'145);
    EXPECT_EQ(FSerialPort::lineTimeNs(20, 11, 0), 0);
    EXPECT_EQ(FSerialPort::lineTimeNs(0, 11, 1200), 0);
}

TEST_F(SerialPortTest, OpenAppliesLineSettingsAndReportsSuccess)
{
    openDefault(4800);
    const auto settings = fake->lineSettings();
    EXPECT_EQ(fake->portName(), QStringLiteral("ttyFAKE0"));
    EXPECT_EQ(settings.baudRate, 4800);
    EXPECT_EQ(settings.dataBits, QSerialPort::Data8);
    EXPECT_EQ(settings.parity, QSerialPort::OddParity);
    EXPECT_EQ(settings.stopBits, QSerialPort::OneStop);
    EXPECT_EQ(settings.flow, QSerialPort::NoFlowControl);
    quint32 baud = 0;
    port->getCurrentBaudrate(&baud);
    EXPECT_EQ(baud, 4800u);
    EXPECT_TRUE(port->isPortOpen());

    QSignalSpy closed(port.get(), &FSerialPort::finishedOpenPort);
    port->closePort();
    ASSERT_EQ(closed.count(), 1);
    EXPECT_FALSE(closed.at(0).at(0).toBool());
    port->getCurrentBaudrate(&baud);
    EXPECT_EQ(baud, 0u);
    EXPECT_TRUE(port->portName().isEmpty());
    EXPECT_FALSE(fake->isOpenNow());
}

TEST_F(SerialPortTest, FailedOpenOrConfigurationIsLoggedAndLeavesThePortClosed)
{
    fake->setRefuseOpen(true);
    QSignalSpy opened(port.get(), &FSerialPort::finishedOpenPort);
    QSignalSpy log(port.get(), &FSerialPort::log);
    QSignalSpy errors(port.get(), &FSerialPort::errorOccuredOnPort);
    port->openPort(QStringLiteral("ttyFAKE0"), 1200, FSerialPort::Data8, FSerialPort::OddParity,
                   FSerialPort::OneStop, FSerialPort::NoFlowControl);
    ASSERT_EQ(opened.count(), 1);
    EXPECT_FALSE(opened.at(0).at(0).toBool());
    EXPECT_TRUE(log.at(0).at(0).toString().startsWith(QStringLiteral("Could not open port: ")));
    ASSERT_EQ(errors.count(), 1);
    EXPECT_EQ(errors.at(0).at(0).value<QSerialPort::SerialPortError>(), QSerialPort::PermissionError);
    EXPECT_FALSE(port->isPortOpen());

    // Opened but not configurable: closed again. The fake refuses baud rates
    // only on an open device, as a driver would.
    fake->setRefuseOpen(false);
    fake->setFailBaudRate(true);
    port->openPort(QStringLiteral("ttyFAKE0"), 1200, FSerialPort::Data8, FSerialPort::OddParity,
                   FSerialPort::OneStop, FSerialPort::NoFlowControl);
    ASSERT_EQ(opened.count(), 2);
    EXPECT_FALSE(opened.at(1).at(0).toBool());
    EXPECT_TRUE(log.at(1).at(0).toString().startsWith(QStringLiteral("Could not set baudrate: ")));
    EXPECT_FALSE(fake->isOpenNow());
    quint32 baud = 1;
    port->getCurrentBaudrate(&baud);
    EXPECT_EQ(baud, 0u);
}

TEST_F(SerialPortTest, SingleWireWriteHoldsTheThreadForTheLineTime)
{
    openDefault(1200);
    QSignalSpy written(port.get(), &FSerialPort::dataWrittenToPort);
    QElapsedTimer clock;
    clock.start();
    port->writeDataToPort(QByteArray(20, '\x55'), true);
    const qint64 elapsedNs = clock.nsecsElapsed();
    EXPECT_EQ(written.count(), 1);
    EXPECT_GE(elapsedNs, 192'500'000);
    EXPECT_TIME_BELOW(elapsedNs, 400'000'000);
    EXPECT_EQ(fake->writtenBytes(), QByteArray(20, '\x55'));

    // Without single-wire the write is confirmed at once.
    clock.restart();
    port->writeDataToPort(QByteArray(20, '\x55'), false);
    EXPECT_EQ(written.count(), 2);
    EXPECT_TIME_BELOW(clock.nsecsElapsed(), 50'000'000);
}

TEST_F(SerialPortTest, EchoOfASingleWireWriteIsSwallowedAcrossReads)
{
    openDefault(115200);
    QSignalSpy data(port.get(), &FSerialPort::newDataReadyFromPort);
    const QByteArray answer("ABCDE");

    // Echo and answer in one read: only the answer comes through.
    port->writeDataToPort(QByteArray(20, '\x11'), true);
    fake->feedReceived(QByteArray(20, '\x11') + answer);
    ASSERT_TRUE(waitUntil([&] { return data.count() == 1; }));
    EXPECT_EQ(data.at(0).at(0).toByteArray(), answer);

    // Split 12 + 13: the first read is all echo and yields nothing.
    data.clear();
    port->writeDataToPort(QByteArray(20, '\x22'), true);
    fake->feedReceived(QByteArray(12, '\x22'));
    settle(20);
    EXPECT_EQ(data.count(), 0);
    fake->feedReceived(QByteArray(8, '\x22') + answer);
    ASSERT_TRUE(waitUntil([&] { return data.count() == 1; }));
    EXPECT_EQ(data.at(0).at(0).toByteArray(), answer);

    // Echo split byte by byte, the answer in its own reads.
    data.clear();
    port->writeDataToPort(QByteArray(3, '\x33'), true);
    for (char c : QByteArray(3, '\x33') + answer)
    {
        fake->feedReceived(QByteArray(1, c));
        settle(2);
    }
    ASSERT_TRUE(waitUntil([&] { return received(data) == answer; }));
}

TEST_F(SerialPortTest, ShortWritesAreReportedOnceUntilAnotherErrorIsSeen)
{
    openDefault(115200);
    QSignalSpy errors(port.get(), &FSerialPort::errorOccuredOnPort);
    QSignalSpy written(port.get(), &FSerialPort::dataWrittenToPort);
    fake->setWriteLimit(3);
    port->writeDataToPort("0123456789", true);
    port->writeDataToPort("0123456789", false);
    ASSERT_EQ(errors.count(), 1);
    EXPECT_EQ(errors.at(0).at(0).value<QSerialPort::SerialPortError>(), QSerialPort::WriteError);
    EXPECT_EQ(written.count(), 0);

    fake->injectError(QSerialPort::ResourceError);
    ASSERT_TRUE(waitUntil([&] { return errors.count() == 2; }));
    port->writeDataToPort("0123456789", false);
    ASSERT_EQ(errors.count(), 3);
    EXPECT_EQ(errors.at(2).at(0).value<QSerialPort::SerialPortError>(), QSerialPort::WriteError);
}

TEST_F(SerialPortTest, WriteOnAClosedPortIsAWriteError)
{
    QSignalSpy errors(port.get(), &FSerialPort::errorOccuredOnPort);
    QSignalSpy written(port.get(), &FSerialPort::dataWrittenToPort);
    port->writeDataToPort("VELT", true);
    ASSERT_EQ(errors.count(), 1);
    EXPECT_EQ(errors.at(0).at(0).value<QSerialPort::SerialPortError>(), QSerialPort::WriteError);
    EXPECT_EQ(written.count(), 0);
    EXPECT_TRUE(fake->writes().isEmpty());
}

TEST_F(SerialPortTest, RepeatedPortErrorsAreReportedOnlyOnChange)
{
    QSignalSpy errors(port.get(), &FSerialPort::errorOccuredOnPort);
    fake->injectError(QSerialPort::NoError);
    fake->injectError(QSerialPort::ReadError);
    fake->injectError(QSerialPort::ReadError);
    fake->injectError(QSerialPort::ResourceError);
    fake->injectError(QSerialPort::NoError);
    fake->injectError(QSerialPort::NoError);
    settle(30);
    ASSERT_EQ(errors.count(), 3);
    EXPECT_EQ(errors.at(0).at(0).value<QSerialPort::SerialPortError>(), QSerialPort::ReadError);
    EXPECT_EQ(errors.at(1).at(0).value<QSerialPort::SerialPortError>(), QSerialPort::ResourceError);
    EXPECT_EQ(errors.at(2).at(0).value<QSerialPort::SerialPortError>(), QSerialPort::NoError);
}

TEST_F(SerialPortTest, ModemLinesAreConfirmedOnlyWhenSet)
{
    openDefault();
    QSignalSpy dtr(port.get(), &FSerialPort::dtrSet);
    QSignalSpy rts(port.get(), &FSerialPort::rtsSet);
    QSignalSpy log(port.get(), &FSerialPort::log);
    port->setDTRPin(true);
    port->setRTSPin(false);
    port->setRTSPin(true);
    EXPECT_EQ(dtr.count(), 1);
    EXPECT_EQ(rts.count(), 2);
    EXPECT_EQ(fake->modemLineHistory(), (QStringList{"DTR=1", "RTS=0", "RTS=1"}));

    fake->setFailModemLines(true);
    port->setDTRPin(false);
    port->setRTSPin(false);
    EXPECT_EQ(dtr.count(), 1);
    EXPECT_EQ(rts.count(), 2);
    ASSERT_EQ(log.count(), 2);
    EXPECT_EQ(log.at(0).at(0).toString(), QStringLiteral("Could not set DTR"));
    EXPECT_EQ(log.at(1).at(0).toString(), QStringLiteral("Could not set RTS"));
}

TEST_F(SerialPortTest, BaudRateChange)
{
    bool ok = true;
    QSignalSpy state(port.get(), &FSerialPort::finishedOpenPort);
    QSignalSpy log(port.get(), &FSerialPort::log);

    // Closed: refused, nothing closed or reported.
    port->setNewBaudrate(19200, &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(state.count(), 0);
    EXPECT_EQ(log.count(), 0);

    openDefault(1200);
    state.clear();
    port->setNewBaudrate(19200, &ok);
    EXPECT_TRUE(ok);
    quint32 baud = 0;
    port->getCurrentBaudrate(&baud);
    EXPECT_EQ(baud, 19200u);
    EXPECT_EQ(fake->lineSettings().baudRate, 19200);
    EXPECT_EQ(fake->clearCount(), 1);
    ASSERT_EQ(log.count(), 1);
    EXPECT_EQ(log.at(0).at(0).toString(), QStringLiteral("Changed baudrate 19200"));
    EXPECT_EQ(state.count(), 0);

    // A stalled output does not hang the change.
    fake->setStalledOutput(10);
    QElapsedTimer clock;
    clock.start();
    port->setNewBaudrate(38400, &ok);
    EXPECT_TRUE(ok);
    EXPECT_TIME_BELOW(clock.elapsed(), 3000);
    EXPECT_GE(fake->waitForBytesWrittenCount(), 1);
    fake->setStalledOutput(0);

    // A refused rate closes the port.
    fake->setFailBaudRate(true);
    port->setNewBaudrate(57600, &ok);
    EXPECT_FALSE(ok);
    ASSERT_EQ(state.count(), 1);
    EXPECT_FALSE(state.at(0).at(0).toBool());
    EXPECT_EQ(log.last().at(0).toString(), QStringLiteral("Could not change baudrate"));
    EXPECT_FALSE(fake->isOpenNow());
    EXPECT_FALSE(port->isPortOpen());
}

TEST_F(SerialPortTest, BaudRateChangeThroughABlockingQueuedCallFromAnotherThread)
{
    QThread thread;
    thread.setObjectName(QStringLiteral("LinkSerialPortThread"));
    FSerialPort* raw = port.release();
    raw->moveToThread(&thread);
    QObject::connect(&thread, &QThread::finished, raw, &QObject::deleteLater);
    thread.start();

    QMetaObject::invokeMethod(raw, "openPort", Qt::BlockingQueuedConnection, Q_ARG(QString, "ttyFAKE0"),
                              Q_ARG(int, 1200), Q_ARG(FSerialPort::DataBits, FSerialPort::Data8),
                              Q_ARG(FSerialPort::Parity, FSerialPort::OddParity),
                              Q_ARG(FSerialPort::StopBits, FSerialPort::OneStop),
                              Q_ARG(FSerialPort::FlowControl, FSerialPort::NoFlowControl));
    bool ok = false;
    QMetaObject::invokeMethod(raw, "setNewBaudrate", Qt::BlockingQueuedConnection, Q_ARG(uint, 9600u),
                              Q_ARG(bool*, &ok));
    EXPECT_TRUE(ok);
    EXPECT_EQ(fake->lineSettings().baudRate, 9600);
    thread.quit();
    thread.wait();
}

TEST_F(SerialPortTest, CyclicTransmissionRepeatsUntilStopped)
{
    openDefault(115200);
    QSignalSpy logged(port.get(), &FSerialPort::putPortOutputToLog);
    port->writeDataToPortContinuously("PING", false, 5);
    ASSERT_TRUE(waitUntil([&] { return fake->writes().size() >= 3; }));
    port->writeDataToPortContinuously("PING", true, 5);
    const auto count = fake->writes().size();
    settle(30);
    EXPECT_EQ(fake->writes().size(), count);
    for (const QByteArray& chunk : fake->writes())
        EXPECT_EQ(chunk, QByteArray("PING"));
    ASSERT_GE(logged.count(), 3);
    EXPECT_EQ(logged.at(0).at(0).toByteArray(), QByteArray("PING"));
    EXPECT_TRUE(logged.at(0).at(1).toBool());

    // Closing also ends the cycle.
    port->writeDataToPortContinuously("PONG", false, 5);
    port->closePort();
    fake->clearWrites();
    settle(30);
    EXPECT_TRUE(fake->writes().isEmpty());
}

TEST_F(SerialPortTest, PortListReportsChangesButNotReordering)
{
    QSignalSpy ports(port.get(), &FSerialPort::availablePorts);
    auto scan = [&](const QStringList& names)
    {
        fake->setAvailablePortNames(names);
        port->getAvailablePorts();
        return ports.takeLast();
    };
    auto first = scan({"ttyS1", "ttyS0"});
    EXPECT_EQ(first.at(0).toStringList(), (QStringList{"ttyS1", "ttyS0"}));
    EXPECT_TRUE(first.at(1).toBool());
    EXPECT_FALSE(scan({"ttyS0", "ttyS1"}).at(1).toBool());
    EXPECT_FALSE(scan({"ttyS1", "ttyS0"}).at(1).toBool());
    auto swapped = scan({"ttyS0", "ttyUSB0"});
    EXPECT_TRUE(swapped.at(1).toBool());
    EXPECT_TRUE(scan({"ttyS0"}).at(1).toBool());
    EXPECT_TRUE(scan({}).at(1).toBool());
    // Nothing stored: every scan counts as a change, even an empty one.
    EXPECT_TRUE(scan({}).at(1).toBool());
}

// A pseudo-terminal stands in for a serial port without modem lines.
class PtyPortTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char name[256] = {};
        ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
        path = QString::fromLocal8Bit(name);
    }
    void TearDown() override
    {
        ::close(master);
        ::close(slave);
    }

    std::unique_ptr<FSerialPort> makePort(FQtSerialPortBackend::ModemLines lines)
    {
        auto port = std::make_unique<FSerialPort>(nullptr, [lines]
                                                  { return std::make_unique<FQtSerialPortBackend>(lines); });
        QSignalSpy opened(port.get(), &FSerialPort::finishedOpenPort);
        port->openPort(path, 115200, FSerialPort::Data8, FSerialPort::OddParity, FSerialPort::OneStop,
                       FSerialPort::NoFlowControl);
        EXPECT_TRUE(opened.count() == 1 && opened.at(0).at(0).toBool());
        return port;
    }

    int master = -1;
    int slave = -1;
    QString path;
};

TEST_F(PtyPortTest, MissingModemLinesAreToleratedOnlyWhenAskedFor)
{
    auto tolerant = makePort(FQtSerialPortBackend::ModemLines::TolerateMissing);
    QSignalSpy rts(tolerant.get(), &FSerialPort::rtsSet);
    QSignalSpy dtr(tolerant.get(), &FSerialPort::dtrSet);
    QSignalSpy errors(tolerant.get(), &FSerialPort::errorOccuredOnPort);
    tolerant->setRTSPin(true);
    tolerant->setDTRPin(false);
    EXPECT_EQ(rts.count(), 1);
    EXPECT_EQ(dtr.count(), 1);
    EXPECT_EQ(errors.count(), 0);
    tolerant->closePort();

    auto strict = makePort(FQtSerialPortBackend::ModemLines::Required);
    QSignalSpy strictRts(strict.get(), &FSerialPort::rtsSet);
    QSignalSpy log(strict.get(), &FSerialPort::log);
    strict->setRTSPin(true);
    EXPECT_EQ(strictRts.count(), 0);
    ASSERT_GE(log.count(), 1);
    EXPECT_EQ(log.last().at(0).toString(), QStringLiteral("Could not set RTS"));
}

} // namespace
