#include "link_test_support.h"

#include "protocol/VELTRIX_Frame.h"
#include "protocol/VELTRIX_LinkLayer.h"
#include "protocol/VELTRIX_RxStateMachine.h"
#include "protocol/VELTRIX_Session.h"
#include "protocol/VELTRIX_SessionInfo.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QThread>

#include <gtest/gtest.h>

using LinkTest::settle;
using LinkTest::waitUntil;

namespace
{

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(text);
}

// Worked example of the protocol: command 137 and its answer.
const QByteArray kRequest137 = hex("FFFFFFFFFF 82 0000000000 89 00 0B");
const QByteArray kResponse137 = hex("FFFFFFFFFF 86 5A00070000 89 02 0000 50");
const QByteArray kDelivered137 = hex("86 5A00070000 89 02 0000");
// Command 130 to 01 00 2A 00 00 (Address 0x0123, 16 bytes); checksum worked out by hand.
const QByteArray kRequest130Body = hex("82 01002A0000 82 03 0123 10");
const QByteArray kRequest130 = hex("FFFFFFFFFF 82 01002A0000 82 03 0123 10 1A");
// An answer to 135 from that device: version 1.2.
const QByteArray kResponse135 = hex("FFFFFFFFFF 86 01002A0000 87 04 0000 0102 2D");
const QByteArray kDelivered135 = hex("86 01002A0000 87 04 0000 0102");
const std::array<uchar, 5> kDevice = {0x01, 0x00, 0x2A, 0x00, 0x00};

struct InfoEvent
{
    VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR error;
    VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE state;
    bool running;
};

// One link layer on a fake port in the test thread's event loop.
class LinkHarness
{
public:
    explicit LinkHarness(VELTRIX_LinkLayer::Timing timing = {}, bool powerCycle = false, int baud = 115200)
    {
        link = std::make_unique<VELTRIX_LinkLayer>(nullptr, VELTRIX_Session::VELTRIX_HW_UART, timing,
                                                   LinkTest::fakeFactory(&fake));
        VELTRIX_Session::InterfaceSettings settings;
        VELTRIX_Session::getDefaultSettingsForInterface(&settings);
        settings.baudRate = baud;
        settings.powerCycle = powerCycle;
        settings.powerDownMs = 30;
        settings.startupMs = 20;
        settings.portName = QStringLiteral("ttyFAKE0");
        link->setInterfaceSettings(settings);
        fake->setEcho(true);
        QObject::connect(link.get(), &VELTRIX_LinkLayer::sessionNewInfo,
                         [this](VELTRIX_SessionInfo* info) {
                             infos.append({info->getError(), info->getState(), info->getSessionRunning()});
                         });
        QObject::connect(link.get(), &VELTRIX_LinkLayer::sessionDataRxBufferReady,
                         [this](const QByteArray& frame) { frames.append(frame); });
        emit link->portOpen(settings.portName, settings.baudRate, settings.dataBits, settings.parity,
                            settings.stopBits, settings.flowControl);
        EXPECT_TRUE(waitUntil([this] { return link->isPortOpen(); }));
        link->getSessionInfo()->setBaudrate(static_cast<uint>(baud));
    }

    ~LinkHarness()
    {
        // The fake dies with the port thread.
        fake = nullptr;
        link.reset();
    }

    void start(VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE type,
               VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND command, std::array<uchar, 5> address)
    {
        session.reset();
        session.setType(type);
        session.setAddress(address.data());
        session.setCommand(command);
        link->sessionStart(&session);
    }

    // Sends a request and waits until its write is complete.
    void send(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND command, QByteArray body)
    {
        QSignalSpy done(link.get(), &VELTRIX_LinkLayer::sessionDataTxDone);
        link->sessionDataTxSetBuffer(command, body);
        EXPECT_TRUE(done.wait(2000));
    }

    // Hands bytes to the link layer as one read of the port.
    void feed(const QByteArray& bytes)
    {
        QMetaObject::invokeMethod(link.get(), "portDataReady", Qt::DirectConnection,
                                  Q_ARG(QByteArray, bytes));
    }
    void feedBytewise(const QByteArray& bytes)
    {
        for (char c : bytes)
            feed(QByteArray(1, c));
    }

    QList<VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR> errors() const
    {
        QList<VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR> list;
        for (const auto& info : infos)
            if (info.error != VELTRIX_Session::VELTRIX_ENUM_SESSION_NO_ERROR)
                list.append(info.error);
        return list;
    }

    void clear()
    {
        infos.clear();
        frames.clear();
        fake->clearWrites();
    }

    FFakeSerialPortBackend* fake = nullptr;
    std::unique_ptr<VELTRIX_LinkLayer> link;
    VELTRIX_Session session;
    QList<InfoEvent> infos;
    QList<QByteArray> frames;
};

using Errors = QList<VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR>;

// --- framing ---

TEST(VeltrixFrame, RequestFor137IsFramedAsOnTheWire)
{
    QByteArray buffer = hex("82 0000000000 89 00");
    VELTRIX_Frame::addFraming(buffer);
    EXPECT_EQ(buffer.toHex(' '), kRequest137.toHex(' '));
    QByteArray request130 = kRequest130Body;
    VELTRIX_Frame::addFraming(request130);
    EXPECT_EQ(request130.toHex(' '), kRequest130.toHex(' '));
    EXPECT_EQ(VELTRIX_Frame::checksum(kDelivered137), 0x50);
    EXPECT_EQ(VELTRIX_Frame::checksum(QByteArray()), 0x00);
}

