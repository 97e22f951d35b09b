#include "link_test_support.h"

#include "protocol/VELTRIX.h"
#include "protocol/VELTRIX_MASTER_AppLayer.h"
#include "protocol/VELTRIX_SLAVE_AppLayer.h"
#include "protocol/serial/FQtSerialPortBackend.h"

#include <QSignalSpy>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

using LinkTest::settle;
using LinkTest::setValues;
using LinkTest::waitUntil;

namespace
{

const std::array<uchar, 5> kDevice = {0x5A, 0x00, 0x07, 0x00, 0x00};

VELTRIX_Session::InterfaceSettings fakeSettings()
{
    VELTRIX_Session::InterfaceSettings settings;
    VELTRIX_Session::getDefaultSettingsForInterface(&settings);
    settings.portName = QStringLiteral("ttyFAKE0");
    settings.baudRate = 115200;
    settings.powerCycle = false;
    return settings;
}

// A facade on a fake port whose responses the test plays by hand.
struct FakeFacade
{
    FakeFacade()
    {
        VELTRIX_Options options;
        options.timing.link.responseTimeoutMs = 60;
        options.timing.requestDelayMs = 10;
        options.timing.portScanIntervalMs = 10;
        options.backendFactory = LinkTest::fakeFactory(&fake);
        options.portLister = [this] { return ports; };
        facade = std::make_unique<VELTRIX>(nullptr, VELTRIX_Session::VELTRIX_HW_UART, options);
        fake->setEcho(true);
    }

    void open()
    {
        QSignalSpy state(facade.get(), &VELTRIX::portNewState);
        facade->portOpen(true, fakeSettings());
        ASSERT_TRUE(state.wait(2000));
        ASSERT_TRUE(state.at(0).at(0).toBool());
    }

