#pragma once

#include "protocol/serial/FSerialPortBackend.h"

#include <QList>
#include <QMutex>

#include <memory>
#include <optional>

// In-memory serial port for tests and simulations. It records what the port
// was asked to do, can echo its own transmission (a single-wire line), can be
// told to fail, and delivers received bytes only through the event loop of its
// thread, never from inside the call that caused them. Two fakes can be joined
// into a line so that each receives what the other writes. The setters and
// getters may be called from any thread.
class FFakeSerialPortBackend : public FSerialPortBackend
{
    Q_OBJECT

public:
    struct LineSettings
    {
        qint32 baudRate = 9600;
        QSerialPort::DataBits dataBits = QSerialPort::Data8;
        QSerialPort::Parity parity = QSerialPort::NoParity;
        QSerialPort::StopBits stopBits = QSerialPort::OneStop;
        QSerialPort::FlowControl flow = QSerialPort::NoFlowControl;
    };

    explicit FFakeSerialPortBackend(QObject* parent = nullptr);
    ~FFakeSerialPortBackend() override;

    // Joins two ports: bytes written to one arrive at the other.
    static void connectLine(FFakeSerialPortBackend* a, FFakeSerialPortBackend* b);

    // --- driving the fake (any thread) ---
    void feedReceived(const QByteArray& bytes);
    void setEcho(bool on);
    void setRefuseOpen(bool refuse, QSerialPort::SerialPortError error = QSerialPort::PermissionError);
    // Makes every baud rate change after the next open fail.
    void setFailBaudRate(bool fail);
    void setFailModemLines(bool fail);
    // A write accepts at most this many bytes (nullopt: all).
    void setWriteLimit(std::optional<qint64> limit);
    // Output that never drains: bytesToWrite() reports it, waiting does not help.
    void setStalledOutput(qint64 bytes);
    // Writes are taken into a buffer, as Qt's, and reach the line this much
    // later, or when drained; a close drops what has not (nullopt: at once).
    void setLateOutput(std::optional<int> delayMs);
    void setAvailablePortNames(const QStringList& names);
    // Emits errorOccurred(error) through the event loop.
    void injectError(QSerialPort::SerialPortError error);

    // --- what the port was asked to do (any thread) ---
    QString portName() const;
    bool isOpenNow() const;
    int openCount() const;
    LineSettings lineSettings() const;
    QList<qint32> baudRateHistory() const;
    bool dtr() const;
    bool rts() const;
    // Every level change in order, e.g. "DTR=0", "RTS=1".
    QStringList modemLineHistory() const;
    QList<QByteArray> writes() const;
    QByteArray writtenBytes() const;
    void clearWrites();
    int clearCount() const;
    int waitForBytesWrittenCount() const;

    // --- FSerialPortBackend ---
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
    struct Line;

    void deliverReceived();
    // Puts bytes on the line: the far end and the echo hear them.
    void transmit(const QByteArray& bytes);
    void transmitPending();
    void setErrorLocked(QSerialPort::SerialPortError error, const QString& text);

    mutable QMutex mMutex;
    std::shared_ptr<Line> mLine;
    QString mName;
    bool mOpen = false;
    int mOpenCount = 0;
    bool mEcho = false;
    bool mRefuseOpen = false;
    QSerialPort::SerialPortError mRefuseError = QSerialPort::PermissionError;
    bool mFailBaudRate = false;
    bool mFailModemLines = false;
    std::optional<qint64> mWriteLimit;
    qint64 mStalled = 0;
    std::optional<int> mLateDelayMs;
    QByteArray mPending;
    QStringList mAvailable;
    LineSettings mSettings;
    QList<qint32> mBaudHistory;
    bool mDtr = false;
    bool mRts = false;
    QStringList mModemHistory;
    QList<QByteArray> mWrites;
    QByteArray mRx;
    bool mDeliveryPending = false;
    int mClearCount = 0;
    int mWaitCount = 0;
    QSerialPort::SerialPortError mError = QSerialPort::NoError;
    QString mErrorString;
};
