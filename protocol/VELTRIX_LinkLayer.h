#pragma once

#include "protocol/VELTRIX_RxStateMachine.h"
#include "protocol/VELTRIX_Session.h"
#include "protocol/VELTRIX_SessionInfo.h"
#include "protocol/VELTRIX_Timing.h"
#include "protocol/btle/BTLE_Transport.h"
#include "protocol/serial/FSerialPort.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QSerialPort>
#include <QString>
#include <QVariant>

#include <memory>

class BTLE_Connection;
class QThread;
class QTimer;

// Data-link layer of VELTRIX: frames outgoing buffers, parses incoming bytes,
// times the exchange, runs burst mode, drives the adapter's DTR/RTS lines and
// changes the baud rate. Lives in the thread of its owner; the serial port it
// owns runs in the worker thread "LinkSerialPortThread".
class VELTRIX_LinkLayer : public QObject
{
    Q_OBJECT
    friend class VELTRIX;

public:
    using Timing = VELTRIX_LinkTiming;

    // Names of the devices listed by a Bluetooth LE scan start with this.
    // Empty, so every device is listed: the name a radio adapter advertises
    // is its maker's and can be changed in the field, while the device is
    // recognised by its vendor service on connecting. A name filter could
    // only hide a good device.
    static constexpr const char* szBtleNameFilter = "";

    VELTRIX_LinkLayer(QObject* parent, VELTRIX_Session::VELTRIX_HW hw, const Timing& timing = Timing(),
                      const FSerialPortBackendFactory& backendFactory = {},
                      const BTLE_BackendFactory& btleFactory = {});
    ~VELTRIX_LinkLayer() override;

    // Delay before a master acknowledges a burst frame; -1 means at once.
    static int burstAckDelayMs(unsigned int ulBaudrate, const Timing& timing);
    static VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR mapSerialPortError(QSerialPort::SerialPortError error);

    FSerialPort* getSerialPort() const { return mPort; }
    // Lends the port to someone else (firmware upload) and takes it back.
    void disconnectSerialPortSignals();
    void connectSerialPortSignals();

    void setInterfaceSettings(const VELTRIX_Session::InterfaceSettings& settings) { mSettings = settings; }
    const VELTRIX_Session::InterfaceSettings& getInterfaceSettings() const { return mSettings; }
    VELTRIX_Session* getSession() const;
    VELTRIX_SessionInfo* getSessionInfo() const { return mInfo; }
    VELTRIX_Session::VELTRIX_HW getHardware() const { return mHw; }
    bool isRunning() const { return mRunning; }
    bool isPortOpen() const { return mPortOpen; }
    int getResponseTimeoutMs() const { return mResponseTimeoutMs; }
    // Null unless built for Bluetooth LE.
    BTLE_Connection* getBtleConnection() const { return mBtle; }
    QString getBtleConnectedDevice() const { return mBtleDevice; }

signals:
    void sessionNewInfo(VELTRIX_SessionInfo* info);
    void sessionDataRxBufferReady(const QByteArray& buffer);
    void sessionDataTxDone();
    // Must reach the slave application layer directly: the buffer is filled on return.
    void sessionDataFetchTxBufferForBurst(QByteArray& buffer);
    void sessionBurstModeDeactive();
    void portNewState(bool open);
    // The open port failed for good and was closed.
    void portLost();

