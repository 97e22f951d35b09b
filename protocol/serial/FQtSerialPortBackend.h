#pragma once

#include "protocol/serial/FSerialPortBackend.h"

#include <QSerialPort>

#include <functional>

// The real serial port. A pseudo-terminal has no modem lines; with
// ModemLines::TolerateMissing a refused DTR/RTS change on such a device counts
// as done, so the stack can run end to end over a pty pair. Real adapters use
// ModemLines::Required, where a refusal is reported as it happened.
class FQtSerialPortBackend : public FSerialPortBackend
{
    Q_OBJECT

public:
    enum class ModemLines
    {
        Required,
        TolerateMissing
    };

    explicit FQtSerialPortBackend(ModemLines modemLines = ModemLines::Required, QObject* parent = nullptr);

    void setPortName(const QString& name) override;
    bool open(QIODevice::OpenMode mode) override;
    void close() override;
    bool isOpen() const override;
    bool setBaudRate(qint32 baudRate) override;
    bool setDataBits(QSerialPort::DataBits dataBits) override;
    bool setParity(QSerialPort::Parity parity) override;
    bool setStopBits(QSerialPort::StopBits stopBits) override;
    bool setFlowControl(QSerialPort::FlowControl flow) override;
    bool setDataTerminalReady(bool high) override;
    bool setRequestToSend(bool high) override;
    qint64 write(const QByteArray& data) override;
    QByteArray readAll() override;
    qint64 bytesToWrite() const override;
    bool waitForBytesWritten(int msecs) override;
    bool drain(int msecs) override;
    bool clear() override;
    QSerialPort::SerialPortError error() const override;
    QString errorString() const override;
    QStringList availablePortNames() const override;

private:
    // The device hung up while output was drained: reports it, returns false.
    bool lineGone();
    // Runs a modem-line change; a device without modem lines may refuse it.
    bool setModemLine(const std::function<bool()>& change);

    QSerialPort* mPort;
    ModemLines mModemLines;
    // Set while a refused modem-line change is being forgiven, so that the
    // refusal is not passed on as a port error.
    bool mSwallowErrors = false;
};
