#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

// The device under FSerialPort. The real one drives a QSerialPort; the
// in-memory one lets the protocol stack run without hardware. Both live in
// the thread of the FSerialPort that owns them.
class FSerialPortBackend : public QObject
{
    Q_OBJECT

public:
    explicit FSerialPortBackend(QObject* parent = nullptr)
        : QObject(parent)
    {
    }
    ~FSerialPortBackend() override = default;

    virtual void setPortName(const QString& name) = 0;
    virtual bool open(QIODevice::OpenMode mode) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    virtual bool setBaudRate(qint32 baudRate) = 0;
    virtual bool setDataBits(QSerialPort::DataBits dataBits) = 0;
    virtual bool setParity(QSerialPort::Parity parity) = 0;
    virtual bool setStopBits(QSerialPort::StopBits stopBits) = 0;
    virtual bool setFlowControl(QSerialPort::FlowControl flow) = 0;

    virtual bool setDataTerminalReady(bool high) = 0;
    virtual bool setRequestToSend(bool high) = 0;

    // Hands the bytes to the device and starts sending them at once, so that
    // a caller timing the line sees them leave during its wait.
    virtual qint64 write(const QByteArray& data) = 0;
    virtual QByteArray readAll() = 0;
    virtual qint64 bytesToWrite() const = 0;
    virtual bool waitForBytesWritten(int msecs) = 0;
    // Blocks until every byte handed to write() has left the port: Qt's
    // buffer written to the device and the operating system's output queue
    // empty. False when that did not happen within msecs or the device failed.
    virtual bool drain(int msecs) = 0;
    virtual bool clear() = 0;

    virtual QSerialPort::SerialPortError error() const = 0;
    virtual QString errorString() const = 0;

    // Names of the serial ports present on this machine, in the order the
    // system reports them.
    virtual QStringList availablePortNames() const = 0;

signals:
    void readyRead();
    void errorOccurred(QSerialPort::SerialPortError error);
};

// Creates the backend for a new FSerialPort; an empty factory means the real port.
using FSerialPortBackendFactory = std::function<std::unique_ptr<FSerialPortBackend>()>;
