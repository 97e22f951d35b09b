#include "tools/support/FFakeSerialPortBackend.h"

#include <QMetaObject>
#include <QMutexLocker>
#include <QTimer>

// Shared by the two ends of a joined line; an end leaves it when destroyed.
struct FFakeSerialPortBackend::Line
{
    QMutex mutex;
    FFakeSerialPortBackend* ends[2] = {nullptr, nullptr};
};

FFakeSerialPortBackend::FFakeSerialPortBackend(QObject* parent)
    : FSerialPortBackend(parent)
{
}

FFakeSerialPortBackend::~FFakeSerialPortBackend()
{
    if (mLine)
    {
        QMutexLocker lock(&mLine->mutex);
        for (auto*& end : mLine->ends)
            if (end == this)
                end = nullptr;
    }
}

void FFakeSerialPortBackend::connectLine(FFakeSerialPortBackend* a, FFakeSerialPortBackend* b)
{
    auto line = std::make_shared<Line>();
    line->ends[0] = a;
    line->ends[1] = b;
    {
        QMutexLocker lock(&a->mMutex);
        a->mLine = line;
    }
    QMutexLocker lock(&b->mMutex);
    b->mLine = line;
}

void FFakeSerialPortBackend::feedReceived(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return;
    QMutexLocker lock(&mMutex);
    mRx.append(bytes);
    if (mDeliveryPending)
        return;
    mDeliveryPending = true;
    QMetaObject::invokeMethod(this, &FFakeSerialPortBackend::deliverReceived, Qt::QueuedConnection);
}

void FFakeSerialPortBackend::deliverReceived()
{
    {
        QMutexLocker lock(&mMutex);
        mDeliveryPending = false;
        if (mRx.isEmpty() || !mOpen)
            return;
    }
    emit readyRead();
}

void FFakeSerialPortBackend::setEcho(bool on)
{
    QMutexLocker lock(&mMutex);
    mEcho = on;
}

void FFakeSerialPortBackend::setRefuseOpen(bool refuse, QSerialPort::SerialPortError error)
{
    QMutexLocker lock(&mMutex);
    mRefuseOpen = refuse;
    mRefuseError = error;
}

void FFakeSerialPortBackend::setFailBaudRate(bool fail)
{
    QMutexLocker lock(&mMutex);
    mFailBaudRate = fail;
}

void FFakeSerialPortBackend::setFailModemLines(bool fail)
{
    QMutexLocker lock(&mMutex);
    mFailModemLines = fail;
}

void FFakeSerialPortBackend::setWriteLimit(std::optional<qint64> limit)
{
    QMutexLocker lock(&mMutex);
    mWriteLimit = limit;
}

void FFakeSerialPortBackend::setStalledOutput(qint64 bytes)
{
    QMutexLocker lock(&mMutex);
    mStalled = bytes;
}

void FFakeSerialPortBackend::setLateOutput(std::optional<int> delayMs)
{
    QMutexLocker lock(&mMutex);
    mLateDelayMs = delayMs;
}

void FFakeSerialPortBackend::setAvailablePortNames(const QStringList& names)
{
    QMutexLocker lock(&mMutex);
    mAvailable = names;
}

void FFakeSerialPortBackend::injectError(QSerialPort::SerialPortError error)
{
    QMetaObject::invokeMethod(
        this,
        [this, error]
        {
            {
                QMutexLocker lock(&mMutex);
                setErrorLocked(error, QStringLiteral("injected error"));
            }
            emit errorOccurred(error);
        },
        Qt::QueuedConnection);
}

QString FFakeSerialPortBackend::portName() const
{
    QMutexLocker lock(&mMutex);
    return mName;
}

bool FFakeSerialPortBackend::isOpenNow() const
{
    QMutexLocker lock(&mMutex);
    return mOpen;
}

int FFakeSerialPortBackend::openCount() const
{
    QMutexLocker lock(&mMutex);
    return mOpenCount;
}

FFakeSerialPortBackend::LineSettings FFakeSerialPortBackend::lineSettings() const
{
    QMutexLocker lock(&mMutex);
    return mSettings;
}

QList<qint32> FFakeSerialPortBackend::baudRateHistory() const
{
    QMutexLocker lock(&mMutex);
    return mBaudHistory;
}

bool FFakeSerialPortBackend::dtr() const
{
    QMutexLocker lock(&mMutex);
    return mDtr;
}

bool FFakeSerialPortBackend::rts() const
{
    QMutexLocker lock(&mMutex);
    return mRts;
}

QStringList FFakeSerialPortBackend::modemLineHistory() const
{
    QMutexLocker lock(&mMutex);
    return mModemHistory;
}

QList<QByteArray> FFakeSerialPortBackend::writes() const
{
    QMutexLocker lock(&mMutex);
    return mWrites;
}

QByteArray FFakeSerialPortBackend::writtenBytes() const
{
    QMutexLocker lock(&mMutex);
    QByteArray all;
    for (const QByteArray& chunk : mWrites)
        all.append(chunk);
    return all;
}

void FFakeSerialPortBackend::clearWrites()
{
    QMutexLocker lock(&mMutex);
    mWrites.clear();
}

int FFakeSerialPortBackend::clearCount() const
{
    QMutexLocker lock(&mMutex);
    return mClearCount;
}

int FFakeSerialPortBackend::waitForBytesWrittenCount() const
{
    QMutexLocker lock(&mMutex);
    return mWaitCount;
}

void FFakeSerialPortBackend::setPortName(const QString& name)
{
    QMutexLocker lock(&mMutex);
    mName = name;
}

