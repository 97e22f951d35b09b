#pragma once

// A master from the project's own stack on the simulated sensor's line: the
// VELTRIX facade with its master layer and the real serial port.

#include "protocol/VELTRIX.h"
#include "protocol/link_test_support.h"
#include "protocol/serial/FQtSerialPortBackend.h"
#include "tools/orvik-sim/OrvikSimulatorTypes.h"

#include <QList>
#include <QMap>
#include <QSignalSpy>
#include <QVariant>

#include <functional>
#include <memory>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace SimTest
{

using Hvd::Weft::Simulator::BusAddress;
using Values = QMap<QString, QVariant>;
using LinkTest::settle;
using LinkTest::waitUntil;

inline const BusAddress kDevice{19, 0, 4, 0, 0};
inline const BusAddress kFull{19, 0, 4, 0, 2};

struct Answer
{
    int command = 0;
    Values values;
};

struct Exchange
{
    QList<Answer> answers;
    QList<VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR> errors;

    bool complete(int expected) const { return answers.size() == expected; }
    bool hasError(VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR error) const { return errors.contains(error); }
};

class MasterLine
{
public:
    // Short silence timeouts keep the runs with silent faults quick.
    explicit MasterLine(int responseTimeoutMs = 150)
    {
        VELTRIX_Options options;
        options.timing.link.responseTimeoutMs = responseTimeoutMs;
        options.timing.link.responseTimeoutSubDeviceMs = responseTimeoutMs + 50;
        options.timing.requestDelayMs = 5;
        options.timing.baudrateSettleMs = 20;
        // A pseudo-terminal has no modem lines to set.
        options.backendFactory = []
        { return std::make_unique<FQtSerialPortBackend>(FQtSerialPortBackend::ModemLines::TolerateMissing); };
        mFacade = std::make_unique<VELTRIX>(nullptr, VELTRIX_Session::VELTRIX_HW_UART, options);
        QObject::connect(mFacade.get(), &VELTRIX::sessionNewData,
                         [this](VELTRIX_Session* data)
                         {
                             Answer answer{data->getCommand(), {}};
                             data->getDataForCommand(data->getCommand(), &answer.values);
                             mCurrent.answers.append(answer);
                         });
        QObject::connect(mFacade.get(), &VELTRIX::sessionNewInfo,
                         [this](VELTRIX_SessionInfo* info)
                         {
                             if (info->getError() != VELTRIX_Session::VELTRIX_ENUM_SESSION_NO_ERROR)
                                 mCurrent.errors.append(info->getError());
                         });
    }

    ~MasterLine()
    {
        if (mOpen)
            close();
    }

    // Opens the port as the program does (power cycle and wake-up token);
    // the sensor listens at 1200 baud until command 129 switches it.
    bool open(const QString& path, int baudrate = 1200)
    {
        VELTRIX_Session::InterfaceSettings settings;
        VELTRIX_Session::getDefaultSettingsForInterface(&settings);
        settings.portName = path;
        settings.baudRate = baudrate;
        settings.powerDownMs = 5;
        settings.startupMs = 5;
        mSettings = settings;
        QSignalSpy state(mFacade.get(), &VELTRIX::portNewState);
        mFacade->portOpen(true, settings);
        if (!waitUntil([&] { return state.count() > 0; }) || !state.first().first().toBool())
            return false;
        mOpen = true;
        // The power cycle ends with the wake-up token; let it pass first.
        settle(60);
        return true;
    }

    void close()
    {
        QSignalSpy state(mFacade.get(), &VELTRIX::portNewState);
        mFacade->portOpen(false, mSettings);
        waitUntil([&] { return state.count() > 0; });
        mOpen = false;
    }

    // One session with the commands in order; returns when done() holds,
    // or after a silence timeout ended the session.
    Exchange run(const BusAddress& address, const QList<std::pair<int, Values>>& commands,
                 const std::function<bool(const Exchange&)>& done, int timeoutMs = 3000)
    {
        mCurrent = {};
        mRecord.reset();
        mRecord.setType(VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_MASTER);
        mRecord.setAddress(address.data());
        for (const auto& [number, values] : commands)
        {
            const auto command = static_cast<VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND>(number);
            Values map = VELTRIX_Session::standardLayoutForCommand(QString::number(number));
            for (auto it = values.begin(); it != values.end(); ++it)
                map.insert(it.key(), it.value());
            mRecord.setDataForCommand(command, map);
            mRecord.addCommandToQueue(command, 1, 1);
        }
        mFacade->sessionStart(&mRecord);
        waitUntil(
            [&] {
                return done(mCurrent) ||
                       mCurrent.hasError(VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_TIMEOUT);
            },
            timeoutMs);
        mFacade->sessionStop();
        return mCurrent;
    }

    // Every command answered, or a timeout.
    Exchange exchange(const BusAddress& address, const QList<std::pair<int, Values>>& commands)
    {
        const int expected = static_cast<int>(commands.size());
        return run(address, commands, [expected](const Exchange& e) { return e.complete(expected); });
    }

    Exchange ask(const BusAddress& address, int command, const Values& values = {})
    {
        return exchange(address, {{command, values}});
    }

    VELTRIX& facade() { return *mFacade; }
    unsigned baudrate() const { return mFacade->getLinkLayer()->getSessionInfo()->getBaudrate(); }

private:
    std::unique_ptr<VELTRIX> mFacade;
    VELTRIX_Session mRecord;
    VELTRIX_Session::InterfaceSettings mSettings;
    Exchange mCurrent;
    bool mOpen = false;
};

// Raw bytes on the line, checked against bytes worked out by hand.
class RawLine
{
public:
    // The sensor hears only what is sent at the rate it listens at.
    explicit RawLine(const QString& path, speed_t speed = B1200)
        : mFd(::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK))
    {
        termios raw{};
        if (mFd >= 0 && ::tcgetattr(mFd, &raw) == 0)
        {
            ::cfmakeraw(&raw);
            ::tcsetattr(mFd, TCSANOW, &raw);
        }
        setSpeed(speed);
    }
    ~RawLine()
    {
        if (mFd >= 0)
            ::close(mFd);
    }
    RawLine(const RawLine&) = delete;
    RawLine& operator=(const RawLine&) = delete;

    bool isOpen() const { return mFd >= 0; }
    void setSpeed(speed_t speed) const
    {
        termios settings{};
        if (mFd >= 0 && ::tcgetattr(mFd, &settings) == 0)
        {
            ::cfsetspeed(&settings, speed);
            ::tcsetattr(mFd, TCSANOW, &settings);
        }
    }
    void send(const QByteArray& bytes) const { (void)::write(mFd, bytes.constData(), bytes.size()); }
    // What arrives until expected bytes are in or the line stays quiet for quietMs.
    QByteArray receive(int expected, int quietMs = 500) const
    {
        QByteArray got;
        pollfd fd{mFd, POLLIN, 0};
        while (got.size() < expected && ::poll(&fd, 1, quietMs) > 0)
        {
            char buffer[512];
            const ssize_t n = ::read(mFd, buffer, sizeof buffer);
            if (n <= 0)
                break;
            got.append(buffer, n);
        }
        return got;
    }

private:
    int mFd;
};

} // namespace SimTest
