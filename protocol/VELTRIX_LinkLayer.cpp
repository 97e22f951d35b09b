#include "protocol/VELTRIX_LinkLayer.h"

#include "logging/Logger.h"
#include "protocol/VELTRIX_Frame.h"
#include "protocol/btle/BTLE_Connection.h"

#include <QDeadlineTimer>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>
#include <QThreadPool>
#include <QTimer>
#include <QWaitCondition>

#include <memory>
#include <utility>

using Hvd::Weft::Components::Logger;

namespace
{

// The frames on the wire at the lowest log level, formatted only when someone listens.
void traceFrame(const char* direction, const QByteArray& bytes)
{
    if (Logger::isInitialized() && spdlog::should_log(spdlog::level::trace))
        Logger::trace("VELTRIX {} {}", direction, bytes.toHex(' ').toStdString());
}

QTimer* makePreciseTimer(QObject* parent, bool singleShot)
{
    auto* timer = new QTimer(parent);
    timer->setTimerType(Qt::PreciseTimer);
    timer->setSingleShot(singleShot);
    return timer;
}
} // namespace

struct VELTRIX_LinkLayer::PowerCycleControl
{
    QMutex mutex;
    QWaitCondition changed;
    // Bumped by every new cycle and every cancel: only the task started with
    // the current value may still act.
    quint64 generation = 0;
    int runningTasks = 0;
    quint64 rtsConfirmations = 0;
    // Wake-up tokens handed to the port, counted before the write is queued.
    quint64 tokenWrites = 0;

    // Waits until `deadline`; false if the cycle was cancelled meanwhile.
    // Called with the mutex held.
    bool sleepUnlessCancelled(quint64 own, QDeadlineTimer deadline)
    {
        while (generation == own)
            if (!changed.wait(&mutex, deadline))
                break;
        return generation == own;
    }
};

