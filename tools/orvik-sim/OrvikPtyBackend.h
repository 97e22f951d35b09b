#pragma once

#include "protocol/serial/FSerialPortBackend.h"
#include "tools/orvik-sim/OrvikPseudoTerminal.h"

#include <QByteArray>

#include <cstdint>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace Hvd::Weft::Simulator
{

// The sensor's side of the line: the master end of a pseudo-terminal under
// FSerialPort. It also plays the single-wire adapter, which hears everything
// on the wire: every received byte goes straight back to the sender before
// the sensor sees it. A pseudo-terminal has no modem lines, so line
// settings and DTR/RTS are accepted and only remembered; the speed the far
// side set is shared with this side and handed to the listener.
class OrvikPtyBackend : public FSerialPortBackend
{
    Q_OBJECT

public:
    // Bytes as they arrived and the line speed they were sent at (0 when it
    // cannot be read); false when the sensor cannot make sense of them.
    using Listener = std::function<bool(const QByteArray& bytes, std::uint32_t baudrate)>;

    OrvikPtyBackend(std::shared_ptr<const OrvikPseudoTerminal> terminal, bool adapterEcho,
                    Listener listener = {}, QObject* parent = nullptr);
    ~OrvikPtyBackend() override;

    void setPortName(const QString& name) override { mName = name; }
    bool open(QIODevice::OpenMode mode) override;
    void close() override;
    bool isOpen() const override { return mNotifier != nullptr; }
    bool setBaudRate(qint32 baudRate) override;
    bool setDataBits(QSerialPort::DataBits) override { return true; }
    bool setParity(QSerialPort::Parity) override { return true; }
    bool setStopBits(QSerialPort::StopBits) override { return true; }
    bool setFlowControl(QSerialPort::FlowControl) override { return true; }
    bool setDataTerminalReady(bool) override { return true; }
    bool setRequestToSend(bool) override { return true; }
    qint64 write(const QByteArray& data) override;
    QByteArray readAll() override;
    qint64 bytesToWrite() const override { return 0; }
    bool waitForBytesWritten(int) override { return true; }
    // Writes go to the pseudo-terminal at once; nothing is left to wait for.
    bool drain(int) override { return isOpen(); }
    bool clear() override { return true; }
    QSerialPort::SerialPortError error() const override { return mError; }
    QString errorString() const override { return mErrorString; }
    QStringList availablePortNames() const override;

    qint32 baudRate() const { return mBaudRate; }

private:
    void readable();

    std::shared_ptr<const OrvikPseudoTerminal> mTerminal;
    const bool mAdapterEcho;
    Listener mListener;
    QString mName;
    QSocketNotifier* mNotifier = nullptr;
    QByteArray mReceived;
    qint32 mBaudRate = 0;
    QSerialPort::SerialPortError mError = QSerialPort::NoError;
    QString mErrorString;
};

} // namespace Hvd::Weft::Simulator