    void portScan();
    void portSetDTRPin(bool high);
    void portSetRTSPin(bool high);
    void portOpen(QString PortToOpen, int BaudRate, FSerialPort::DataBits dataBits,
                  FSerialPort::Parity parity, FSerialPort::StopBits stopBits, FSerialPort::FlowControl flow);
    void portClose();
    void portWriteData(const QByteArray& data, bool bSingleWireTransmission);
    void portSetNewBaudrate(uint ulBaudrate, bool* bSuccess);
    void btleStateChanged(VELTRIX_Session::BTLE_STATE state);
    // From the pool thread: the power cycle of this generation has woken the device.
    void powerCycleFinished(quint64 generation);

public slots:
    void sessionStart(VELTRIX_Session* s);
    void sessionStop();
    void sessionDataTxSetBuffer(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND command, QByteArray& buffer);
    void sessionBurstModeSetActivate();
    void sessionBurstModeSetAcknowledge();
    void sessionBaudrateSetNew(uint ulNewBaudrate, bool* bSuccess);
    void btleStartScan();
    void btleStopScan();
    void btleConnectTo(const QString& adr);
    void btleDisconnect();
    QVariant btleGetDevices();

private slots:
    void timeout();
    void timeoutBurst();
    void timeoutSendBurst();
    void timeoutDelayBurstAck();
    void sessionSetRunning(bool bRunning);
    void sessionSetState(VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE state);
    void sessionSetError(VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR error);
    void sessionSetBurstModeState(bool bActive);
    void sessionSetBurstRoundTripLatency(qulonglong ullNs);
    void sessionSetBaudrate(uint ulBaudrate);
    void sessionSetBuffer(const QByteArray& data);
    void portStateChanged(bool open);
    void portDataWritten();
    void portErrorOccured(QSerialPort::SerialPortError error);
    void portLineLost();
    void portDataReady(const QByteArray& data);
    void adapterSetState(VELTRIX_Session::VELTRIX_ENUM_ADAPTER_STATE state);
    void powerCycleEnded(quint64 generation);
    void btleNewDevices();
    void btleServiceScanDone();
    void btleConnectedTo(const QString& device);
    void btleDataWritten();
    void btleNewData(const QByteArray& data);
    void btleDisconnected();
    void btleFoundSpecificDevice();
    void btleError(const QString& error);

private:
    // What follows a completed write, whichever transport made it.
    void transportDataWritten();
    void RxStateMachine(unsigned char ucByte);
    void deliverFrame();
    void writeToTransport(const QByteArray& data);
    void sendBurstAcknowledge();
    void startResponseTimer();
    void stopResponseTimer();
    void stopAllTimers();
    struct PowerCycleControl;
    // Runs on a pool thread; touches the link layer only while its cycle is
    // the current one.
    static void runPowerCycle(VELTRIX_LinkLayer* link, std::shared_ptr<PowerCycleControl> control,
                              quint64 generation, VELTRIX_Session::InterfaceSettings settings,
                              int rtsConfirmTimeoutMs);
    // Tells a running power cycle to stop before its next line change or
    // write; called on every open, close and on destruction. A frame held for
    // the cycle stays for the next opening's cycle; a close drops it.
    void cancelPowerCycle();
    // Before a close: stops a power cycle and sets the bypass levels, which
    // reach the port before its close. Closing from here on: a second close
    // before the port has reported this one changes no lines.
    void releaseAdapter();
    bool isSlaveSession() const;

    const VELTRIX_Session::VELTRIX_HW mHw;
    const Timing mTiming;
    QThread* mThread;
    FSerialPort* mPort;
    QList<QMetaObject::Connection> mPortConnections;
    BTLE_Connection* mBtle = nullptr;
    // Address of the Bluetooth LE device ready to communicate; empty without one.
    QString mBtleDevice;

    // The caller's record of the running session; our own until the first start.
    VELTRIX_Session* mOwnSession;
    QPointer<VELTRIX_Session> mSession;
    VELTRIX_SessionInfo* mInfo;
    VELTRIX_Session::InterfaceSettings mSettings;
    int mResponseTimeoutMs;

    QTimer* mResponseTimer;
    QTimer* mBurstWatchdog;
    QTimer* mAckDelayTimer;
    // Slave side: sends the next burst frame.
    QTimer* mBurstSendTimer;
    QElapsedTimer mLatencyTimer;

    bool mRunning = false;
    bool mBurstActive = false;
    bool mPortOpen = false;
    // A power cycle runs: a frame waits in mHeldFrame until the device is
    // awake, however late the machine runs the cycle.
    bool mPowerCycling = false;
    QByteArray mHeldFrame;
    // Write confirmations of wake-up tokens taken so far; the token is no
    // session frame and its confirmation must not start the answer wait.
    quint64 mTokenConfirmations = 0;
    // Bytes of the chunk being processed asked for the silence timer; it is
    // started once after the chunk, not once per byte.
    bool mResponseTimerWanted = false;

    VELTRIX_RxStateMachine mRx;
    VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE mLastState =
        VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_UNKNOWN;
    bool mLastRunning = false;

    // Shared with the pool tasks of the power cycle, which may outlive a
    // bounded wait for them.
    std::shared_ptr<PowerCycleControl> mPowerCycle;
};