VELTRIX_LinkLayer::VELTRIX_LinkLayer(QObject* parent, VELTRIX_Session::VELTRIX_HW hw, const Timing& timing,
                                     const FSerialPortBackendFactory& backendFactory,
                                     const BTLE_BackendFactory& btleFactory)
    : QObject(parent)
    , mHw(hw)
    , mTiming(timing)
    , mThread(new QThread(this))
    , mPort(new FSerialPort(nullptr, backendFactory, timing.drainSlackMs))
    , mOwnSession(new VELTRIX_Session(this))
    , mSession(mOwnSession)
    , mInfo(new VELTRIX_SessionInfo(this))
    , mResponseTimeoutMs(timing.responseTimeoutMs)
    , mResponseTimer(makePreciseTimer(this, false))
    , mBurstWatchdog(makePreciseTimer(this, false))
    , mAckDelayTimer(makePreciseTimer(this, false))
    , mBurstSendTimer(makePreciseTimer(this, true))
    , mPowerCycle(std::make_shared<PowerCycleControl>())
{
    FSerialPort::registerMetaTypes();
    VELTRIX_Session::getDefaultSettingsForInterface(&mSettings);

    connect(mResponseTimer, &QTimer::timeout, this, &VELTRIX_LinkLayer::timeout);
    connect(mBurstWatchdog, &QTimer::timeout, this, &VELTRIX_LinkLayer::timeoutBurst);
    connect(mAckDelayTimer, &QTimer::timeout, this, &VELTRIX_LinkLayer::timeoutDelayBurstAck);
    connect(mBurstSendTimer, &QTimer::timeout, this, &VELTRIX_LinkLayer::timeoutSendBurst);
    connect(this, &VELTRIX_LinkLayer::powerCycleFinished, this, &VELTRIX_LinkLayer::powerCycleEnded,
            Qt::QueuedConnection);

    mThread->setObjectName(QStringLiteral("LinkSerialPortThread"));
    mPort->moveToThread(mThread);

    connect(this, &VELTRIX_LinkLayer::portScan, mPort, &FSerialPort::getAvailablePorts);
    connect(this, &VELTRIX_LinkLayer::portSetDTRPin, mPort, &FSerialPort::setDTRPin);
    connect(this, &VELTRIX_LinkLayer::portSetRTSPin, mPort, &FSerialPort::setRTSPin);
    connect(this, &VELTRIX_LinkLayer::portOpen, mPort, &FSerialPort::openPort);
    connect(this, &VELTRIX_LinkLayer::portClose, mPort, &FSerialPort::closePort);
    connect(this, &VELTRIX_LinkLayer::portWriteData, mPort, &FSerialPort::writeDataToPort);
    connect(this, &VELTRIX_LinkLayer::portSetNewBaudrate, mPort, &FSerialPort::setNewBaudrate,
            Qt::BlockingQueuedConnection);
    connectSerialPortSignals();
    // Not among the connections a bootloader borrowing the port takes away:
    // a lost line ends an upload too.
    connect(mPort, &FSerialPort::lineLost, this, &VELTRIX_LinkLayer::portLineLost);
    connect(mThread, &QThread::finished, mPort, &QObject::deleteLater);
    // Runs in the port thread; holds the control, not this object.
    connect(
        mPort, &FSerialPort::rtsSet, mPort,
        [control = mPowerCycle]
        {
            QMutexLocker lock(&control->mutex);
            ++control->rtsConfirmations;
            control->changed.wakeAll();
        },
        Qt::DirectConnection);

    if (mHw == VELTRIX_Session::VELTRIX_HW_BTLE)
    {
        bool bPowered = false;
        mBtle = new BTLE_Connection(QString::fromLatin1(szBtleNameFilter), QString(), &bPowered, this,
                                    btleFactory ? btleFactory() : nullptr);
        mBtle->setDiscoveryTimeout(timing.btleDiscoveryTimeoutMs);
        if (!bPowered)
            Logger::warn("VELTRIX: the Bluetooth adapter is not powered");
        connect(mBtle, &BTLE_Connection::devicesUpdated, this, &VELTRIX_LinkLayer::btleNewDevices);
        connect(mBtle, &BTLE_Connection::startDiscoverServiceDetails, this,
                &VELTRIX_LinkLayer::btleServiceScanDone);
        connect(mBtle, &BTLE_Connection::readyToCommunicate, this, &VELTRIX_LinkLayer::btleConnectedTo);
        connect(mBtle, &BTLE_Connection::dataSuccessfullyWrittenToDevice, this,
                &VELTRIX_LinkLayer::btleDataWritten);
        connect(mBtle, &BTLE_Connection::newDataFromConnectedDeviceAvailable, this,
                &VELTRIX_LinkLayer::btleNewData);
        connect(mBtle, &BTLE_Connection::disconnected, this, &VELTRIX_LinkLayer::btleDisconnected);
        connect(mBtle, &BTLE_Connection::foundSpecificDevice, this,
                &VELTRIX_LinkLayer::btleFoundSpecificDevice);
        connect(mBtle, &BTLE_Connection::errorOccurred, this, &VELTRIX_LinkLayer::btleError);
    }

    mThread->start();
}

VELTRIX_LinkLayer::~VELTRIX_LinkLayer()
{
    cancelPowerCycle();
    if (mThread->isRunning())
    {
        // The adapter is left in bypass and the port closed before the port
        // thread stops: events still queued for it would be dropped.
        QMetaObject::invokeMethod(
            mPort,
            [port = mPort, open = mPortOpen, dtr = mSettings.dtrBypass, rts = mSettings.rtsBypass]
            {
                if (open)
                {
                    port->setDTRPin(dtr);
                    port->setRTSPin(rts);
                }
                port->closePort();
            },
            Qt::BlockingQueuedConnection);
    }
    stopAllTimers();
    mLatencyTimer.invalidate();
    sessionSetBurstModeState(false);
    sessionSetState(VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_INACTIVE);
    sessionSetRunning(false);
    // A power cycle emits our signals from its pool thread: it was stopped
    // above; wait for it to leave.
    {
        QMutexLocker lock(&mPowerCycle->mutex);
        const QDeadlineTimer deadline(mTiming.powerCycleLeaveTimeoutMs);
        while (mPowerCycle->runningTasks > 0)
            if (!mPowerCycle->changed.wait(&mPowerCycle->mutex, deadline))
                break;
        if (mPowerCycle->runningTasks > 0)
            Logger::warn("Power cycle still running at destruction; it has been told to stop");
    }
    mThread->quit();
    mThread->wait();
}