// --- sending and receiving through the link layer ---

TEST(VeltrixLink, SendsTheGoldenRequestAndDeliversTheGoldenAnswerHoweverItIsSplit)
{
    LinkHarness h;
    auto exchange = [&h](const std::function<void()>& deliver)
    {
        h.clear();
        h.start(VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_MASTER,
                VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_137, {});
        h.send(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_137, hex("82 0000000000 89 00"));
        EXPECT_EQ(h.fake->writtenBytes().toHex(' '), kRequest137.toHex(' '));
        deliver();
        EXPECT_EQ(h.errors(), Errors{});
        EXPECT_EQ(h.frames, QList<QByteArray>{kDelivered137});
        EXPECT_EQ(h.session.getState(), VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_SESSION_DATA_READY);
    };

    exchange([&] { h.feed(kResponse137); });
    exchange([&] { h.feedBytewise(kResponse137); });
    for (int cut = 1; cut < kResponse137.size(); ++cut)
    {
        SCOPED_TRACE(cut);
        exchange(
            [&]
            {
                h.feed(kResponse137.left(cut));
                h.feed(kResponse137.mid(cut));
            });
    }
}

TEST(VeltrixLink, AnswerArrivesThroughTheSerialPortWithItsEchoSwallowed)
{
    LinkHarness h;
    h.start(VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_MASTER,
            VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_135, kDevice);
    h.send(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_135, hex("82 01002A0000 87 00"));
    // Split over two reads of the port, echo already gone.
    h.fake->feedReceived(kResponse135.left(7));
    ASSERT_TRUE(waitUntil(
        [&] {
            return h.session.getState() == VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_RECIEVING_CHECK_ADRESS;
        }));
    h.fake->feedReceived(kResponse135.mid(7));
    ASSERT_TRUE(waitUntil([&] { return !h.frames.isEmpty(); }));
    EXPECT_EQ(h.frames.first().toHex(' '), kDelivered135.toHex(' '));
    EXPECT_EQ(h.errors(), Errors{});
}

TEST(VeltrixLink, StateRunsThroughTheReceiveStatesInOrder)
{
    LinkHarness h;
    h.start(VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_MASTER,
            VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_135, kDevice);
    h.send(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_135, hex("82 01002A0000 87 00"));
    h.infos.clear();
    h.feedBytewise(kResponse135);
    QList<int> states;
    for (const auto& info : h.infos)
        states.append(info.state);
    EXPECT_EQ(states, (QList<int>{4, 5, 6, 7, 8, 9, 10, 12}));
}

TEST(VeltrixLink, WithoutARunningSessionNothingIsReceivedOrSent)
{
    LinkHarness h;
    h.feed(kResponse137);
    h.start(VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_MASTER,
            VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_137, {});
    h.link->sessionStop();
    h.infos.clear();
    h.feed(kResponse137);
    EXPECT_TRUE(h.frames.isEmpty());
    EXPECT_TRUE(h.infos.isEmpty());
    EXPECT_EQ(h.session.getState(), VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_INACTIVE);

    // Nor does anything leave, not even a request handed over late.
    QByteArray late = hex("82 0000000000 89 00");
    h.link->sessionDataTxSetBuffer(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_137, late);
    settle(20);
    EXPECT_TRUE(h.fake->writes().isEmpty());
}

// --- errors and the recovery after them, byte by byte ---

class VeltrixLinkErrors : public ::testing::Test
{
protected:
    void SetUp() override
    {
        VELTRIX_LinkLayer::Timing timing;
        timing.responseTimeoutMs = 60;
        h = std::make_unique<LinkHarness>(timing);
    }

    void request(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND command =
                     VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_135)
    {
        h->start(VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_MASTER, command, kDevice);
        QByteArray body = hex("82 01002A0000 00 00");
        body[6] = static_cast<char>(command);
        h->send(command, body);
        h->clear();
    }

    std::unique_ptr<LinkHarness> h;
};

TEST_F(VeltrixLinkErrors, FivePreamblesSufficeFourAreTooFew)
{
    request();
    h->feedBytewise(kResponse135);
    EXPECT_EQ(h->frames.size(), 1);

    request();
    const QByteArray fourPreambles = kResponse135.mid(1);
    h->feedBytewise(fourPreambles);
    EXPECT_EQ(h->errors(), Errors{VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_TOO_FEW_PREAMBELS});
    EXPECT_TRUE(h->frames.isEmpty());
    EXPECT_EQ(h->session.getState(), VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_RECIEVING_COUNT_PREAMBELS);
    // The count is kept: the next frame's preambles add to it and it goes through.
    h->feedBytewise(kResponse135);
    EXPECT_EQ(h->frames, QList<QByteArray>{kDelivered135});
}

TEST_F(VeltrixLinkErrors, TwentyTwoPreamblesRaiseTooManyTwiceAndTheFrameStillArrives)
{
    request();
    const QByteArray twenty(20, '\xFF');
    h->feedBytewise(twenty + kResponse135.mid(5));
    EXPECT_EQ(h->errors(), Errors{});
    EXPECT_EQ(h->frames.size(), 1);

    request();
    h->feedBytewise(QByteArray(22, '\xFF') + kResponse135.mid(5));
    EXPECT_EQ(h->errors(), (Errors{VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_TOO_MANY_PREAMBELS,
                                   VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_TOO_MANY_PREAMBELS}));
    EXPECT_EQ(h->frames, QList<QByteArray>{kDelivered135});
}