void FFakeSerialPortBackend::setErrorLocked(QSerialPort::SerialPortError error, const QString& text)
{
    mError = error;
    mErrorString = text;
}

bool FFakeSerialPortBackend::open(QIODevice::OpenMode)
{
    QSerialPort::SerialPortError error;
    {
        QMutexLocker lock(&mMutex);
        if (!mRefuseOpen)
        {
            mOpen = true;
            ++mOpenCount;
            mRx.clear();
            setErrorLocked(QSerialPort::NoError, QString());
            return true;
        }
        error = mRefuseError;
        setErrorLocked(error, QStringLiteral("Permission denied"));
    }
    emit errorOccurred(error);
    return false;
}

void FFakeSerialPortBackend::close()
{
    QMutexLocker lock(&mMutex);
    mOpen = false;
    mRx.clear();
    mPending.clear();
}

bool FFakeSerialPortBackend::isOpen() const
{
    return isOpenNow();
}

bool FFakeSerialPortBackend::setBaudRate(qint32 baudRate)
{
    {
        QMutexLocker lock(&mMutex);
        mBaudHistory.append(baudRate);
        if (!(mFailBaudRate && mOpen))
        {
            mSettings.baudRate = baudRate;
            return true;
        }
        setErrorLocked(QSerialPort::UnsupportedOperationError, QStringLiteral("Invalid argument"));
    }
    emit errorOccurred(QSerialPort::UnsupportedOperationError);
    return false;
}

bool FFakeSerialPortBackend::setDataBits(QSerialPort::DataBits dataBits)
{
    QMutexLocker lock(&mMutex);
    mSettings.dataBits = dataBits;
    return true;
}

bool FFakeSerialPortBackend::setParity(QSerialPort::Parity parity)
{
    QMutexLocker lock(&mMutex);
    mSettings.parity = parity;
    return true;
}

bool FFakeSerialPortBackend::setStopBits(QSerialPort::StopBits stopBits)
{
    QMutexLocker lock(&mMutex);
    mSettings.stopBits = stopBits;
    return true;
}

bool FFakeSerialPortBackend::setFlowControl(QSerialPort::FlowControl flow)
{
    QMutexLocker lock(&mMutex);
    mSettings.flow = flow;
    return true;
}

bool FFakeSerialPortBackend::setDataTerminalReady(bool high)
{
    QMutexLocker lock(&mMutex);
    if (mFailModemLines || !mOpen)
        return false;
    mDtr = high;
    mModemHistory.append(high ? QStringLiteral("DTR=1") : QStringLiteral("DTR=0"));
    return true;
}

bool FFakeSerialPortBackend::setRequestToSend(bool high)
{
    QMutexLocker lock(&mMutex);
    if (mFailModemLines || !mOpen)
        return false;
    mRts = high;
    mModemHistory.append(high ? QStringLiteral("RTS=1") : QStringLiteral("RTS=0"));
    return true;
}

qint64 FFakeSerialPortBackend::write(const QByteArray& data)
{
    QByteArray accepted;
    std::optional<int> late;
    {
        QMutexLocker lock(&mMutex);
        if (!mOpen)
            return -1;
        accepted = mWriteLimit ? data.left(std::max<qint64>(0, *mWriteLimit)) : data;
        if (accepted.isEmpty())
            return 0;
        late = mLateDelayMs;
        if (late)
            mPending.append(accepted);
    }
    if (!late)
        transmit(accepted);
    else
        QTimer::singleShot(*late, this, &FFakeSerialPortBackend::transmitPending);
    return accepted.size();
}

void FFakeSerialPortBackend::transmitPending()
{
    QByteArray pending;
    {
        QMutexLocker lock(&mMutex);
        pending.swap(mPending);
    }
    if (!pending.isEmpty())
        transmit(pending);
}

void FFakeSerialPortBackend::transmit(const QByteArray& bytes)
{
    std::shared_ptr<Line> line;
    bool echo;
    {
        QMutexLocker lock(&mMutex);
        mWrites.append(bytes);
        line = mLine;
        echo = mEcho;
    }
    if (line)
    {
        QMutexLocker lock(&line->mutex);
        for (auto* end : line->ends)
            if (end && end != this)
                end->feedReceived(bytes);
    }
    if (echo)
        feedReceived(bytes);
}

QByteArray FFakeSerialPortBackend::readAll()
{
    QMutexLocker lock(&mMutex);
    QByteArray all;
    all.swap(mRx);
    return all;
}

qint64 FFakeSerialPortBackend::bytesToWrite() const
{
    QMutexLocker lock(&mMutex);
    return mStalled + mPending.size();
}

bool FFakeSerialPortBackend::waitForBytesWritten(int msecs)
{
    return drain(msecs);
}

bool FFakeSerialPortBackend::drain(int)
{
    {
        QMutexLocker lock(&mMutex);
        ++mWaitCount;
        if (mStalled > 0)
            return false;
    }
    transmitPending();
    return true;
}

bool FFakeSerialPortBackend::clear()
{
    QMutexLocker lock(&mMutex);
    ++mClearCount;
    return true;
}

QSerialPort::SerialPortError FFakeSerialPortBackend::error() const
{
    QMutexLocker lock(&mMutex);
    return mError;
}

QString FFakeSerialPortBackend::errorString() const
{
    QMutexLocker lock(&mMutex);
    return mErrorString;
}

QStringList FFakeSerialPortBackend::availablePortNames() const
{
    QMutexLocker lock(&mMutex);
    return mAvailable;
}