void VELTRIX_LinkLayer::connectSerialPortSignals()
{
    if (!mPortConnections.isEmpty())
        return;
    mPortConnections = {
        connect(mPort, &FSerialPort::newDataReadyFromPort, this, &VELTRIX_LinkLayer::portDataReady),
        connect(mPort, &FSerialPort::errorOccuredOnPort, this, &VELTRIX_LinkLayer::portErrorOccured),
        connect(mPort, &FSerialPort::finishedOpenPort, this, &VELTRIX_LinkLayer::portStateChanged),
        connect(mPort, &FSerialPort::dataWrittenToPort, this, &VELTRIX_LinkLayer::portDataWritten),
        connect(mPort, &FSerialPort::log, this,
                [](const QString& message) { Logger::info("{}", message.toStdString()); }),
    };
}

void VELTRIX_LinkLayer::disconnectSerialPortSignals()
{
    for (const auto& connection : std::as_const(mPortConnections))
        disconnect(connection);
    mPortConnections.clear();
}

VELTRIX_Session* VELTRIX_LinkLayer::getSession() const
{
    // A caller's record that has been destroyed falls back to our own.
    return mSession ? mSession.data() : mOwnSession;
}

bool VELTRIX_LinkLayer::isSlaveSession() const
{
    return VELTRIX_RxStateMachine::isSlave(getSession()->getType());
}

int VELTRIX_LinkLayer::burstAckDelayMs(unsigned int ulBaudrate, const Timing& timing)
{
    if (ulBaudrate <= 4800)
        return timing.burstAckDelayUpTo4800Ms;
    if (ulBaudrate <= 38400)
        return timing.burstAckDelayUpTo38400Ms;
    return -1;
}

VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR
VELTRIX_LinkLayer::mapSerialPortError(QSerialPort::SerialPortError error)
{
    switch (error)
    {
    case QSerialPort::DeviceNotFoundError:
    case QSerialPort::PermissionError:
    case QSerialPort::OpenError:
    case QSerialPort::NotOpenError:
        return VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_CANT_OPEN_COMPORT;
    case QSerialPort::WriteError:
    case QSerialPort::ReadError:
    case QSerialPort::ResourceError:
    case QSerialPort::UnsupportedOperationError:
        return VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_COMPORT;
    case QSerialPort::TimeoutError:
        return VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_TIMEOUT;
    case QSerialPort::NoError:
    case QSerialPort::UnknownError:
    default:
        return VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_UNKNOWN;
    }
}

// --- small slots ---

void VELTRIX_LinkLayer::sessionSetState(VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE state)
{
    getSession()->setState(state);
    mInfo->setState(state);
    if (state != mLastState)
    {
        mLastState = state;
        emit sessionNewInfo(mInfo);
    }
}

void VELTRIX_LinkLayer::sessionSetRunning(bool bRunning)
{
    mInfo->setSessionRunning(bRunning);
    mRunning = bRunning;
    if (bRunning != mLastRunning)
    {
        mLastRunning = bRunning;
        emit sessionNewInfo(mInfo);
    }
}

void VELTRIX_LinkLayer::sessionSetBaudrate(uint ulBaudrate)
{
    mInfo->setBaudrate(ulBaudrate);
    emit sessionNewInfo(mInfo);
}

void VELTRIX_LinkLayer::sessionSetBurstRoundTripLatency(qulonglong ullNs)
{
    mInfo->setBurstRoundTripLatencyNs(ullNs);
    emit sessionNewInfo(mInfo);
}

void VELTRIX_LinkLayer::sessionSetBuffer(const QByteArray& data)
{
    writeToTransport(data);
}

