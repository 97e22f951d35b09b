#include "protocol/serial/FSerialPort.h"

#include "protocol/serial/FPreciseWait.h"
#include "protocol/serial/FQtSerialPortBackend.h"

#include <QDebug>
#include <QMetaType>

#include <algorithm>

FSerialPort::FSerialPort(QObject* parent, const FSerialPortBackendFactory& backendFactory, int drainSlackMs)
    : QObject(parent)
    , mDrainSlackMs(drainSlackMs)
    , mSendTimer(new QTimer(this))
{
    registerMetaTypes();
    std::unique_ptr<FSerialPortBackend> backend =
        backendFactory ? backendFactory() : std::make_unique<FQtSerialPortBackend>();
    if (!backend)
        backend = std::make_unique<FQtSerialPortBackend>();
    mPort = backend.release();
    mPort->setParent(this);

    mSendTimer->setTimerType(Qt::PreciseTimer);
    connect(mPort, &FSerialPortBackend::readyRead, this, &FSerialPort::dataReady);
    connect(mPort, &FSerialPortBackend::errorOccurred, this, &FSerialPort::errorOccurred);
    connect(mSendTimer, &QTimer::timeout, this, &FSerialPort::sendData);
}

FSerialPort::~FSerialPort()
{
    mSendTimer->stop();
    if (mPort->isOpen())
    {
        drainOutput(0);
        mPort->close();
    }
}

void FSerialPort::registerMetaTypes()
{
    qRegisterMetaType<FSerialPort::DataBits>("FSerialPort::DataBits");
    qRegisterMetaType<FSerialPort::Parity>("FSerialPort::Parity");
    qRegisterMetaType<FSerialPort::StopBits>("FSerialPort::StopBits");
    qRegisterMetaType<FSerialPort::FlowControl>("FSerialPort::FlowControl");
    qRegisterMetaType<QSerialPort::SerialPortError>("QSerialPort::SerialPortError");
    qRegisterMetaType<quint32*>("quint32*");
    qRegisterMetaType<bool*>("bool*");
}

int FSerialPort::bitsPerCharacter(DataBits dataBits, Parity parity, StopBits stopBits)
{
    int bits = parity == NoParity ? 2 : 3;
    // One and a half stop bits are rounded up so the wait never ends early.
    if (stopBits == TwoStop || stopBits == OneAndHalfStop)
        ++bits;
    return bits + static_cast<int>(dataBits);
}

qint64 FSerialPort::lineTimeNs(qint64 bytes, int bitsPerChar, quint32 baudRate)
{
    if (baudRate == 0 || bytes <= 0)
        return 0;
    // bytes × bits × 1.05 / baud seconds, in integers to stay exact.
    return bytes * bitsPerChar * 1'050'000'000LL / baudRate;
}

bool FSerialPort::drainOutput(qint64 bytes)
{
    const int bits = bitsPerCharacter(mDataBits, mParity, mStopBits);
    const qint64 lineMs = lineTimeNs(bytes + mPort->bytesToWrite(), bits, mBaudrate) / 1'000'000;
    return mPort->drain(static_cast<int>(lineMs + mDrainSlackMs));
}

bool FSerialPort::applyLineSettings(int baudRate, DataBits dataBits, Parity parity, StopBits stopBits,
                                    FlowControl flow)
{
    if (!mPort->setBaudRate(baudRate) || !mPort->setDataBits(static_cast<QSerialPort::DataBits>(dataBits)) ||
        !mPort->setParity(static_cast<QSerialPort::Parity>(parity)) ||
        !mPort->setStopBits(static_cast<QSerialPort::StopBits>(stopBits)) ||
        !mPort->setFlowControl(static_cast<QSerialPort::FlowControl>(flow)))
        return false;
    mDataBits = dataBits;
    mParity = parity;
    mStopBits = stopBits;
    return true;
}