    FFakeSerialPortBackend* fake = nullptr;
    QStringList ports;
    std::unique_ptr<VELTRIX> facade;
};

TEST(VeltrixFacade, VersionInformationIsAppended)
{
    FakeFacade f;
    QStringList info{"x"};
    f.facade->versionGetInformation(&info);
    EXPECT_EQ(info, (QStringList{"x", "1.00", "230821"}));
    f.facade->versionGetInformation(nullptr);
}

TEST(VeltrixFacade, PortScanReportsOnlyChangedPortSets)
{
    FakeFacade f;
    QSignalSpy reported(f.facade.get(), &VELTRIX::portNewPorts);
    f.facade->enablePortScan();
    f.facade->enablePortScan();
    EXPECT_EQ(f.facade->findChildren<QTimer*>(QString(), Qt::FindDirectChildrenOnly).size(), 1);

    // Nothing stored and nothing found: an empty list every time.
    ASSERT_TRUE(waitUntil([&] { return reported.count() >= 2; }));
    EXPECT_TRUE(reported.at(0).at(0).toStringList().isEmpty());

    f.ports = {"ttyS1", "ttyS0"};
    ASSERT_TRUE(waitUntil([&] { return !reported.last().at(0).toStringList().isEmpty(); }));
    EXPECT_EQ(reported.last().at(0).toStringList(), (QStringList{"ttyS1", "ttyS0"}));
    reported.clear();
    f.ports = {"ttyS0", "ttyS1"};
    settle(60);
    EXPECT_EQ(reported.count(), 0);

    f.ports = {"ttyS0", "ttyUSB0"};
    ASSERT_TRUE(reported.wait(1000));
    EXPECT_EQ(reported.last().at(0).toStringList(), (QStringList{"ttyS0", "ttyUSB0"}));
    f.ports.clear();
    ASSERT_TRUE(reported.wait(1000));
    EXPECT_TRUE(reported.last().at(0).toStringList().isEmpty());
}

TEST(VeltrixFacade, OpenAndCloseDriveThePortAndTheAdapterLines)
{
    FakeFacade f;
    QList<uint> bauds;
    QObject::connect(f.facade.get(), &VELTRIX::sessionNewInfo,
                     [&](VELTRIX_SessionInfo* info) { bauds.append(info->getBaudrate()); });
    f.open();
    EXPECT_EQ(f.fake->lineSettings().baudRate, 115200);
    EXPECT_TRUE(bauds.contains(1200u));

    VELTRIX_Session::InterfaceSettings settings = fakeSettings();
    settings.dtrBypass = true;
    settings.rtsBypass = true;
    QSignalSpy state(f.facade.get(), &VELTRIX::portNewState);
    f.facade->portOpen(false, settings);
    ASSERT_TRUE(state.wait(2000));
    EXPECT_FALSE(state.at(0).at(0).toBool());
    EXPECT_FALSE(f.fake->isOpenNow());
    // The bypass levels were set before the port closed.
    EXPECT_EQ(f.fake->modemLineHistory().mid(f.fake->modemLineHistory().size() - 2),
              (QStringList{"DTR=1", "RTS=1"}));
}

// An abort closes through every sequence at once: the second close of a
// port that is still closing changes no line and reports no error.
TEST(VeltrixFacade, ASecondCloseBehindTheFirstLeavesTheLinesAlone)
{
    FakeFacade f;
    f.open();
    QList<VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR> errors;
    QObject::connect(f.facade.get(), &VELTRIX::sessionNewInfo,
                     [&](VELTRIX_SessionInfo* info)
                     {
                         if (info->getError() != VELTRIX_Session::VELTRIX_ENUM_SESSION_NO_ERROR)
                             errors.append(info->getError());
                     });
    VELTRIX_Session::InterfaceSettings settings = fakeSettings();
    settings.dtrBypass = true;
    settings.rtsBypass = true;
    const qsizetype linesBefore = f.fake->modemLineHistory().size();
    QSignalSpy state(f.facade.get(), &VELTRIX::portNewState);
    f.facade->portOpen(false, settings);
    f.facade->portOpen(false, settings);
    ASSERT_TRUE(waitUntil([&] { return state.size() == 2; }));
    settle(50);
    EXPECT_EQ(f.fake->modemLineHistory().mid(linesBefore), (QStringList{"DTR=1", "RTS=1"}));
    EXPECT_TRUE(errors.isEmpty());
}

TEST(VeltrixFacade, RefusedOpenIsReportedAsClosedWithAnError)
{
    FakeFacade f;
    f.fake->setRefuseOpen(true);
    QList<VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR> errors;
    QObject::connect(f.facade.get(), &VELTRIX::sessionNewInfo,
                     [&](VELTRIX_SessionInfo* info)
                     {
                         if (info->getError() != VELTRIX_Session::VELTRIX_ENUM_SESSION_NO_ERROR)
                             errors.append(info->getError());
                     });
    QSignalSpy state(f.facade.get(), &VELTRIX::portNewState);
    f.facade->portOpen(true, fakeSettings());
    ASSERT_TRUE(state.wait(2000));
    EXPECT_FALSE(state.at(0).at(0).toBool());
    EXPECT_EQ(errors, QList<VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR>{
                          VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_CANT_OPEN_COMPORT});
}

TEST(VeltrixFacade, MasterSessionWithAnEmptyQueueStopsAtOnce)
{
    FakeFacade f;
    f.open();
    QSignalSpy stopped(f.facade->getMasterAppLayer(), &VELTRIX_MASTER_AppLayer::sessionStop);
    VELTRIX_Session session;
    session.setType(VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_MASTER);
    f.facade->sessionStart(&session);
    EXPECT_EQ(stopped.count(), 1);
    EXPECT_FALSE(f.facade->getLinkLayer()->isRunning());
    settle(40);
    EXPECT_TRUE(f.fake->writes().isEmpty());
}

TEST(VeltrixFacade, ClosingThePortEndsAWaitingSession)
{
    FakeFacade f;
    f.open();
    VELTRIX_Session session;
    session.setType(VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_MASTER);
    session.setAddress(kDevice.data());
    session.addCommandToQueue(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_135, 1, 1);
    QSignalSpy data(f.facade.get(), &VELTRIX::sessionNewData);
    QList<VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR> errors;
    QObject::connect(f.facade.get(), &VELTRIX::sessionNewInfo,
                     [&](VELTRIX_SessionInfo* info)
                     {
                         if (info->getError() != VELTRIX_Session::VELTRIX_ENUM_SESSION_NO_ERROR)
                             errors.append(info->getError());
                     });
    f.facade->sessionStart(&session);
    ASSERT_TRUE(waitUntil([&] { return !f.fake->writes().isEmpty(); }));
    f.facade->portOpen(false, fakeSettings());
    // The answer arrives too late and the response timer is gone.
    f.fake->feedReceived(QByteArray::fromHex("FFFFFFFFFF 86 5A00070000 87 04 0000 0102 5B"));
    settle(150);
    EXPECT_EQ(data.count(), 0);
    EXPECT_TRUE(errors.isEmpty());
}

TEST(VeltrixFacade, StartingASecondSessionStopsTheFirst)
{
    FakeFacade f;
    f.open();
    VELTRIX_Session slave;
    slave.setType(VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_SLAVE);
    f.facade->sessionStart(&slave);
    EXPECT_TRUE(f.facade->getSlaveAppLayer()->isActive());
    QSignalSpy slaveStopped(f.facade->getSlaveAppLayer(), &VELTRIX_SLAVE_AppLayer::sessionStop);

    VELTRIX_Session master;
    master.setType(VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_MASTER);
    master.setAddress(kDevice.data());
    master.addCommandToQueue(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_135, 1, 1);
    f.facade->sessionStart(&master);
    EXPECT_EQ(slaveStopped.count(), 1);
    EXPECT_FALSE(f.facade->getSlaveAppLayer()->isActive());
    EXPECT_TRUE(f.facade->getMasterAppLayer()->isActive());
    EXPECT_TRUE(f.facade->getLinkLayer()->isRunning());

    f.facade->sessionStop();
    EXPECT_FALSE(f.facade->getMasterAppLayer()->isActive());
    EXPECT_FALSE(f.facade->getLinkLayer()->isRunning());
    settle(40);
    EXPECT_TRUE(f.fake->writes().isEmpty());
}

TEST(VeltrixFacade, LentSerialPortNoLongerFeedsTheStack)
{
    FakeFacade f;
    ASSERT_EQ(f.facade->getSerialPort(), f.facade->getLinkLayer()->getSerialPort());
    QSignalSpy state(f.facade.get(), &VELTRIX::portNewState);
    f.facade->disconnectSerialPortSignals();
    f.facade->portOpen(true, fakeSettings());
    ASSERT_TRUE(waitUntil([&] { return f.fake->isOpenNow(); }));
    settle(20);
    EXPECT_EQ(state.count(), 0);

    f.facade->connectSerialPortSignals();
    f.facade->connectSerialPortSignals();
    f.facade->portOpen(false, fakeSettings());
    ASSERT_TRUE(state.wait(2000));
    EXPECT_EQ(state.count(), 1);
}

// --- a master and a slave on a simulated single-wire line ---

// Two pseudo-terminals joined by a thread that plays the wire: what one side
// writes reaches the other and, as on a single-wire bus, comes back as echo.
class PtyLine
{
public:
    PtyLine()
    {
        for (auto& end : mEnds)
        {
            char name[256] = {};
            if (openpty(&end.master, &end.slave, name, nullptr, nullptr) != 0)
                return;
            termios raw{};
            tcgetattr(end.slave, &raw);
            cfmakeraw(&raw);
            tcsetattr(end.slave, TCSANOW, &raw);
            fcntl(end.master, F_SETFL, fcntl(end.master, F_GETFL) | O_NONBLOCK);
            end.path = QString::fromLocal8Bit(name);
        }
        mThread = std::thread([this] { run(); });
    }