void VELTRIX_LinkLayer::adapterSetState(VELTRIX_Session::VELTRIX_ENUM_ADAPTER_STATE state)
{
    switch (state)
    {
    case VELTRIX_Session::VELTRIX_ENUM_ADAPTER_STATE_COMMUNICATION:
        emit portSetDTRPin(mSettings.dtrCommunication);
        emit portSetRTSPin(mSettings.rtsCommunication);
        break;
    case VELTRIX_Session::VELTRIX_ENUM_ADAPTER_STATE_BYPASS:
        emit portSetDTRPin(mSettings.dtrBypass);
        emit portSetRTSPin(mSettings.rtsBypass);
        break;
    case VELTRIX_Session::VELTRIX_ENUM_ADAPTER_STATE_OFF:
        emit portSetDTRPin(mSettings.dtrOff);
        emit portSetRTSPin(mSettings.rtsOff);
        break;
    }
}

// --- timers ---

void VELTRIX_LinkLayer::startResponseTimer()
{
    mResponseTimerWanted = false;
    mResponseTimer->start(mResponseTimeoutMs);
}

void VELTRIX_LinkLayer::stopResponseTimer()
{
    mResponseTimerWanted = false;
    mResponseTimer->stop();
}

void VELTRIX_LinkLayer::stopAllTimers()
{
    stopResponseTimer();
    mBurstWatchdog->stop();
    mAckDelayTimer->stop();
    mBurstSendTimer->stop();
}

// --- session ---

void VELTRIX_LinkLayer::sessionStart(VELTRIX_Session* s)
{
    mSession = s ? s : mOwnSession;
    sessionSetState(VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_INACTIVE);
    mInfo->resetErroneousSessionCount();
    sessionSetRunning(true);
    const auto address = getSession()->getAddress();
    mResponseTimeoutMs =
        (address[3] == 0 && address[4] == 0) ? mTiming.responseTimeoutMs : mTiming.responseTimeoutSubDeviceMs;
}

void VELTRIX_LinkLayer::sessionStop()
{
    mHeldFrame.clear();
    stopAllTimers();
    mLatencyTimer.invalidate();
    sessionSetBurstModeState(false);
    sessionSetState(VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_INACTIVE);
    sessionSetRunning(false);
}

void VELTRIX_LinkLayer::sessionDataTxSetBuffer(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND command,
                                               QByteArray& buffer)
{
    // Once a session has been stopped nothing may go out any more, not even a
    // request whose send delay was already running.
    if (!mRunning)
    {
        Logger::debug("VELTRIX: frame for command {} dropped, no session running", static_cast<int>(command));
        return;
    }
    getSession()->setCommand(command);
    VELTRIX_Frame::addFraming(buffer);
    sessionSetState(VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_SENDING);
    traceFrame("TX", buffer);
    writeToTransport(buffer);
}

void VELTRIX_LinkLayer::writeToTransport(const QByteArray& data)
{
    switch (mHw)
    {
    case VELTRIX_Session::VELTRIX_HW_UART:
        if (mPowerCycling)
        {
            Logger::debug("VELTRIX: frame held until the adapter's power cycle has woken the device");
            mHeldFrame = data;
            break;
        }
        emit portWriteData(data, mSettings.singleWire);
        break;
    case VELTRIX_Session::VELTRIX_HW_BTLE:
        // Without a device a write would never be confirmed and the exchange
        // would hang in SENDING without a timeout: report it instead.
        if (!mBtle || mBtleDevice.isEmpty() ||
            !mBtle->hasCharacteristic(QString::fromLatin1(BTLE_Connection::szFrameCharacteristicUuid)))
        {
            Logger::error("VELTRIX: no Bluetooth LE device ready to communicate");
            sessionSetError(VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_BTLE);
            break;
        }
        mBtle->writeToConnectedDevice(data, QString::fromLatin1(BTLE_Connection::szFrameCharacteristicUuid));
        break;
    }
}

