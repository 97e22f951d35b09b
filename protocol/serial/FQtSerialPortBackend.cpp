#include "protocol/serial/FQtSerialPortBackend.h"

#include <QElapsedTimer>
#include <QSerialPortInfo>

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
    // close() drops what is still in Qt's write buffer. The last bytes before
    // a release (a loader's reboot command, sent unanswered just before the
    // port is given back) must still reach the line.
    QElapsedTimer clock;
    clock.start();
    while (mPort->isOpen() && mPort->bytesToWrite() > 0 && clock.elapsed() < closeDrainMs)
    {
        if (!mPort->waitForBytesWritten(static_cast<int>(closeDrainMs - clock.elapsed())))
            break;
    }
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