TEST_F(VeltrixLinkErrors, NoiseBeforeAndBetweenPreamblesIsIgnored)
{
    request();
    // Bytes before the first preamble, our own delimiter and noise among the
    // preambles neither count nor reset the count.
    h->feedBytewise(hex("00 13 86 FFFF 82 FF 55 FF FF") + kResponse135.mid(5));
    EXPECT_EQ(h->errors(), Errors{});
    EXPECT_EQ(h->frames, QList<QByteArray>{kDelivered135});

    // A whole frame with the master's own delimiter is not an answer.
    request();
    h->feedBytewise(kRequest130 + kResponse135);
    EXPECT_EQ(h->frames, QList<QByteArray>{kDelivered135});
}

TEST_F(VeltrixLinkErrors, WrongAddressDiscardsTheRestUntilTheTimeout)
{
    request();
    QByteArray other = kResponse135;
    other[8] = 0x2B;
    h->feedBytewise(other);
    EXPECT_EQ(h->errors(), Errors{VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_WRONG_ADDRESS});
    // Even a complete good frame is not looked at now.
    h->feedBytewise(kResponse135);
    EXPECT_TRUE(h->frames.isEmpty());
    ASSERT_TRUE(waitUntil([&] { return h->errors().size() == 2; }));
    EXPECT_EQ(h->errors().last(), VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_TIMEOUT);
    // After the timeout the next frame is hunted afresh.
    h->feedBytewise(kResponse135);
    EXPECT_EQ(h->frames, QList<QByteArray>{kDelivered135});

    // Except for 137, whose answer tells the master the address.
    request(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_137);
    h->feedBytewise(kResponse137);
    EXPECT_EQ(h->errors(), Errors{});
    EXPECT_EQ(h->frames, QList<QByteArray>{kDelivered137});
}

TEST_F(VeltrixLinkErrors, WrongCommandIsReportedButTheFrameIsDelivered)
{
    request(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_136);
    h->feedBytewise(kResponse135);
    EXPECT_EQ(h->errors(), Errors{VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_WRONG_COMMAND});
    EXPECT_EQ(h->frames, QList<QByteArray>{kDelivered135});
}

TEST_F(VeltrixLinkErrors, WrongChecksumWaitsForAMatchingByte)
{
    request();
    QByteArray bad = kResponse135;
    bad[bad.size() - 1] = 0x2C;
    h->feedBytewise(bad);
    EXPECT_EQ(h->errors(), Errors{VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_WRONG_CHECKSUM});
    EXPECT_EQ(h->session.getState(), VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_RECIEVING_READ_PAYLOAD);
    h->feedBytewise(hex("00 2D"));
    EXPECT_EQ(h->errors().size(), 2);
    EXPECT_EQ(h->frames, QList<QByteArray>{kDelivered135});
}

TEST_F(VeltrixLinkErrors, StatusBytesOnlyGoStraightToTheChecksum)
{
    request(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_132);
    // 86 01 00 2A 00 00 84 02 00 00, checksum 0x2B by hand.
    h->feedBytewise(hex("FFFFFFFFFF 86 01002A0000 84 02 0000 2B"));
    EXPECT_EQ(h->errors(), Errors{});
    EXPECT_EQ(h->frames, QList<QByteArray>{hex("86 01002A0000 84 02 0000")});
}

TEST_F(VeltrixLinkErrors, ByteCountsThatCannotFitAreRejectedAtOnce)
{
    // Below 2 leaves no room for the status bytes.
    for (uchar count : {0x00, 0x01, 0xF8, 0xFF})
    {
        SCOPED_TRACE(count);
        request();
        QByteArray frame = hex("FFFFFFFFFF 86 01002A0000 87");
        frame.append(static_cast<char>(count));
        h->feedBytewise(frame);
        EXPECT_EQ(h->errors(), Errors{VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_NO_DATA_IN_SESSION});
        // The rest of the long frame is line noise, never a delivered frame.
        h->feedBytewise(QByteArray(300, '\x00'));
        EXPECT_TRUE(h->frames.isEmpty());
    }
}

TEST_F(VeltrixLinkErrors, LongestFrameThatFitsIsDelivered)
{
    request(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130);
    QByteArray body = hex("86 01002A0000 82 F7 0000");
    body.append(QByteArray(245, '\x5A'));
    QByteArray frame = QByteArray(5, '\xFF') + body;
    frame.append(static_cast<char>(VELTRIX_Frame::checksum(body)));
    h->feed(frame);
    EXPECT_EQ(h->errors(), Errors{});
    ASSERT_EQ(h->frames.size(), 1);
    EXPECT_EQ(h->frames.first().size(), 255);
}

TEST_F(VeltrixLinkErrors, OneErrorGivesExactlyOneReportThenTheCodeReadsZero)
{
    request();
    const auto before = h->link->getSessionInfo()->getErroneousSessionCount();
    QByteArray bad = kResponse135;
    bad[bad.size() - 1] = 0x00;
    h->feedBytewise(bad);
    EXPECT_EQ(h->errors(), Errors{VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_WRONG_CHECKSUM});
    EXPECT_EQ(h->link->getSessionInfo()->getError(), VELTRIX_Session::VELTRIX_ENUM_SESSION_NO_ERROR);
    EXPECT_EQ(h->session.getError(), VELTRIX_Session::VELTRIX_ENUM_SESSION_NO_ERROR);
    EXPECT_EQ(h->link->getSessionInfo()->getErroneousSessionCount(), before + 1);
    // A new session clears the count.
    request();
    EXPECT_EQ(h->link->getSessionInfo()->getErroneousSessionCount(), 0u);
}