void VELTRIX_LinkLayer::portDataWritten()
{
    if (mHw != VELTRIX_Session::VELTRIX_HW_UART)
        return;
    {
        // The port confirms in the order it was given: a token counted but
        // not yet confirmed is what this confirmation is for.
        QMutexLocker lock(&mPowerCycle->mutex);
        if (mTokenConfirmations < mPowerCycle->tokenWrites)
        {
            ++mTokenConfirmations;
            return;
        }
    }
    transportDataWritten();
}

void VELTRIX_LinkLayer::transportDataWritten()
{
    emit sessionDataTxDone();

    if (isSlaveSession() && mBurstActive)
    {
        sessionSetState(VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_SENDING_DONE);
        sessionSetState(VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_RECIEVING_WAIT_FOR_BURST_ACK);
        mLatencyTimer.start();
        mBurstWatchdog->start(mTiming.burstWatchdogMs);
        return;
    }
    if (!isSlaveSession())
    {
        if (mBurstActive)
        {
            // The write was the acknowledge of a burst frame.
            if (mLatencyTimer.isValid())
                sessionSetBurstRoundTripLatency(static_cast<qulonglong>(mLatencyTimer.nsecsElapsed()));
        }
        else if (mRunning)
        {
            // Without a session (the wake-up token) there is no answer to wait for.
            startResponseTimer();
        }
    }
    sessionSetState(VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_SENDING_DONE);
    sessionSetState(VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_INACTIVE);
}

// --- receiving ---

void VELTRIX_LinkLayer::portDataReady(const QByteArray& data)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.constData());
    for (qsizetype i = 0; i < data.size() && mRunning; ++i)
        RxStateMachine(bytes[i]);
    if (mResponseTimerWanted && mRunning)
        startResponseTimer();
    mResponseTimerWanted = false;
}

void VELTRIX_LinkLayer::RxStateMachine(unsigned char ucByte)
{
    VELTRIX_Session* session = getSession();
    // Every byte re-arms the silence timeout and feeds the burst watchdog.
    mResponseTimerWanted = true;
    mBurstWatchdog->stop();

    VELTRIX_RxStateMachine::SessionView view;
    view.type = session->getType();
    view.command = static_cast<unsigned char>(session->getCommand());
    view.address = session->getAddress();
    view.burstActive = mBurstActive;

    const auto step = mRx.feed(ucByte, session->getState(), view);
    if (step.event == VELTRIX_RxStateMachine::Event::Ignored)
        return;
    if (step.latencyStart)
        mLatencyTimer.start();
    if (step.commandReceived)
        session->setCommand(static_cast<VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND>(step.receivedCommand));
    if (step.error != VELTRIX_Session::VELTRIX_ENUM_SESSION_NO_ERROR)
        sessionSetError(step.error);

    if (step.event == VELTRIX_RxStateMachine::Event::BurstAcknowledged)
    {
        if (mLatencyTimer.isValid())
            sessionSetBurstRoundTripLatency(static_cast<qulonglong>(mLatencyTimer.nsecsElapsed()));
        sessionSetState(VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_INACTIVE);
        stopResponseTimer();
        mBurstSendTimer->start(mTiming.burstNextFrameDelayMs);
        return;
    }

    sessionSetState(step.state);
    // A frame that goes on being discarded after an error (a foreign address)
    // ends only with the line's silence: the error stopped the timer, so arm
    // it again, even if this was the last byte of the read.
    if (step.error != VELTRIX_Session::VELTRIX_ENUM_SESSION_NO_ERROR &&
        step.state != VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_ERROR)
        mResponseTimerWanted = true;
    if (step.event == VELTRIX_RxStateMachine::Event::FrameReady)
        deliverFrame();
}