    ~PtyLine()
    {
        mStop = true;
        if (mThread.joinable())
            mThread.join();
        for (auto& end : mEnds)
        {
            ::close(end.master);
            ::close(end.slave);
        }
    }

    QString path(int side) const { return mEnds[side].path; }
    bool valid() const { return !mEnds[0].path.isEmpty() && !mEnds[1].path.isEmpty(); }

private:
    struct End
    {
        int master = -1;
        int slave = -1;
        QString path;
    };

    static void writeAll(int fd, const char* data, ssize_t size)
    {
        while (size > 0)
        {
            const ssize_t done = ::write(fd, data, static_cast<size_t>(size));
            if (done <= 0)
            {
                usleep(100);
                continue;
            }
            data += done;
            size -= done;
        }
    }

    void run()
    {
        pollfd fds[2] = {{mEnds[0].master, POLLIN, 0}, {mEnds[1].master, POLLIN, 0}};
        char buffer[512];
        while (!mStop)
        {
            if (poll(fds, 2, 10) <= 0)
                continue;
            for (int side = 0; side < 2; ++side)
            {
                if (!(fds[side].revents & POLLIN))
                    continue;
                const ssize_t got = ::read(mEnds[side].master, buffer, sizeof buffer);
                if (got <= 0)
                    continue;
                writeAll(mEnds[side].master, buffer, got);
                writeAll(mEnds[1 - side].master, buffer, got);
            }
        }
    }

