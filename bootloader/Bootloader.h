#pragma once

#include "protocol/VELTRIX_Timing.h"
#include "protocol/serial/FSerialPort.h"

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>

#include <array>
#include <cstdint>

// Base of the microcontroller families that take a firmware image over a
// serial line. A family lives in the handler's worker thread and talks to the
// port only through its signals and slots.
class Bootloader : public QObject
{
    Q_OBJECT

public:
    enum BLACTION
    {
        BLACTION_UNDEF = 0,
        BLACTION_DOWNLOAD = 1,
        BLACTION_UPLOAD = 2
    };
    Q_ENUM(BLACTION)

    enum BLSTATE
    {
        BLSTATE_UNDEF = 0,
        BLSTATE_CONNECTION_STARTED = 2,
        BLSTATE_CONNECTED = 3,
        BLSTATE_UPLOAD_STARTED = 4,
        BLSTATE_UPLOAD_SUCCESSFULL = 5,
        BLSTATE_DOWNLOAD_STARTED = 6,
        BLSTATE_DOWNLOAD_SUCCESSFULL = 7,
        BLSTATE_ERROR = 255
    };
    Q_ENUM(BLSTATE)

    enum BLERROR
    {
        BLERROR_NOERROR = 0,
        BLERROR_INTERFACE_CANT_OPEN = 1,
        BLERROR_INTERFACE_IS_NOT_OPEN = 2,
        BLERROR_INTERFACE_COM_ERROR = 3,
        BLERROR_INTERFACE_MISC = 4,
        BLERROR_CHECKSUM = 5,
        BLERROR_NO_RESPONSE_FROM_DEVICE = 6,
        BLERROR_TIMEOUT = 7,
        BLERROR_RX_BUFFER_EMPTY = 8,
        BLERROR_CANT_PARSE_FILE = 9,
        BLERROR_FILE_CONTAINS_BL = 10,
        // The image is in, but the command that leaves the loader did not
        // leave the port: the device may still be in its bootloader.
        BLERROR_RESET_NOT_SENT = 11
    };
    Q_ENUM(BLERROR)

    // Line settings a family needs on the serial port.
    struct InterfaceSettings
    {
        // flags[0]: the family talks over a UART, so there are port connections
        // to release; the others are kept as the families define them.
        std::array<bool, 7> flags{};
        int baudRate = 0;
        FSerialPort::DataBits dataBits = FSerialPort::Data8;
        FSerialPort::Parity parity = FSerialPort::NoParity;
        FSerialPort::StopBits stopBits = FSerialPort::OneStop;
        FSerialPort::FlowControl flowControl = FSerialPort::NoFlowControl;
        // Passed with every write: the port then swallows the echo of a single-wire line.
        bool halfDuplex = false;
        QString fileFilter;
    };

    explicit Bootloader(QObject* parent);
    ~Bootloader() override;

    virtual InterfaceSettings getInterfaceSettings() const = 0;

    // Text reported for a state; empty for BLSTATE_UNDEF and unknown values.
    static QString stateText(BLSTATE state);
    // Translated text reported for an error; empty for BLERROR_NOERROR and unknown values.
    static QString errorText(BLERROR error);
    // BLERROR_NOERROR for QSerialPort::NoError, which is no failure.
    static BLERROR mapSerialPortError(QSerialPort::SerialPortError error);

    BLSTATE currentState() const { return mState; }
    BLERROR currentError() const { return mError; }
    BLACTION pendingAction() const { return mAction; }
    bool isBusy() const { return mBusy; }

public slots:
    virtual void upload(QString fileName) = 0;
    virtual void download(QString fileName) = 0;
    virtual void newDataReadyFromInterface(QByteArray data) = 0;
    void errorOccurredOnInterface(QSerialPort::SerialPortError error);
    virtual void dataWrittenToInterface() = 0;
    // Drops a running transfer at once, without an error: the caller gave up
    // on it (an abort) and the next transfer must not find the family busy.
    void cancel();

signals:
    void writeDataToInterface(QByteArray data, bool halfDuplex);
    // Connect blocking: the port writes the result through the pointer.
    void setNewBaudrate(uint baudrate, bool* success);
    void error(Bootloader::BLERROR error);
    void state(Bootloader::BLSTATE state);
    void progress(uint8_t percentage);
    void log(QString msg);

protected:
    // 8E1 without flow control on a single-wire line, as both families' loaders talk.
    static InterfaceSettings singleWireUartSettings(int baudRate);
    // Emits the state only when it changes.
    void setState(BLSTATE newState);
    // Reports the failure (every time, so that a repeated failure is heard
    // too), enters BLSTATE_ERROR and lets the family drop its transfer.
    void setError(BLERROR newError);
    // Refuses a second transfer while one runs; true when refused. The
    // running transfer goes on untouched.
    bool refuseWhileBusy();
    void writeToInterface(const QByteArray& data);
    // What a failure of the port means for the transfer at this point.
    virtual BLERROR interfaceFailure(BLERROR mapped) const { return mapped; }
    // Writes handed to the port since the family object was made.
    qint64 writesSent() const { return mWritesSent; }
    // Ends the family's transfer: timers stopped, buffers and counters cleared.
    virtual void clearTransfer() = 0;

    bool mRunning = false;
    bool mBusy = false;
    BLACTION mAction = BLACTION_UNDEF;
    BLERROR mError = BLERROR_NOERROR;

private:
    BLSTATE mState = BLSTATE_UNDEF;
    qint64 mWritesSent = 0;
};