TEST_F(VeltrixLinkErrors, SerialPortErrorsAreMapped)
{
    using E = QSerialPort::SerialPortError;
    const std::pair<E, VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR> table[] = {
        {QSerialPort::NoError, VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_UNKNOWN},
        {QSerialPort::DeviceNotFoundError, VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_CANT_OPEN_COMPORT},
        {QSerialPort::PermissionError, VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_CANT_OPEN_COMPORT},
        {QSerialPort::OpenError, VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_CANT_OPEN_COMPORT},
        {QSerialPort::WriteError, VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_COMPORT},
        {QSerialPort::ReadError, VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_COMPORT},
        {QSerialPort::ResourceError, VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_COMPORT},
        {QSerialPort::UnsupportedOperationError, VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_COMPORT},
        {QSerialPort::UnknownError, VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_UNKNOWN},
        {QSerialPort::TimeoutError, VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_TIMEOUT},
        {QSerialPort::NotOpenError, VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_CANT_OPEN_COMPORT},
        {static_cast<E>(13), VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_UNKNOWN},
    };
    for (const auto& [serial, session] : table)
        EXPECT_EQ(VELTRIX_LinkLayer::mapSerialPortError(serial), session) << serial;

    // A short write on the line arrives as a port error.
    h->fake->setWriteLimit(2);
    h->start(VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_MASTER,
             VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_137, {});
    QByteArray body = hex("82 0000000000 89 00");
    h->link->sessionDataTxSetBuffer(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_137, body);
    ASSERT_TRUE(waitUntil([&] { return !h->errors().isEmpty(); }));
    EXPECT_EQ(h->errors(), Errors{VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_COMPORT});
}

// --- timing ---

TEST(VeltrixLinkTiming, SilenceTimeoutDependsOnTheSubDeviceAddress)
{
    VELTRIX_LinkLayer::Timing timing;
    EXPECT_EQ(timing.responseTimeoutMs, 300);
    EXPECT_EQ(timing.responseTimeoutSubDeviceMs, 600);
    timing.responseTimeoutMs = 80;
    timing.responseTimeoutSubDeviceMs = 250;
    LinkHarness h(timing);
    h.start(VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_MASTER,
            VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_135, kDevice);
    EXPECT_EQ(h.link->getResponseTimeoutMs(), 80);
    h.start(VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_MASTER,
            VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_135, {1, 0, 0x2A, 0, 3});
    EXPECT_EQ(h.link->getResponseTimeoutMs(), 250);

    // The same gap in the answer is fine for the sub device, fatal for the device.
    h.send(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_135, hex("82 01002A0003 87 00"));
    h.clear();
    const QByteArray toSub = hex("FFFFFFFFFF 86 01002A0003 87 04 0000 0102 2E");
    h.feed(toSub.left(8));
    settle(140);
    h.feed(toSub.mid(8));
    EXPECT_EQ(h.errors(), Errors{});
    EXPECT_EQ(h.frames.size(), 1);

    h.start(VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_MASTER,
            VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_135, kDevice);
    h.send(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_135, hex("82 01002A0000 87 00"));
    h.clear();
    QElapsedTimer clock;
    clock.start();
    h.feed(kResponse135.left(8));
    ASSERT_TRUE(waitUntil([&] { return !h.errors().isEmpty(); }));
    EXPECT_GE(clock.elapsed(), 75);
    EXPECT_EQ(h.errors(), Errors{VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_TIMEOUT});
    h.feed(kResponse135.mid(8));
    EXPECT_TRUE(h.frames.isEmpty());
}

TEST(VeltrixLinkTiming, NoAnswerAtAllTimesOutAfterTheWrite)
{
    VELTRIX_LinkLayer::Timing timing;
    timing.responseTimeoutMs = 50;
    LinkHarness h(timing);
    h.start(VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_MASTER,
            VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_137, {});
    h.send(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_137, hex("82 0000000000 89 00"));
    h.clear();
    ASSERT_TRUE(waitUntil([&] { return !h.errors().isEmpty(); }));
    EXPECT_EQ(h.errors(), Errors{VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_TIMEOUT});
    // Stopping ends the wait for good.
    h.start(VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_MASTER,
            VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_137, {});
    h.send(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_137, hex("82 0000000000 89 00"));
    h.link->sessionStop();
    h.clear();
    settle(120);
    EXPECT_EQ(h.errors(), Errors{});
}

TEST(VeltrixLinkTiming, BurstAcknowledgeDelayFollowsTheBaudRate)
{
    const VELTRIX_LinkLayer::Timing timing;
    EXPECT_EQ(VELTRIX_LinkLayer::burstAckDelayMs(1200, timing), 10);
    EXPECT_EQ(VELTRIX_LinkLayer::burstAckDelayMs(4800, timing), 10);
    EXPECT_EQ(VELTRIX_LinkLayer::burstAckDelayMs(9600, timing), 1);
    EXPECT_EQ(VELTRIX_LinkLayer::burstAckDelayMs(19200, timing), 1);
    EXPECT_EQ(VELTRIX_LinkLayer::burstAckDelayMs(38400, timing), 1);
    EXPECT_EQ(VELTRIX_LinkLayer::burstAckDelayMs(57600, timing), -1);
}