    End mEnds[2];
    std::thread mThread;
    std::atomic<bool> mStop{false};
};

std::unique_ptr<VELTRIX> makePtyFacade()
{
    VELTRIX_Options options;
    options.timing.requestDelayMs = 20;
    // The protocol's own settle time: the slave here is a whole stack that
    // switches its speed only once its answer has left, and 20 ms were not
    // always enough for that on a busy machine.
    options.timing.link.burstFirstFrameDelayMs = 50;
    options.backendFactory = []
    { return std::make_unique<FQtSerialPortBackend>(FQtSerialPortBackend::ModemLines::TolerateMissing); };
    return std::make_unique<VELTRIX>(nullptr, VELTRIX_Session::VELTRIX_HW_UART, options);
}

struct Received
{
    int command;
    QMap<QString, QVariant> values;
};

TEST(VeltrixFacadePty, MasterAndSlaveExchangeAllSixteenCommands)
{
    PtyLine line;
    ASSERT_TRUE(line.valid());
    auto master = makePtyFacade();
    auto slave = makePtyFacade();

    VELTRIX_Session::InterfaceSettings settings;
    VELTRIX_Session::getDefaultSettingsForInterface(&settings);
    settings.baudRate = 19200;
    settings.powerDownMs = 10;
    settings.startupMs = 10;
    settings.portName = line.path(0);
    QSignalSpy masterOpen(master.get(), &VELTRIX::portNewState);
    master->portOpen(true, settings);
    settings.portName = line.path(1);
    settings.powerCycle = false;
    QSignalSpy slaveOpen(slave.get(), &VELTRIX::portNewState);
    slave->portOpen(true, settings);
    ASSERT_TRUE(waitUntil([&] { return masterOpen.count() == 1 && slaveOpen.count() == 1; }));
    ASSERT_TRUE(masterOpen.at(0).at(0).toBool());
    ASSERT_TRUE(slaveOpen.at(0).at(0).toBool());

    // The device: its address and what it answers with.
    VELTRIX_Session device;
    device.setType(VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_SLAVE);
    device.setAddress(kDevice.data());
    setValues(device, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_128, {{"BaudrateBitmask", 0x0105}});
    setValues(device, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130,
              {{"Bytes", QByteArray("\x01\x02\x03\x04", 4)}});
    setValues(device, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_134, {{"DiagValue", 0xDEADBEEFu}});
    setValues(device, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_135, {{"Version", 3}, {"Subversion", 7}});
    setValues(device, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_136,
              {{"Revision Year", 23}, {"Revision Month", 8}, {"Revision Day", 21}});
    setValues(device, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_138,
              {{"Number of Devicevariables", 2},
               {"Devicevariable 1 Unit", 32},
               {"Devicevariable 1", 1.5f},
               {"Devicevariable 2 Unit", 33},
               {"Devicevariable 2", -2.25f}});
    setValues(device, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_139,
              {{"Number of Burstvariables", 1}, {"Burstvariable 1 Unit", 17}, {"Burstvariable 1", 42.0f}});
    QMap<QString, QVariant> status;
    for (int i = 1; i <= 8; ++i)
        status.insert(QStringLiteral("Statusstring %1").arg(i), QStringLiteral("Status %1").arg(i));
    setValues(device, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_140, status);
    setValues(device, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_141,
              {{"Devicetypestring", "N5Q2-ORVIK-FLOW1"}});

    QList<Received> requests;
    QObject::connect(slave.get(), &VELTRIX::sessionNewData,
                     [&](VELTRIX_Session* data)
                     {
                         QMap<QString, QVariant> map;
                         data->getDataForCommand(data->getCommand(), &map);
                         requests.append({data->getCommand(), map});
                     });
    slave->sessionStart(&device);

    // The master asks for everything, burst mode last.
    VELTRIX_Session asking;
    asking.reset();
    asking.setType(VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_MASTER);
    asking.setAddress(kDevice.data());
    setValues(asking, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_129, {{"Baudrate", 57600}});
    setValues(asking, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130,
              {{"Address", 0x0010}, {"BytesToRead", 4}});
    setValues(asking, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_131,
              {{"Address", 0x0020}, {"BytesToWrite", 3}, {"Bytes", QByteArray("\xAA\xBB\xCC", 3)}});
    setValues(asking, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_134, {{"DiagCode", 5}});
    setValues(asking, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_143,
              {{"Systemcommand", 1}, {"Payload", 0x01020304u}});
    const QList<int> order = {137, 128, 129, 130, 131, 132, 133, 134, 135, 136, 138, 139, 140, 141, 143, 142};
    for (int command : order)
        asking.addCommandToQueue(static_cast<VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND>(command), 1, 1);

    QList<Received> answers;
    QList<VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR> errors;
    QObject::connect(master.get(), &VELTRIX::sessionNewData,
                     [&](VELTRIX_Session* data)
                     {
                         QMap<QString, QVariant> map;
                         data->getDataForCommand(data->getCommand(), &map);
                         answers.append({data->getCommand(), map});
                     });
    QObject::connect(master.get(), &VELTRIX::sessionNewInfo,
                     [&](VELTRIX_SessionInfo* info)
                     {
                         if (info->getError() != VELTRIX_Session::VELTRIX_ENUM_SESSION_NO_ERROR)
                             errors.append(info->getError());
                     });
    // Let the power cycle and its wake-up token pass first.
    settle(150);
    errors.clear();
    master->sessionStart(&asking);

    // Sixteen answers, then at least two burst frames.
    ASSERT_TRUE(waitUntil([&] { return answers.size() >= order.size() + 2; }, 15000))
        << "answers: " << answers.size() << " errors: " << errors.size();
    master->sessionStop();
    slave->sessionStop();
    EXPECT_TRUE(errors.isEmpty()) << errors.size() << " errors, first " << errors.value(0);

    for (int i = 0; i < order.size(); ++i)
    {
        SCOPED_TRACE(order[i]);
        EXPECT_EQ(answers[i].command, order[i]);
        EXPECT_EQ(answers[i].values.value("Universal Error").toInt(), 0);
        EXPECT_EQ(answers[i].values.value("Status Low").toInt(), 0);
    }
    auto answer = [&](int command) { return answers[order.indexOf(command)].values; };
    EXPECT_EQ(answer(137).value("Address Vendor ID").toInt(), 0x5A);
    EXPECT_EQ(answer(137).value("Address Slave").toInt(), 7);
    EXPECT_EQ(answer(128).value("BaudrateBitmask").toInt(), 0x0105);
    EXPECT_EQ(answer(130).value("Bytes").toByteArray(), QByteArray("\x01\x02\x03\x04", 4));
    EXPECT_EQ(answer(134).value("DiagValue").toUInt(), 0xDEADBEEFu);
    EXPECT_EQ(answer(135).value("Version").toInt(), 3);
    EXPECT_EQ(answer(135).value("Subversion").toInt(), 7);
    EXPECT_EQ(answer(136).value("Revision Day").toInt(), 21);
    EXPECT_EQ(answer(138).value("Number of Devicevariables").toInt(), 2);
    EXPECT_FLOAT_EQ(answer(138).value("Devicevariable 2").toFloat(), -2.25f);
    EXPECT_EQ(answer(138).value("Devicevariable 2 Unit").toInt(), 33);
    EXPECT_FLOAT_EQ(answer(139).value("Burstvariable 1").toFloat(), 42.0f);
    EXPECT_EQ(answer(140).value("Statusstring 8").toString(), QStringLiteral("Status 8"));
    EXPECT_EQ(answer(141).value("Devicetypestring").toString(), QStringLiteral("N5Q2-ORVIK-FLOW1"));
    // Burst frames follow the answer to 142.
    for (int i = order.size(); i < answers.size(); ++i)
    {
        EXPECT_EQ(answers[i].command, 139);
        EXPECT_FLOAT_EQ(answers[i].values.value("Burstvariable 1").toFloat(), 42.0f);
    }

    // Both ends switched to the new rate.
    EXPECT_EQ(master->getLinkLayer()->getSessionInfo()->getBaudrate(), 57600u);
    EXPECT_EQ(slave->getLinkLayer()->getSessionInfo()->getBaudrate(), 57600u);

    // The device saw the master's request values.
    auto request = [&](int command)
    {
        for (const auto& r : requests)
            if (r.command == command)
                return r.values;
        return QMap<QString, QVariant>();
    };
    EXPECT_EQ(request(129).value("Baudrate").toInt(), 57600);
    EXPECT_EQ(request(130).value("Address").toInt(), 0x0010);
    EXPECT_EQ(request(130).value("BytesToRead").toInt(), 4);
    EXPECT_EQ(request(131).value("Address").toInt(), 0x0020);
    EXPECT_EQ(request(131).value("Bytes").toByteArray(), QByteArray("\xAA\xBB\xCC", 3));
    EXPECT_EQ(request(134).value("DiagCode").toInt(), 5);
    EXPECT_EQ(request(143).value("Systemcommand").toInt(), 1);
    EXPECT_EQ(request(143).value("Payload").toUInt(), 0x01020304u);
    EXPECT_GE(requests.size(), order.size());

    master->portOpen(false, settings);
    slave->portOpen(false, settings);
    settle(30);
}

} // namespace