void FSerialPort::openPort(const QString& PortToOpen, int BaudRate, FSerialPort::DataBits dataBits,
                           FSerialPort::Parity parity, FSerialPort::StopBits stopBits,
                           FSerialPort::FlowControl flow)
{
    mPort->setPortName(PortToOpen);
    QString message;
    if (!mPort->open(QIODevice::ReadWrite))
        message = QStringLiteral("Could not open port: ") + mPort->errorString();
    else if (!applyLineSettings(BaudRate, dataBits, parity, stopBits, flow))
        message = QStringLiteral("Could not set baudrate: ") + mPort->errorString();

    if (message.isEmpty())
    {
        // A new opening: its first failure is reported, even if the last
        // one ended with the same code.
        mLastError = QSerialPort::NoError;
        mBaudrate = static_cast<quint32>(BaudRate);
        mPortName = PortToOpen;
        mOpen = true;
        emit finishedOpenPort(true);
        return;
    }

    emit log(message);
    mOpen = false;
    mCyclicBuffer.clear();
    mSendTimer->stop();
    mPort->close();
    mPortName.clear();
    emit finishedOpenPort(false);
    mBaudrate = 0;
}

void FSerialPort::closePort()
{
    mCyclicBuffer.clear();
    mSendTimer->stop();
    // Closing a port that is not open is reported by Qt as an error, which
    // would read as a port that could not be opened. What was written last (a
    // loader's reboot, sent unanswered) must be on the line before the close
    // drops Qt's buffer and puts the old line settings back.
    if (mPort->isOpen())
    {
        drainOutput(0);
        mPort->close();
    }
    mBaudrate = 0;
    mPortName.clear();
    mOpen = false;
    mEchoBytes = 0;
    emit finishedOpenPort(false);
}

void FSerialPort::changeSettings(int BaudRate, FSerialPort::DataBits dataBits, FSerialPort::Parity parity,
                                 FSerialPort::StopBits stopBits, FSerialPort::FlowControl flow)
{
    if (applyLineSettings(BaudRate, dataBits, parity, stopBits, flow))
    {
        mBaudrate = static_cast<quint32>(BaudRate);
        emit settingsChanged();
    }
    else
    {
        emit errorOccuredOnPort(mPort->error());
    }
}

void FSerialPort::writeDataToPort(const QByteArray& data, bool bSingleWireTransmission)
{
    mEchoBytes = 0;
    const int bits = bitsPerCharacter(mDataBits, mParity, mStopBits);

    // A closed port accepts nothing; it is reported like any other short write.
    const qint64 written = mOpen ? mPort->write(data) : -1;
    if (written < data.size())
    {
        reportError(QSerialPort::WriteError);
        return;
    }

    if (bSingleWireTransmission)
    {
        // Our own bytes come back on a single-wire line; swallow them once
        // they have left. No events are processed while waiting, so the echo
        // is read only afterwards.
        mEchoBytes = written;
        FPreciseWaitNs(lineTimeNs(written, bits, mBaudrate));
    }
    // The confirmation means the bytes have left the port: a caller that ends
    // on it (a loader's reboot, sent unanswered) may close the port next.
    if (!drainOutput(written))
    {
        reportError(QSerialPort::WriteError);
        return;
    }
    emit dataWrittenToPort();
}

void FSerialPort::dataReady()
{
    QByteArray data = mPort->readAll();
    if (data.isEmpty())
        return;
    if (mEchoBytes > 0)
    {
        if (mEchoBytes >= data.size())
        {
            mEchoBytes -= data.size();
            return;
        }
        data.remove(0, mEchoBytes);
        mEchoBytes = 0;
    }
    emit newDataReadyFromPort(data);
}

void FSerialPort::writeDataToPortContinuously(const QByteArray& data, bool stop, int msIntervall)
{
    mCyclicBuffer = data;
    if (stop)
        mSendTimer->stop();
    else
        mSendTimer->start(msIntervall);
}

void FSerialPort::sendData()
{
    emit putPortOutputToLog(mCyclicBuffer, true);
    mPort->write(mCyclicBuffer);
}

