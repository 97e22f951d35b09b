#pragma once

#include "bootloader/Bootloader.h"
#include "protocol/serial/FSerialPort.h"

#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class QThread;

// Runs one bootloader family in the worker thread "BootloaderThread" on a
// borrowed serial port and turns its reports into texts and a percentage.
//
// Use: setFamily(), setInterface(INTERFACE_UART), setInterfaceName(),
// setLeavePortOpenOnError(), then download(fileName) once the device's
// bootloader runs: the port is wired to the family, set to the family's line
// settings, and the transfer starts when the port confirms them. state(),
// stateChanged(), error() and actionProgress() report; after "Download
// successful" or an error the port is released again.
class BootloaderHandler : public QObject
{
    Q_OBJECT

public:
    enum BLFAMILY
    {
        FAMILY_UNDEF = 0,
        FAMILY_MSP432 = 1,
        FAMILY_TIVA = 2
    };
    Q_ENUM(BLFAMILY)

    enum BLINTERFACE
    {
        INTERFACE_UNDEF = 0,
        INTERFACE_UART = 1
    };
    Q_ENUM(BLINTERFACE)

    // The port is not owned; timing is handed to every family created.
    BootloaderHandler(QObject* parent, FSerialPort* port, BLFAMILY family, BLINTERFACE interface,
                      const BootloaderTiming& timing = {});
    ~BootloaderHandler() override;

    void setFamily(BLFAMILY family);
    BLFAMILY getFamily() const { return mFamilyType; }
    // With connectNow the port is wired to the family at once, as connectUartToFamily() does.
    void setInterface(BLINTERFACE interface, bool connectNow = false);
    BLINTERFACE getInterface() const { return mInterface; }
    void setInterfaceName(const QString& name);
    QString getInterfaceName() const { return mInterfaceName; }
    void setLeavePortOpenOnError(bool leaveOpen);
    bool getLeavePortOpenOnError() const { return mLeavePortOpenOnError; }
    void setFileName(const QString& fileName);
    QString getFileName() const { return mFileName; }

    // Wires family and port and asks the port for the family's line settings;
    // the transfer of the file name set starts when the port confirms them.
    void connectUartToFamily();
    void disconnectBootloader();
    // Ends a transfer that failed or was given up: the family lets go of the
    // port and drops its transfer, and the next upload starts from the
    // sensor's application again.
    void stopTransfer();
    void deleteFamily();
    // True from connecting the port until the transfer ends.
    bool isConnected() const { return mConnected; }
    QString getSupportedFileTypes() const;

    // Records the file name and connects the port: the hand-over.
    void download(QString fileName);
    // Passed on to the family, which only records it.
    void upload(const QString& fileName);
    void changeSettings(BLFAMILY family, BLINTERFACE interface);

    // The family object, for diagnostics and tests; lives in "BootloaderThread".
    Bootloader* family() const { return mFamily.get(); }
    QThread* workerThread() const { return mThread; }

signals:
    void actionProgress(uint8_t percentage);
    void error(QString error);
    void state(QString state);
    // The same change as a value: what to act on, while state() is for the
    // log and the screen. Also for states that have no text.
    void stateChanged(Bootloader::BLSTATE state);
    void openUART(QString PortToOpen, int BaudRate, FSerialPort::DataBits dataBits,
                  FSerialPort::Parity parity, FSerialPort::StopBits stopBits, FSerialPort::FlowControl flow);
    void clearUARTData();
    void closeUART();
    void changeUARTSettings(int BaudRate, FSerialPort::DataBits dataBits, FSerialPort::Parity parity,
                            FSerialPort::StopBits stopBits, FSerialPort::FlowControl flow);
    void downloadFamily(QString fileName);
    void uploadFamily(QString fileName);
    void setDTRPin(bool high);
    void setRTSPin(bool high);
    void log(QString msg);

public slots:
    void progressFamily(uint8_t percentage);
    void stateFamily(Bootloader::BLSTATE state);
    void errorFamily(Bootloader::BLERROR error);

private slots:
    void portSettingsChanged();

private:
    // Deletes through the worker thread's event loop, where the family lives.
    struct LaterDeleter
    {
        void operator()(Bootloader* family) const;
    };

    bool portConnectionsHeld() const;
    void releasePort();
    void disconnectFamily();

    // Lent by its owner, which may go first.
    QPointer<FSerialPort> mPort;
    BLFAMILY mFamilyType = FAMILY_UNDEF;
    BLINTERFACE mInterface = INTERFACE_UNDEF;
    BootloaderTiming mTiming;
    std::unique_ptr<Bootloader, LaterDeleter> mFamily;
    QThread* mThread = nullptr;
    mutable QMutex mSettingsMutex;
    Bootloader::InterfaceSettings mSettings;
    QString mInterfaceName;
    bool mConnected = false;
    QString mFileName;
    bool mLeavePortOpenOnError = false;
};
