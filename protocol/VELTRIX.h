#pragma once

#include "protocol/VELTRIX_LinkLayer.h"
#include "protocol/VELTRIX_Session.h"
#include "protocol/VELTRIX_SessionInfo.h"
#include "protocol/serial/FSerialPort.h"

#include <QObject>
#include <QStringList>

#include <functional>

class QTimer;
class VELTRIX_MASTER_AppLayer;
class VELTRIX_SLAVE_AppLayer;

// What a facade may be built with besides the hardware kind; the defaults are
// those of the running program, tests shorten the times and swap the port.
struct VELTRIX_Options
{
    // Every wait of the stack; the link layer, the master application layer
    // and the port scan take theirs from here.
    VELTRIX_Timing timing;
    // Empty: the real serial port.
    FSerialPortBackendFactory backendFactory;
    // Names of the serial ports present; empty: those the system reports.
    std::function<QStringList()> portLister;
    // Empty: the system's Bluetooth adapter (hardware kind VELTRIX_HW_BTLE only).
    BTLE_BackendFactory btleBackendFactory;
};

// The protocol stack as the rest of the program sees it: owns the link layer
// and both application layers, wires them together and offers ports,
// sessions and version information through a few slots and four signals.
// All slots must be called from the thread the facade lives in.
class VELTRIX : public QObject
{
    Q_OBJECT

public:
    VELTRIX(QObject* parent, VELTRIX_Session::VELTRIX_HW hw);
    VELTRIX(QObject* parent, VELTRIX_Session::VELTRIX_HW hw, const VELTRIX_Options& options);
    ~VELTRIX() override;

    static constexpr const char* szVersion = "1.00";
    static constexpr const char* szVersionDate = "230821";

    // The serial port, lent to the firmware upload: first disconnect it from
    // the stack, give it back by connecting it again.
    FSerialPort* getSerialPort() const;
    void disconnectSerialPortSignals();
    void connectSerialPortSignals();

    VELTRIX_LinkLayer* getLinkLayer() const { return mLink; }
    VELTRIX_MASTER_AppLayer* getMasterAppLayer() const { return mMaster; }
    VELTRIX_SLAVE_AppLayer* getSlaveAppLayer() const { return mSlave; }
    VELTRIX_Session::VELTRIX_HW getHardware() const { return mHw; }
    bool isSessionRunning() const { return mSessionRunning; }

signals:
    void portNewState(bool open);
    // The open port failed for good (adapter pulled, line hung up) and was closed.
    void portLost();
    void portNewPorts(QStringList availablePorts);
    void sessionNewInfo(VELTRIX_SessionInfo* info);
    void sessionNewData(VELTRIX_Session* data);
    void btleNewState(VELTRIX_Session::BTLE_STATE state);

public slots:
    void enablePortScan();
    void portOpen(bool bOpen, const VELTRIX_Session::InterfaceSettings& set);
    void sessionStart(VELTRIX_Session* session);
    void sessionStop();
    void versionGetInformation(QStringList* info);
    // Bluetooth LE only: scanning, connecting and the devices found.
    void btleStartScan();
    void btleStopScan();
    void btleConnectTo(const QString& adr);
    void btleDisconnect();
    QVariant btleGetDevices();

private slots:
    void sessionInfoChanged(VELTRIX_SessionInfo* info);
    void sessionRawDataChanged(VELTRIX_Session* data);
    void portStateChanged(bool bOpen);
    void portScanForAvailablePorts();
    void btleStateChanged(VELTRIX_Session::BTLE_STATE state);

private:
    void stopRunningSession();

    const VELTRIX_Options mOptions;
    VELTRIX_SLAVE_AppLayer* mSlave;
    VELTRIX_MASTER_AppLayer* mMaster;
    VELTRIX_LinkLayer* mLink;
    const VELTRIX_Session::VELTRIX_HW mHw;
    bool mSessionRunning = false;
    VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE mSessionType =
        VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_SLAVE;
    QTimer* mPortScanTimer = nullptr;
    QStringList mPorts;
};