bool FSerialPort::updatePortList(QStringList& stored, const QStringList& current)
{
    if (stored.isEmpty())
    {
        stored = current;
        return true;
    }
    if (current.isEmpty())
    {
        stored.clear();
        return true;
    }
    if (current.size() != stored.size())
    {
        stored = current;
        return true;
    }
    QStringList sortedCurrent = current;
    std::sort(sortedCurrent.begin(), sortedCurrent.end());
    std::sort(stored.begin(), stored.end());
    if (sortedCurrent == stored)
        return false;
    stored = sortedCurrent;
    return true;
}

void FSerialPort::getAvailablePorts()
{
    const QStringList names = mPort->availablePortNames();
    const bool changed = updatePortList(mLastPorts, names);
    emit availablePorts(names, changed);
}

void FSerialPort::setDTRPin(bool high)
{
    if (mPort->setDataTerminalReady(high))
    {
        emit dtrSet();
        return;
    }
    qDebug() << "FSerialPort: Couldn`t set DTR!";
    emit log(QStringLiteral("Could not set DTR"));
}

void FSerialPort::setRTSPin(bool high)
{
    if (mPort->setRequestToSend(high))
    {
        emit rtsSet();
        return;
    }
    qDebug() << "FSerialPort: Couldn`t set RTS!";
    emit log(QStringLiteral("Could not set RTS"));
}

void FSerialPort::getCurrentBaudrate(quint32* ulBaudrate)
{
    if (ulBaudrate)
        *ulBaudrate = mBaudrate;
}

void FSerialPort::setNewBaudrate(uint ulBaudrate, bool* bSuccess)
{
    bool ok = false;
    if (mOpen)
    {
        // Bytes still queued must leave at the old rate; a stalled port
        // changes anyway.
        drainOutput(0);

        if (mPort->setBaudRate(static_cast<qint32>(ulBaudrate)))
        {
            mBaudrate = ulBaudrate;
            ok = true;
            mPort->clear();
            emit log(QStringLiteral("Changed baudrate ") + QString::number(ulBaudrate));
        }
        else
        {
            emit log(QStringLiteral("Could not change baudrate"));
            mCyclicBuffer.clear();
            mSendTimer->stop();
            mPort->close();
            mOpen = false;
            mBaudrate = 0;
            mPortName.clear();
            emit finishedOpenPort(false);
        }
    }
    if (bSuccess)
        *bSuccess = ok;
}

void FSerialPort::errorOccurred(QSerialPort::SerialPortError error)
{
    // A read that fails, or a device that has gone (the kernel hangs the
    // line up when a USB adapter is pulled), ends the opening: nothing will
    // ever be heard on it again. Said before the error itself, so that the
    // loss reaches the stack ahead of what a borrower of the port (a loader)
    // makes of the error; the close follows from the event loop, not from
    // inside the port's own error report.
    if ((error == QSerialPort::ReadError || error == QSerialPort::ResourceError) && mOpen && !mLosing)
        beginLoss(mPort->errorString());
    reportError(error);
}

void FSerialPort::dropLine(const QString& portName)
{
    if (!mOpen || mLosing || portName != mPortName)
        return;
    beginLoss(QStringLiteral("the port is no longer listed"));
    reportError(QSerialPort::ResourceError);
}

void FSerialPort::beginLoss(const QString& reason)
{
    mLosing = true;
    emit log(QStringLiteral("Connection lost: ") + reason);
    emit lineLost();
    QMetaObject::invokeMethod(this, &FSerialPort::loseLine, Qt::QueuedConnection);
}

void FSerialPort::loseLine()
{
    // Still losing while closing: the close's own failures on the dead port
    // (the drain finds it hung up) are no second loss.
    if (mOpen)
        closePort();
    mLosing = false;
}

void FSerialPort::reportError(QSerialPort::SerialPortError error)
{
    if (error == mLastError)
        return;
    mLastError = error;
    emit errorOccuredOnPort(error);
}