TEST(VeltrixLinkTiming, MasterAcknowledgesBurstFramesAfterTheDelay)
{
    VELTRIX_LinkLayer::Timing timing;
    timing.burstAckDelayUpTo4800Ms = 60;
    for (uint baud : {4800u, 57600u})
    {
        SCOPED_TRACE(baud);
        LinkHarness h(timing, false, static_cast<int>(baud));
        h.start(VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_MASTER,
                VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_142, kDevice);
        h.link->sessionBurstModeSetActivate();
        h.clear();
        // 86 01 00 2A 00 00 8B 03 00 00 00: a burst frame without variables.
        h.feed(hex("FFFFFFFFFF 86 01002A0000 8B 03 0000 00 25"));
        ASSERT_EQ(h.frames.size(), 1);
        EXPECT_EQ(h.session.getState(), VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_INACTIVE);
        QSignalSpy acknowledge(h.link.get(), &VELTRIX_LinkLayer::portWriteData);
        QElapsedTimer clock;
        clock.start();
        h.link->sessionBurstModeSetAcknowledge();
        EXPECT_EQ(acknowledge.count(), baud > 38400 ? 1 : 0);
        ASSERT_TRUE(waitUntil([&] { return acknowledge.count() == 1; }));
        EXPECT_EQ(acknowledge.at(0).at(0).toByteArray(), QByteArray(1, '\x0F'));
        if (baud <= 4800)
        {
            EXPECT_GE(clock.elapsed(), 55);
        }
        ASSERT_TRUE(waitUntil([&] { return h.fake->writtenBytes() == QByteArray(1, '\x0F'); }));
        // The completed write of the acknowledge closes the latency measurement.
        ASSERT_TRUE(waitUntil([&] { return h.link->getSessionInfo()->getBurstRoundTripLatencyNs() > 0; }));
    }
}

TEST(VeltrixLinkTiming, BurstWatchdogEndsASilentBurst)
{
    VELTRIX_LinkLayer::Timing timing;
    timing.burstWatchdogMs = 60;
    LinkHarness h(timing);
    QSignalSpy ended(h.link.get(), &VELTRIX_LinkLayer::sessionBurstModeDeactive);
    h.start(VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_MASTER,
            VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_142, kDevice);
    h.link->sessionBurstModeSetActivate();
    EXPECT_TRUE(h.link->getSessionInfo()->getBurstModeActive());
    ASSERT_TRUE(waitUntil([&] { return !h.errors().isEmpty(); }));
    EXPECT_EQ(h.errors(), Errors{VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_TIMEOUT_BURSTMODE});
    EXPECT_FALSE(h.link->getSessionInfo()->getBurstModeActive());
    EXPECT_GE(ended.count(), 1);
}

// --- burst mode between two link layers on one line ---

TEST(VeltrixLinkBurst, SlaveSendsBurstFramesAndTheMasterAcknowledgesEach)
{
    VELTRIX_LinkLayer::Timing timing;
    timing.burstFirstFrameDelayMs = 20;
    LinkHarness master(timing, false, 57600);
    LinkHarness slave(timing, false, 57600);
    FFakeSerialPortBackend::connectLine(master.fake, slave.fake);
    const QByteArray burstBody = hex("86 01002A0000 8B 03 0000 00");
    int fetched = 0;
    QObject::connect(slave.link.get(), &VELTRIX_LinkLayer::sessionDataFetchTxBufferForBurst,
                     [&](QByteArray& buffer)
                     {
                         ++fetched;
                         buffer = burstBody;
                     });
    QObject::connect(master.link.get(), &VELTRIX_LinkLayer::sessionDataRxBufferReady, master.link.get(),
                     &VELTRIX_LinkLayer::sessionBurstModeSetAcknowledge);

    master.start(VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_MASTER,
                 VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_142, kDevice);
    master.link->sessionBurstModeSetActivate();
    slave.start(VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_SLAVE,
                VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_142, kDevice);
    slave.link->sessionBurstModeSetActivate();

    ASSERT_TRUE(waitUntil([&] { return master.frames.size() >= 5; }, 5000));
    EXPECT_EQ(master.frames.first(), burstBody);
    EXPECT_EQ(master.errors(), Errors{});
    EXPECT_EQ(slave.errors(), Errors{});
    EXPECT_GE(fetched, 5);
    EXPECT_GT(slave.link->getSessionInfo()->getBurstRoundTripLatencyNs(), 0u);

    // A stop on the slave side ends the stream.
    slave.link->sessionStop();
    settle(30);
    const auto count = master.frames.size();
    settle(60);
    EXPECT_LE(master.frames.size(), count + 1);
}

TEST(VeltrixLinkBurst, SlaveRejectsAnythingButTheAcknowledge)
{
    VELTRIX_LinkLayer::Timing timing;
    timing.burstFirstFrameDelayMs = 5;
    LinkHarness slave(timing);
    QObject::connect(slave.link.get(), &VELTRIX_LinkLayer::sessionDataFetchTxBufferForBurst,
                     [&](QByteArray& buffer) { buffer = hex("86 01002A0000 8B 03 0000 00"); });
    slave.start(VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_SLAVE,
                VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_142, kDevice);
    slave.link->sessionBurstModeSetActivate();
    ASSERT_TRUE(waitUntil(
        [&]
        {
            return slave.session.getState() ==
                   VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_RECIEVING_WAIT_FOR_BURST_ACK;
        }));
    slave.feed(hex("0E"));
    EXPECT_EQ(slave.errors(), Errors{VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_BURST_ACK});
    EXPECT_FALSE(slave.link->getSessionInfo()->getBurstModeActive());
    const auto written = slave.fake->writes().size();
    settle(30);
    EXPECT_EQ(slave.fake->writes().size(), written);
}