void VELTRIX_LinkLayer::deliverFrame()
{
    stopResponseTimer();
    mBurstWatchdog->stop();
    sessionSetState(VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_SESSION_DATA_READY);
    if (!mRx.frameUsable())
    {
        sessionSetError(VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_NO_DATA_IN_SESSION);
    }
    else
    {
        const QByteArray frame(reinterpret_cast<const char*>(mRx.frameData()), mRx.frameSize());
        traceFrame("RX", frame);
        emit sessionDataRxBufferReady(frame);
    }
    // A master in burst mode hunts the next burst frame at once.
    if (!isSlaveSession() && mBurstActive)
        sessionSetState(VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_INACTIVE);
}

// --- errors ---

void VELTRIX_LinkLayer::sessionSetError(VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR error)
{
    sessionSetBurstModeState(false);
    stopResponseTimer();
    mBurstWatchdog->stop();
    mBurstSendTimer->stop();
    sessionSetState(VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_ERROR);

    VELTRIX_Session* session = getSession();
    session->setError(error);
    if (error != VELTRIX_Session::VELTRIX_ENUM_SESSION_NO_ERROR)
    {
        // Receivers read the code from the info record while this is emitted.
        mInfo->setError(error);
        emit sessionNewInfo(mInfo);
    }
    session->setError(VELTRIX_Session::VELTRIX_ENUM_SESSION_NO_ERROR);
    mInfo->setError(VELTRIX_Session::VELTRIX_ENUM_SESSION_NO_ERROR);
}

void VELTRIX_LinkLayer::timeout()
{
    mRx.requestRestart();
    stopResponseTimer();
    sessionSetError(VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_TIMEOUT);
}

void VELTRIX_LinkLayer::timeoutBurst()
{
    mRx.requestRestart();
    mBurstWatchdog->stop();
    sessionSetError(VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_TIMEOUT_BURSTMODE);
}

void VELTRIX_LinkLayer::portErrorOccured(QSerialPort::SerialPortError error)
{
    sessionSetError(mapSerialPortError(error));
}

void VELTRIX_LinkLayer::portLineLost()
{
    // Nothing more goes over a line that is gone: no power cycle, no wait
    // for an answer.
    cancelPowerCycle();
    stopResponseTimer();
    mRx.requestRestart();
    // Its modem lines cannot be set back either.
    mPortOpen = false;
    emit portLost();
}

// --- burst mode ---

void VELTRIX_LinkLayer::sessionSetBurstModeState(bool bActive)
{
    mBurstActive = bActive;
    mInfo->setBurstModeActive(bActive);
    emit sessionNewInfo(mInfo);
    if (bActive)
    {
        if (isSlaveSession())
            mBurstSendTimer->start(mTiming.burstFirstFrameDelayMs);
        else
            mBurstWatchdog->start(mTiming.burstWatchdogMs);
        return;
    }
    mBurstSendTimer->stop();
    mBurstWatchdog->stop();
    emit sessionBurstModeDeactive();
}

void VELTRIX_LinkLayer::sessionBurstModeSetActivate()
{
    sessionSetBurstModeState(true);
}

void VELTRIX_LinkLayer::timeoutSendBurst()
{
    // Burst mode or the session may have ended while the delay ran.
    if (!mBurstActive || !mRunning || !isSlaveSession())
        return;
    QByteArray buffer;
    emit sessionDataFetchTxBufferForBurst(buffer);
    if (buffer.isEmpty())
        return;
    VELTRIX_Frame::addFraming(buffer);
    sessionSetState(VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_SENDING);
    traceFrame("TX", buffer);
    writeToTransport(buffer);
}

void VELTRIX_LinkLayer::sendBurstAcknowledge()
{
    writeToTransport(QByteArray(1, static_cast<char>(VELTRIX_Frame::ucBurstAcknowledge)));
    mBurstWatchdog->start(mTiming.burstWatchdogMs);
}

void VELTRIX_LinkLayer::sessionBurstModeSetAcknowledge()
{
    stopResponseTimer();
    const int delayMs = burstAckDelayMs(mInfo->getBaudrate(), mTiming);
    if (delayMs >= 0)
    {
        mAckDelayTimer->start(delayMs);
        return;
    }
    mAckDelayTimer->stop();
    sendBurstAcknowledge();
}

