#pragma once

#include "protocol/VELTRIX_Timing.h"
#include "protocol/serial/FSerialLine.h"
#include "protocol/serial/FSerialPortBackend.h"

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QStringList>
#include <QTimer>

// Serial port wrapper of the protocol stack. Lives in a worker thread of its
// own and is driven through queued calls; adds single-wire (half-duplex)
// writes with echo suppression, confirmed DTR/RTS changes, baud rate changes
// on an open port, cyclic transmission, port listing with change detection
// and error reports without repeats.
class FSerialPort : public QObject, public FSerialLine
{
    Q_OBJECT

public:
    // Without a factory the port drives a real QSerialPort. Pending output
    // gets its line time and `drainSlackMs` more to leave before the port
    // counts as stalled: a stalled port must not hang its thread.
    explicit FSerialPort(QObject* parent = nullptr, const FSerialPortBackendFactory& backendFactory = {},
                         int drainSlackMs = VELTRIX_LinkTiming().drainSlackMs);
    ~FSerialPort() override;

    // Bits one character occupies on the line: start bit, data bits, parity
    // bit if any and the stop bits (one and a half counts as two).
    static int bitsPerCharacter(DataBits dataBits, Parity parity, StopBits stopBits);
    // Time the given number of characters needs on the line, plus 5 %.
    static qint64 lineTimeNs(qint64 bytes, int bitsPerChar, quint32 baudRate);

    // Keeps `stored` as the last reported port list; true if `current`
    // differs from it other than in order. An empty list always counts as a
    // change while nothing is stored.
    static bool updatePortList(QStringList& stored, const QStringList& current);

    // Registers the enumerations for queued connections; safe to call repeatedly.
    static void registerMetaTypes();

    // Only for tests and diagnostics; owned by this object.
    FSerialPortBackend* backend() const { return mPort; }
    bool isPortOpen() const { return mOpen; }
    QString portName() const { return mPortName; }

public slots:
    void openPort(const QString& PortToOpen, int BaudRate, FSerialPort::DataBits dataBits,
                  FSerialPort::Parity parity, FSerialPort::StopBits stopBits, FSerialPort::FlowControl flow);
    void closePort();
    void writeDataToPort(const QByteArray& data, bool bSingleWireTransmission = false);
    void writeDataToPortContinuously(const QByteArray& data, bool stop, int msIntervall);
    void getAvailablePorts();
    void setDTRPin(bool high);
    void setRTSPin(bool high);
    void getCurrentBaudrate(quint32* ulBaudrate);
    // Call directly or through a blocking queued connection: the result is
    // written through the pointer before the call returns.
    void setNewBaudrate(uint ulBaudrate, bool* bSuccess);
    void changeSettings(int BaudRate, FSerialPort::DataBits dataBits, FSerialPort::Parity parity,
                        FSerialPort::StopBits stopBits, FSerialPort::FlowControl flow);
    // The system no longer lists the port (its adapter was unplugged): if it
    // is the open one, the line is lost as on a hang-up.
    void dropLine(const QString& portName);

signals:
    void newDataReadyFromPort(const QByteArray& data);
    void finishedOpenPort(bool open);
    void availablePorts(QStringList Ports, bool DataChanged);
    void putPortOutputToLog(QByteArray data, bool bOut);
    void errorOccuredOnPort(QSerialPort::SerialPortError error);
    void rtsSet();
    void dtrSet();
    void dataWrittenToPort();
    void settingsChanged();
    void log(const QString& message);
    // The open port failed for good (the adapter was pulled, the line hung
    // up): it has been closed, once per opening.
    void lineLost();

private slots:
    void dataReady();
    void sendData();
    void errorOccurred(QSerialPort::SerialPortError error);
    void loseLine();

private:
    bool applyLineSettings(int baudRate, DataBits dataBits, Parity parity, StopBits stopBits,
                           FlowControl flow);
    void reportError(QSerialPort::SerialPortError error);
    // Starts handling a loss of the open line, once per opening.
    void beginLoss(const QString& reason);
    // Waits until what is pending (and `bytes` just handed over) has left
    // the port, for its line time and some slack; false if it did not.
    bool drainOutput(qint64 bytes);

    const int mDrainSlackMs;
    FSerialPortBackend* mPort = nullptr;
    QTimer* mSendTimer = nullptr;
    QByteArray mCyclicBuffer;
    QStringList mLastPorts;
    quint32 mBaudrate = 0;
    QString mPortName;
    bool mOpen = false;
    qint64 mEchoBytes = 0;
    QSerialPort::SerialPortError mLastError = QSerialPort::NoError;
    // A loss is being handled: the errors the dead port keeps raising until
    // it is closed are no new losses.
    bool mLosing = false;
    // Kept to time single-wire writes.
    DataBits mDataBits = Data8;
    Parity mParity = NoParity;
    StopBits mStopBits = OneStop;
};