// --- slave reception ---

TEST(VeltrixLinkSlave, SlaveTakesRequestsToItsAddressAndBroadcastsOnlyFor137)
{
    LinkHarness slave;
    slave.start(VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_SLAVE,
                VELTRIX_Session::VELTRIX_ENUM_SESSION_NO_COMMAND, kDevice);
    slave.feedBytewise(kRequest130);
    ASSERT_EQ(slave.frames.size(), 1);
    EXPECT_EQ(slave.frames.first(), kRequest130Body);
    EXPECT_EQ(slave.session.getCommand(), VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130);

    // The answer goes out, then the next request is hunted.
    slave.send(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130, hex("86 01002A0000 82 02 0000"));
    slave.clear();
    // 82 00 00 00 00 00 87 00: a broadcast that is not 137.
    slave.feedBytewise(hex("FFFFFFFFFF 82 0000000000 87 00 05"));
    EXPECT_EQ(slave.errors(), Errors{VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_WRONG_COMMAND});

    slave.send(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_135, hex("86 01002A0000 87 02 0000"));
    slave.clear();
    // A request for another device.
    slave.feedBytewise(hex("FFFFFFFFFF 82 0100070000 87 00 03"));
    EXPECT_EQ(slave.errors(), Errors{VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_WRONG_ADDRESS});
    EXPECT_TRUE(slave.frames.isEmpty());

    slave.start(VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_SLAVE,
                VELTRIX_Session::VELTRIX_ENUM_SESSION_NO_COMMAND, kDevice);
    slave.clear();
    slave.feedBytewise(kRequest137);
    EXPECT_EQ(slave.errors(), Errors{});
    EXPECT_EQ(slave.frames, QList<QByteArray>{hex("82 0000000000 89 00")});
}

// A broadcast cut off after its address must not make the next request,
// taken without an address check (the record's command is 137, as after
// every answer of the simulated sensor), look like a broadcast too.
TEST(VeltrixLinkSlave, AnInterruptedBroadcastLeavesNothingForTheNextRequest)
{
    LinkHarness slave;
    slave.start(VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_SLAVE,
                VELTRIX_Session::VELTRIX_ENUM_SESSION_NO_COMMAND, kDevice);
    slave.feedBytewise(hex("FFFFFFFFFF 82 0000000000"));

    slave.start(VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_SLAVE,
                VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_137, kDevice);
    slave.clear();
    slave.feedBytewise(kRequest130);
    EXPECT_EQ(slave.errors(), Errors{});
    EXPECT_EQ(slave.frames, QList<QByteArray>{kRequest130Body});
    EXPECT_EQ(slave.session.getCommand(), VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130);
}

// --- adapter lines and power cycle ---

TEST(VeltrixLinkAdapter, PowerCycleSwitchesTheAdapterOffAndOnAndWakesTheDevice)
{
    LinkHarness h({}, true);
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(waitUntil([&] { return !h.fake->writes().isEmpty(); }));
    EXPECT_GE(clock.elapsed(), 40);
    EXPECT_EQ(h.fake->writes(), QList<QByteArray>{QByteArray("VELT")});
    EXPECT_EQ(h.fake->modemLineHistory(), (QStringList{"DTR=0", "RTS=1", "DTR=1", "RTS=0"}));
    // The echo of the token and any answer are dropped: no session runs.
    h.fake->feedReceived(kResponse137);
    settle(20);
    EXPECT_TRUE(h.frames.isEmpty());
    EXPECT_EQ(h.errors(), Errors{});
}

TEST(VeltrixLinkAdapter, PowerCycleCarriesOnWhenTheLinesAreNotConfirmed)
{
    VELTRIX_LinkLayer::Timing timing;
    timing.rtsConfirmTimeoutMs = 30;
    FFakeSerialPortBackend* fake = nullptr;
    VELTRIX_LinkLayer link(nullptr, VELTRIX_Session::VELTRIX_HW_UART, timing, LinkTest::fakeFactory(&fake));
    fake->setFailModemLines(true);
    VELTRIX_Session::InterfaceSettings settings;
    settings.powerDownMs = 10;
    settings.startupMs = 10;
    link.setInterfaceSettings(settings);
    QElapsedTimer clock;
    clock.start();
    emit link.portOpen("ttyFAKE0", 1200, FSerialPort::Data8, FSerialPort::OddParity, FSerialPort::OneStop,
                       FSerialPort::NoFlowControl);
    ASSERT_TRUE(waitUntil([&] { return !fake->writes().isEmpty(); }));
    EXPECT_GE(clock.elapsed(), 75);
    EXPECT_EQ(fake->writes().first(), QByteArray("VELT"));
}

