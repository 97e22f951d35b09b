#include "protocol/serial/FQtSerialPortBackend.h"

#include <QDeadlineTimer>
#include <QSerialPortInfo>
#include <QThread>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <cerrno>

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#endif

FQtSerialPortBackend::FQtSerialPortBackend(ModemLines modemLines, QObject* parent)
    : FSerialPortBackend(parent)
    , mPort(new QSerialPort(this))
    , mModemLines(modemLines)
{
    connect(mPort, &QSerialPort::readyRead, this, &FSerialPortBackend::readyRead);
    connect(mPort, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError error)
            {
                if (!mSwallowErrors)
                    emit errorOccurred(error);
            });
}

void FQtSerialPortBackend::setPortName(const QString& name)
{
    mPort->setPortName(name);
}

bool FQtSerialPortBackend::open(QIODevice::OpenMode mode)
{
    return mPort->open(mode);
}

void FQtSerialPortBackend::close()
{
    mPort->close();
}

bool FQtSerialPortBackend::isOpen() const
{
    return mPort->isOpen();
}

bool FQtSerialPortBackend::setBaudRate(qint32 baudRate)
{
    return mPort->setBaudRate(baudRate, QSerialPort::AllDirections);
}

bool FQtSerialPortBackend::setDataBits(QSerialPort::DataBits dataBits)
{
    return mPort->setDataBits(dataBits);
}

bool FQtSerialPortBackend::setParity(QSerialPort::Parity parity)
{
    // Opening applies the stored parity already. Some terminals (pseudo-
    // terminals) refuse the same parity a second time, which made every
    // second open of one port fail.
    if (mPort->isOpen() && mPort->parity() == parity)
        return true;
    return mPort->setParity(parity);
}

bool FQtSerialPortBackend::setStopBits(QSerialPort::StopBits stopBits)
{
    return mPort->setStopBits(stopBits);
}

bool FQtSerialPortBackend::setFlowControl(QSerialPort::FlowControl flow)
{
    return mPort->setFlowControl(flow);
}

bool FQtSerialPortBackend::setModemLine(const std::function<bool()>& change)
{
    if (mModemLines == ModemLines::Required)
        return change();
    mSwallowErrors = true;
    bool done = change();
    if (!done && mPort->error() == QSerialPort::UnsupportedOperationError)
    {
        // The device has no modem lines at all (a pseudo-terminal).
        mPort->clearError();
        done = true;
    }
    mSwallowErrors = false;
    return done;
}

bool FQtSerialPortBackend::setDataTerminalReady(bool high)
{
    return setModemLine([this, high] { return mPort->setDataTerminalReady(high); });
}

bool FQtSerialPortBackend::setRequestToSend(bool high)
{
    return setModemLine([this, high] { return mPort->setRequestToSend(high); });
}

qint64 FQtSerialPortBackend::write(const QByteArray& data)
{
    const qint64 written = mPort->write(data);
    // QSerialPort only queues the bytes; push them to the driver now.
    if (written > 0)
        mPort->flush();
    return written;
}

QByteArray FQtSerialPortBackend::readAll()
{
    return mPort->readAll();
}

qint64 FQtSerialPortBackend::bytesToWrite() const
{
    return mPort->bytesToWrite();
}

bool FQtSerialPortBackend::waitForBytesWritten(int msecs)
{
    return mPort->waitForBytesWritten(msecs);
}

bool FQtSerialPortBackend::lineGone()
{
    // Found while waiting for output rather than by a read: said as the
    // port would say it, so that the loss is heard before the failed write.
    if (!mSwallowErrors)
        emit errorOccurred(QSerialPort::ResourceError);
    return false;
}

bool FQtSerialPortBackend::drain(int msecs)
{
    if (!mPort->isOpen())
        return false;
    const QDeadlineTimer deadline(msecs);
#ifdef Q_OS_UNIX
    // Polled instead of waitForBytesWritten(), whose timeout would be
    // reported as a port error.
    const int fd = static_cast<int>(mPort->handle());
    while (mPort->bytesToWrite() > 0)
    {
        if (!mPort->flush())
            return false;
        if (mPort->bytesToWrite() == 0)
            break;
        // Flushed again only once the device takes bytes: a flush into a
        // full queue would be reported as a port error.
        pollfd writable{fd, POLLOUT, 0};
        while (!(writable.revents & POLLOUT))
        {
            if (deadline.hasExpired())
                return false;
            writable.revents = 0;
            ::poll(&writable, 1, static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
            if (writable.revents & (POLLERR | POLLHUP | POLLNVAL))
                return lineGone();
        }
    }
    // Qt's buffer is empty; the driver may still hold the bytes. Closing or
    // changing the speed now (Qt puts the old settings back at once when it
    // closes) would cut them off or send them at the wrong rate.
    int queued = 0;
    while (::ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0)
    {
        if (deadline.hasExpired())
            return false;
        QThread::usleep(500);
    }
    // What is left is the adapter's own transmit buffer, a few characters;
    // without flow control nothing holds them back.
    while (::tcdrain(fd) != 0)
    {
        if (errno == EIO || errno == ENXIO || errno == ENODEV)
            return lineGone();
        if (errno != EINTR)
            return false;
    }
    return true;
#else
    while (mPort->bytesToWrite() > 0)
    {
        if (deadline.hasExpired() ||
            !mPort->waitForBytesWritten(static_cast<int>(std::max<qint64>(1, deadline.remainingTime()))))
            return false;
    }
    return true;
#endif
}

bool FQtSerialPortBackend::clear()
{
    return mPort->clear(QSerialPort::AllDirections);
}

QSerialPort::SerialPortError FQtSerialPortBackend::error() const
{
    return mPort->error();
}

QString FQtSerialPortBackend::errorString() const
{
    return mPort->errorString();
}

QStringList FQtSerialPortBackend::availablePortNames() const
{
    QStringList names;
    const auto ports = QSerialPortInfo::availablePorts();
    names.reserve(ports.size());
    for (const QSerialPortInfo& info : ports)
        names.append(info.portName());
    return names;
}