void VELTRIX_LinkLayer::timeoutDelayBurstAck()
{
    mAckDelayTimer->stop();
    sendBurstAcknowledge();
}

// --- baud rate ---

void VELTRIX_LinkLayer::sessionBaudrateSetNew(uint ulNewBaudrate, bool* bSuccess)
{
    bool ok = false;
    if (QThread::currentThread() == mPort->thread())
        // A blocking call into our own thread would never return.
        mPort->setNewBaudrate(ulNewBaudrate, &ok);
    else
        emit portSetNewBaudrate(ulNewBaudrate, &ok);
    if (bSuccess)
        *bSuccess = ok;
    if (ok)
        sessionSetBaudrate(ulNewBaudrate);
}

// --- port state and adapter ---

void VELTRIX_LinkLayer::portStateChanged(bool open)
{
    mPortOpen = open;
    // Whatever cycle ran belongs to the port as it was before this change.
    cancelPowerCycle();
    {
        // Every write of the last opening has been confirmed or has failed by
        // the time its state changes: a token that failed is owed nothing.
        QMutexLocker lock(&mPowerCycle->mutex);
        mTokenConfirmations = mPowerCycle->tokenWrites;
    }
    emit portNewState(open);
    if (!open)
    {
        mHeldFrame.clear();
        return;
    }
    if (mSettings.powerCycle)
    {
        mPowerCycling = true;
        quint64 generation = 0;
        {
            QMutexLocker lock(&mPowerCycle->mutex);
            generation = ++mPowerCycle->generation;
            ++mPowerCycle->runningTasks;
        }
        QThreadPool::globalInstance()->start(
            [this, control = mPowerCycle, generation, settings = mSettings,
             rtsConfirmTimeoutMs = mTiming.rtsConfirmTimeoutMs]
            { runPowerCycle(this, control, generation, settings, rtsConfirmTimeoutMs); });
        return;
    }
    if (!isSlaveSession())
        adapterSetState(VELTRIX_Session::VELTRIX_ENUM_ADAPTER_STATE_COMMUNICATION);
}

void VELTRIX_LinkLayer::releaseAdapter()
{
    cancelPowerCycle();
    // A port that is not open has no lines to set.
    if (mPortOpen)
        adapterSetState(VELTRIX_Session::VELTRIX_ENUM_ADAPTER_STATE_BYPASS);
    mPortOpen = false;
}

void VELTRIX_LinkLayer::cancelPowerCycle()
{
    mPowerCycling = false;
    QMutexLocker lock(&mPowerCycle->mutex);
    ++mPowerCycle->generation;
    mPowerCycle->changed.wakeAll();
}

// Switches the adapter off and on again and wakes the device with the token.
// Every signal is emitted with the control's mutex held and only while this
// cycle is current, so a cancel (a new open, a close, the destructor) ends
// its effects at once, and two cycles never interleave their line levels.
void VELTRIX_LinkLayer::runPowerCycle(VELTRIX_LinkLayer* link, std::shared_ptr<PowerCycleControl> control,
                                      quint64 generation, VELTRIX_Session::InterfaceSettings settings,
                                      int rtsConfirmTimeoutMs)
{
    QMutexLocker lock(&control->mutex);
    auto setLines = [&](bool dtr, bool rts)
    {
        if (control->generation != generation)
            return false;
        const quint64 confirmedBefore = control->rtsConfirmations;
        emit link->portSetDTRPin(dtr);
        emit link->portSetRTSPin(rts);
        const QDeadlineTimer deadline(rtsConfirmTimeoutMs, Qt::PreciseTimer);
        while (control->generation == generation && control->rtsConfirmations == confirmedBefore)
            if (!control->changed.wait(&control->mutex, deadline))
                break;
        return control->generation == generation;
    };
    auto sleep = [&](int ms)
    { return control->sleepUnlessCancelled(generation, QDeadlineTimer(ms, Qt::PreciseTimer)); };

    if (setLines(settings.dtrOff, settings.rtsOff) && sleep(settings.powerDownMs) &&
        setLines(settings.dtrCommunication, settings.rtsCommunication) && sleep(settings.startupMs))
    {
        ++control->tokenWrites;
        emit link->portWriteData(QByteArray(VELTRIX_Frame::szWakeUpToken), settings.singleWire);
        emit link->powerCycleFinished(generation);
    }

    --control->runningTasks;
    control->changed.wakeAll();
}