// A close and a reopen inside the cycle time: the first cycle stops where it
// is, only the second one switches the adapter on and wakes the device once.
// Destruction in the middle of two cycles waits for neither to finish and
// leaves nothing behind that could touch the destroyed link layer.
TEST(VeltrixLinkAdapter, OnePowerCycleAtATimeAndNoneOutlivesTheLinkLayer)
{
    VELTRIX_Session::InterfaceSettings settings;
    settings.powerDownMs = 150;
    settings.startupMs = 100;
    settings.portName = QStringLiteral("ttyFAKE0");
    const auto open = [&](VELTRIX_LinkLayer& link)
    {
        emit link.portOpen(settings.portName, 1200, FSerialPort::Data8, FSerialPort::OddParity,
                           FSerialPort::OneStop, FSerialPort::NoFlowControl);
        return waitUntil([&] { return link.isPortOpen(); });
    };
    {
        FFakeSerialPortBackend* fake = nullptr;
        VELTRIX_LinkLayer link(nullptr, VELTRIX_Session::VELTRIX_HW_UART, {}, LinkTest::fakeFactory(&fake));
        link.setInterfaceSettings(settings);
        ASSERT_TRUE(open(link));
        ASSERT_TRUE(waitUntil([&] { return fake->modemLineHistory().size() == 2; }));
        emit link.portClose();
        ASSERT_TRUE(waitUntil([&] { return !link.isPortOpen(); }));
        ASSERT_TRUE(open(link));
        ASSERT_TRUE(waitUntil([&] { return !fake->writes().isEmpty(); }));
        settle(400);
        EXPECT_EQ(fake->writes(), QList<QByteArray>{QByteArray("VELT")});
        EXPECT_EQ(fake->modemLineHistory(),
                  (QStringList{"DTR=0", "RTS=1", "DTR=0", "RTS=1", "DTR=1", "RTS=0"}));
    }
    QElapsedTimer clock;
    {
        FFakeSerialPortBackend* fake = nullptr;
        VELTRIX_LinkLayer link(nullptr, VELTRIX_Session::VELTRIX_HW_UART, {}, LinkTest::fakeFactory(&fake));
        link.setInterfaceSettings(settings);
        ASSERT_TRUE(open(link));
        emit link.portClose();
        ASSERT_TRUE(waitUntil([&] { return !link.isPortOpen(); }));
        ASSERT_TRUE(open(link));
        clock.start();
    }
    EXPECT_TIME_BELOW(clock.elapsed(), 150);
    // Long enough for a forgotten cycle to reach its wake-up.
    settle(300);
}

// A request asked for while the adapter is still switched off (the sequence's
// start delay ran out first on a busy machine) waits for the cycle and goes
// out after the wake-up token; a close drops it.
TEST(VeltrixLinkAdapter, ARequestDuringThePowerCycleWaitsForTheWakeUp)
{
    VELTRIX_Session::InterfaceSettings settings;
    settings.powerDownMs = 150;
    settings.startupMs = 100;
    settings.portName = QStringLiteral("ttyFAKE0");
    FFakeSerialPortBackend* fake = nullptr;
    VELTRIX_LinkLayer link(nullptr, VELTRIX_Session::VELTRIX_HW_UART, {}, LinkTest::fakeFactory(&fake));
    link.setInterfaceSettings(settings);
    VELTRIX_Session session;
    QSignalSpy sent(&link, &VELTRIX_LinkLayer::sessionDataTxDone);
    const auto request = [&]
    {
        emit link.portOpen(settings.portName, 1200, FSerialPort::Data8, FSerialPort::OddParity,
                           FSerialPort::OneStop, FSerialPort::NoFlowControl);
        EXPECT_TRUE(waitUntil([&] { return link.isPortOpen(); }));
        session.reset();
        session.setType(VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_MASTER);
        session.setCommand(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_137);
        link.sessionStart(&session);
        QByteArray body = hex("82 0000000000 89 00");
        link.sessionDataTxSetBuffer(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_137, body);
    };
    request();
    settle(50);
    EXPECT_TRUE(fake->writes().isEmpty());
    ASSERT_TRUE(waitUntil([&] { return fake->writes().size() >= 2; }));
    EXPECT_EQ(fake->writes(), (QList<QByteArray>{QByteArray("VELT"), kRequest137}));
    // Only the request's own write starts the wait for its answer.
    ASSERT_TRUE(waitUntil([&] { return sent.count() >= 1; }));
    settle(50);
    EXPECT_EQ(sent.count(), 1);

    link.sessionStop();
    emit link.portClose();
    ASSERT_TRUE(waitUntil([&] { return !link.isPortOpen(); }));
    fake->clearWrites();
    request();
    emit link.portClose();
    ASSERT_TRUE(waitUntil([&] { return !link.isPortOpen(); }));
    settle(400);
    EXPECT_TRUE(fake->writes().isEmpty());
}

TEST(VeltrixLinkAdapter, WithoutPowerCycleAMasterSetsCommunicationLevels)
{
    FFakeSerialPortBackend* fake = nullptr;
    VELTRIX_LinkLayer link(nullptr, VELTRIX_Session::VELTRIX_HW_UART, {}, LinkTest::fakeFactory(&fake));
    VELTRIX_Session::InterfaceSettings settings;
    settings.powerCycle = false;
    settings.dtrCommunication = false;
    settings.rtsCommunication = true;
    link.setInterfaceSettings(settings);
    VELTRIX_Session session;
    session.setType(VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_MASTER);
    link.sessionStart(&session);
    emit link.portOpen("ttyFAKE0", 1200, FSerialPort::Data8, FSerialPort::OddParity, FSerialPort::OneStop,
                       FSerialPort::NoFlowControl);
    ASSERT_TRUE(waitUntil([&] { return fake->modemLineHistory().size() == 2; }));
    EXPECT_EQ(fake->modemLineHistory(), (QStringList{"DTR=0", "RTS=1"}));
    settle(20);
    EXPECT_TRUE(fake->writes().isEmpty());
}

TEST(VeltrixLinkAdapter, BaudRateChangeBlocksUntilThePortAnswers)
{
    LinkHarness h;
    bool ok = false;
    h.infos.clear();
    h.link->sessionBaudrateSetNew(19200, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(h.fake->lineSettings().baudRate, 19200);
    EXPECT_EQ(h.link->getSessionInfo()->getBaudrate(), 19200u);
    EXPECT_EQ(h.infos.size(), 1);

    h.fake->setFailBaudRate(true);
    h.link->sessionBaudrateSetNew(38400, &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(h.link->getSessionInfo()->getBaudrate(), 19200u);
    ASSERT_TRUE(waitUntil([&] { return !h.link->isPortOpen(); }));
}

// --- random input ---

// Checks what every delivered frame must satisfy, whatever came before it.
void expectWellFormed(const QByteArray& frame, bool master)
{
    ASSERT_GE(frame.size(), 8);
    ASSERT_LE(frame.size(), VELTRIX_Frame::iRxBufferSize);
    EXPECT_EQ(static_cast<uchar>(frame[0]), master ? 0x86 : 0x82);
    const int count = static_cast<uchar>(frame[7]);
    EXPECT_EQ(frame.size(), 8 + count);
    if (master)
    {
        EXPECT_GE(count, 2);
    }
}

TEST(VeltrixRxFuzz, RandomBytesNeverBreakTheMachine)
{
    auto* random = QRandomGenerator::global();
    for (auto type :
         {VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_MASTER, VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_SLAVE,
          VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_BURST})
    {
        VELTRIX_RxStateMachine machine;
        VELTRIX_RxStateMachine::SessionView view;
        view.type = type;
        view.command = 135;
        view.address = kDevice;
        auto state = VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_INACTIVE;
        int frames = 0;
        for (int i = 0; i < 400000; ++i)
        {
            // Biased towards the bytes that drive the machine.
            const quint32 pick = random->bounded(16);
            uchar byte = static_cast<uchar>(random->bounded(256));
            if (pick < 5)
                byte = 0xFF;
            else if (pick == 5)
                byte = random->bounded(2) ? 0x86 : 0x82;
            else if (pick == 6)
                byte = static_cast<uchar>(random->bounded(256) < 128 ? random->bounded(8)
                                                                     : 0xF0 + random->bounded(16));
            if (random->bounded(2000) == 0)
                machine.requestRestart();
            view.burstActive = random->bounded(50) == 0 ? !view.burstActive : view.burstActive;
            const auto step = machine.feed(byte, state, view);
            if (step.event == VELTRIX_RxStateMachine::Event::Ignored)
            {
                // Leave a finished frame behind now and then, as a new request would.
                if (random->bounded(20) == 0)
                    state = VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_INACTIVE;
                continue;
            }
            state = step.state;
            ASSERT_LE(machine.frameSize(), VELTRIX_Frame::iRxBufferSize);
            if (step.event == VELTRIX_RxStateMachine::Event::FrameReady)
            {
                ++frames;
                const QByteArray frame(reinterpret_cast<const char*>(machine.frameData()),
                                       machine.frameSize());
                expectWellFormed(frame, type != VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_SLAVE);
                EXPECT_EQ(VELTRIX_Frame::checksum(frame), byte);
                state = VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_INACTIVE;
            }
        }
        if (type == VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_BURST)
        {
            EXPECT_EQ(frames, 0);
        }
    }
}

TEST(VeltrixRxFuzz, RandomChunksThroughBothReceivePaths)
{
    const quint32 seed = QRandomGenerator::global()->generate();
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    QRandomGenerator generator(seed);
    auto* random = &generator;
    // A short silence timeout: noise that leaves a frame half-read (a wrong
    // address is discarded up to the next silence) ends before a good frame.
    VELTRIX_LinkLayer::Timing timing;
    timing.responseTimeoutMs = 2;
    timing.responseTimeoutSubDeviceMs = 2;
    for (auto type : {VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_MASTER,
                      VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_SLAVE})
    {
        SCOPED_TRACE(testing::Message() << "session type " << type);
        LinkHarness h(timing);
        h.start(type, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_135, kDevice);
        int goodFrames = 0;
        for (int round = 0; round < 1500; ++round)
        {
            QByteArray chunk;
            const int length = static_cast<int>(random->bounded(64));
            for (int i = 0; i < length; ++i)
            {
                const quint32 pick = random->bounded(8);
                chunk.append(static_cast<char>(pick < 3    ? 0xFF
                                               : pick == 3 ? 0x86
                                               : pick == 4 ? 0x82
                                                           : random->bounded(256)));
            }
            h.feed(chunk);
            // Now and then a good frame after a pause on the line: it must
            // get through whatever the noise left behind.
            if (random->bounded(10) == 0)
            {
                if (h.session.getState() == VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_SESSION_DATA_READY)
                    h.start(type, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_135, kDevice);
                // qWait handles events before it sleeps, not after: a timer
                // due during the pause would not fire.
                QThread::msleep(4);
                QCoreApplication::processEvents();
                const auto before = h.frames.size();
                h.feed(type == VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_MASTER ? kResponse135
                                                                                 : kRequest130);
                ASSERT_EQ(h.frames.size(), before + 1)
                    << "good frame " << goodFrames << " in round " << round;
                ++goodFrames;
            }
            if (h.session.getState() == VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_SESSION_DATA_READY ||
                random->bounded(30) == 0)
                h.start(type, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_135, kDevice);
        }
        for (const QByteArray& frame : h.frames)
            expectWellFormed(frame, type == VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_MASTER);
        EXPECT_GT(goodFrames, 0);
    }
}

} // namespace