void VELTRIX_LinkLayer::powerCycleEnded(quint64 generation)
{
    {
        QMutexLocker lock(&mPowerCycle->mutex);
        if (generation != mPowerCycle->generation)
            return;
    }
    mPowerCycling = false;
    // After the wake-up token, which the cycle queued to the port first.
    if (!mHeldFrame.isEmpty() && mPortOpen)
        emit portWriteData(std::exchange(mHeldFrame, {}), mSettings.singleWire);
}

// --- Bluetooth LE ---

void VELTRIX_LinkLayer::btleStartScan()
{
    if (!mBtle)
        return;
    mBtle->startDeviceDiscovery(true);
    emit btleStateChanged(VELTRIX_Session::SCANNING);
}

void VELTRIX_LinkLayer::btleStopScan()
{
    if (mBtle)
        mBtle->stopScanningDevices();
}

void VELTRIX_LinkLayer::btleConnectTo(const QString& adr)
{
    if (!mBtle)
        return;
    mBtle->connectToDevice(adr);
    emit btleStateChanged(VELTRIX_Session::CONNECTING);
}

void VELTRIX_LinkLayer::btleDisconnect()
{
    if (!mBtle)
        return;
    mBtle->disconnectFromDevice();
    sessionStop();
}

QVariant VELTRIX_LinkLayer::btleGetDevices()
{
    return QVariant::fromValue(mBtle ? mBtle->getDevices() : QList<QObject*>());
}

void VELTRIX_LinkLayer::btleNewDevices()
{
    emit btleStateChanged(VELTRIX_Session::NEW_DEVICES);
}

void VELTRIX_LinkLayer::btleServiceScanDone()
{
    const QString service = QString::fromLatin1(BTLE_Connection::szServiceUuid);
    // Any device may be picked from the list; one without our service would
    // otherwise be left connecting for ever without a word.
    if (!mBtle->hasService(service))
    {
        btleError(QStringLiteral("device offers no VELTRIX service"));
        return;
    }
    mBtle->discoverServiceDetails(service);
}

void VELTRIX_LinkLayer::btleConnectedTo(const QString& device)
{
    mBtleDevice = device;
    emit btleStateChanged(VELTRIX_Session::CONNECTED);
    sessionSetBaudrate(1200);
}

void VELTRIX_LinkLayer::btleDataWritten()
{
    if (mHw == VELTRIX_Session::VELTRIX_HW_BTLE)
        transportDataWritten();
}

void VELTRIX_LinkLayer::btleNewData(const QByteArray& data)
{
    // A notification may hold part of a frame or several: the bytes go
    // through the same byte-wise machine as those of the serial line.
    portDataReady(data);
}

void VELTRIX_LinkLayer::btleDisconnected()
{
    mBtleDevice.clear();
    emit btleStateChanged(VELTRIX_Session::DISCONNECTED);
    // An exchange under way (a write not yet confirmed, an answer not yet
    // heard) has lost its device: it ends now, not on a timer that a write
    // without confirmation never starts.
    if (mRunning)
    {
        mRx.requestRestart();
        sessionSetError(VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_BTLE);
    }
    sessionSetBaudrate(1200);
    QTimer::singleShot(mTiming.btleRescanDelayMs, this,
                       [this] { emit btleStateChanged(VELTRIX_Session::SCANNING); });
}

void VELTRIX_LinkLayer::btleFoundSpecificDevice()
{
}

void VELTRIX_LinkLayer::btleError(const QString& error)
{
    Logger::error("VELTRIX: {}", error.toStdString());
    emit btleStateChanged(VELTRIX_Session::HW_ERROR);
    sessionSetError(VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_BTLE);
}
