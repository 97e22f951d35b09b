#include "protocol/VELTRIX.h"

#include "logging/Logger.h"
#include "protocol/VELTRIX_MASTER_AppLayer.h"
#include "protocol/VELTRIX_SLAVE_AppLayer.h"

#include <QMetaType>
#include <QSerialPortInfo>
#include <QTimer>

using Hvd::Weft::Components::Logger;

namespace
{

QStringList systemPortNames()
{
    QStringList names;
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& info : ports)
        names.append(info.portName());
    return names;
}
} // namespace

VELTRIX::VELTRIX(QObject* parent, VELTRIX_Session::VELTRIX_HW hw)
    : VELTRIX(parent, hw, VELTRIX_Options())
{
}

VELTRIX::VELTRIX(QObject* parent, VELTRIX_Session::VELTRIX_HW hw, const VELTRIX_Options& options)
    : QObject(parent)
    , mOptions(options)
    , mSlave(new VELTRIX_SLAVE_AppLayer(this))
    , mMaster(
          new VELTRIX_MASTER_AppLayer(this, options.timing.requestDelayMs, options.timing.baudrateSettleMs))
    , mLink(new VELTRIX_LinkLayer(this, hw, options.timing.link, options.backendFactory,
                                  options.btleBackendFactory))
    , mHw(hw)
{
    qRegisterMetaType<VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE>(
        "VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE");
    qRegisterMetaType<VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR>(
        "VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR");
    qRegisterMetaType<VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE>(
        "VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE");
    qRegisterMetaType<VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND>(
        "VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND");
    qRegisterMetaType<VELTRIX_Session::InterfaceSettings>("VELTRIX_Session::InterfaceSettings");
    qRegisterMetaType<VELTRIX_Session::VELTRIX_HW>("VELTRIX_Session::VELTRIX_HW");
    qRegisterMetaType<VELTRIX_Session::BTLE_STATE>("VELTRIX_Session::BTLE_STATE");

    connect(mLink, &VELTRIX_LinkLayer::portNewState, this, &VELTRIX::portStateChanged);
    connect(mLink, &VELTRIX_LinkLayer::portLost, this, &VELTRIX::portLost);
    connect(mLink, &VELTRIX_LinkLayer::sessionNewInfo, this, &VELTRIX::sessionInfoChanged);
    connect(mLink, &VELTRIX_LinkLayer::btleStateChanged, this, &VELTRIX::btleStateChanged);

    connect(mSlave, &VELTRIX_SLAVE_AppLayer::sessionNewData, this, &VELTRIX::sessionRawDataChanged);
    connect(mLink, &VELTRIX_LinkLayer::sessionDataRxBufferReady, mSlave,
            &VELTRIX_SLAVE_AppLayer::sessionDataReady);
    connect(mLink, &VELTRIX_LinkLayer::sessionDataTxDone, mSlave,
            &VELTRIX_SLAVE_AppLayer::sessionDataWritten);
    connect(mLink, &VELTRIX_LinkLayer::sessionDataFetchTxBufferForBurst, mSlave,
            &VELTRIX_SLAVE_AppLayer::sessionBurstModeSetData);
    connect(mSlave, &VELTRIX_SLAVE_AppLayer::sessionDataTxSetBuffer, mLink,
            &VELTRIX_LinkLayer::sessionDataTxSetBuffer);
    connect(mSlave, &VELTRIX_SLAVE_AppLayer::sessionBurstModeSetActivate, mLink,
            &VELTRIX_LinkLayer::sessionBurstModeSetActivate);
    connect(mSlave, &VELTRIX_SLAVE_AppLayer::sessionBaudrateSetNew, mLink,
            &VELTRIX_LinkLayer::sessionBaudrateSetNew);
    connect(mSlave, &VELTRIX_SLAVE_AppLayer::sessionStart, mLink, &VELTRIX_LinkLayer::sessionStart);
    connect(mSlave, &VELTRIX_SLAVE_AppLayer::sessionStop, mLink, &VELTRIX_LinkLayer::sessionStop);

    connect(mMaster, &VELTRIX_MASTER_AppLayer::sessionNewData, this, &VELTRIX::sessionRawDataChanged);
    connect(mLink, &VELTRIX_LinkLayer::sessionDataRxBufferReady, mMaster,
            &VELTRIX_MASTER_AppLayer::sessionDataReady);
    connect(mLink, &VELTRIX_LinkLayer::sessionDataTxDone, mMaster,
            &VELTRIX_MASTER_AppLayer::sessionDataWritten);
    connect(mLink, &VELTRIX_LinkLayer::sessionBurstModeDeactive, mMaster,
            &VELTRIX_MASTER_AppLayer::sessionBurstModeDeactive);
    connect(mMaster, &VELTRIX_MASTER_AppLayer::sessionDataTxSetBuffer, mLink,
            &VELTRIX_LinkLayer::sessionDataTxSetBuffer);
    connect(mMaster, &VELTRIX_MASTER_AppLayer::sessionBurstModeSetActivate, mLink,
            &VELTRIX_LinkLayer::sessionBurstModeSetActivate);
    connect(mMaster, &VELTRIX_MASTER_AppLayer::sessionBurstModeSetAcknowledge, mLink,
            &VELTRIX_LinkLayer::sessionBurstModeSetAcknowledge);
    connect(mMaster, &VELTRIX_MASTER_AppLayer::sessionBaudrateSetNew, mLink,
            &VELTRIX_LinkLayer::sessionBaudrateSetNew);
    connect(mMaster, &VELTRIX_MASTER_AppLayer::sessionStart, mLink, &VELTRIX_LinkLayer::sessionStart);
    connect(mMaster, &VELTRIX_MASTER_AppLayer::sessionStop, mLink, &VELTRIX_LinkLayer::sessionStop);
}

VELTRIX::~VELTRIX()
{
    if (mPortScanTimer)
        mPortScanTimer->stop();
    // The link layer closes the port and ends its thread; it goes first so
    // that what it reports on the way out reaches layers that still exist.
    disconnect(mLink, nullptr, this, nullptr);
    delete mLink;
    mLink = nullptr;
}

FSerialPort* VELTRIX::getSerialPort() const
{
    return mLink->getSerialPort();
}

void VELTRIX::disconnectSerialPortSignals()
{
    mLink->disconnectSerialPortSignals();
}

void VELTRIX::connectSerialPortSignals()
{
    mLink->connectSerialPortSignals();
}

void VELTRIX::versionGetInformation(QStringList* info)
{
    if (!info)
        return;
    info->append(QString::fromLatin1(szVersion));
    info->append(QString::fromLatin1(szVersionDate));
}

// --- ports ---

void VELTRIX::portOpen(bool bOpen, const VELTRIX_Session::InterfaceSettings& set)
{
    mLink->setInterfaceSettings(set);
    if (bOpen)
    {
        emit mLink->portOpen(set.portName, set.baudRate, set.dataBits, set.parity, set.stopBits,
                             set.flowControl);
        mLink->sessionSetBaudrate(1200);
        return;
    }
    // A power cycle still running would change the lines after the close.
    mLink->releaseAdapter();
    mLink->sessionStop();
    mLink->sessionSetBaudrate(1200);
    emit mLink->portClose();
}

void VELTRIX::portStateChanged(bool bOpen)
{
    emit portNewState(bOpen);
}

void VELTRIX::enablePortScan()
{
    if (mPortScanTimer || mHw != VELTRIX_Session::VELTRIX_HW_UART)
        return;
    mPortScanTimer = new QTimer(this);
    connect(mPortScanTimer, &QTimer::timeout, this, &VELTRIX::portScanForAvailablePorts);
    mPortScanTimer->start(mOptions.timing.portScanIntervalMs);
}

void VELTRIX::portScanForAvailablePorts()
{
    const QStringList names = mOptions.portLister ? mOptions.portLister() : systemPortNames();
    if (FSerialPort::updatePortList(mPorts, names))
        emit portNewPorts(mPorts);
}

// --- sessions ---

void VELTRIX::stopRunningSession()
{
    if (mSessionType == VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_SLAVE)
        mSlave->stopSession();
    else
        mMaster->stopSession();
    mSessionRunning = false;
}

void VELTRIX::sessionStart(VELTRIX_Session* session)
{
    if (!session)
    {
        Logger::warn("VELTRIX: session start without a session record ignored");
        return;
    }
    if (mSessionRunning)
        stopRunningSession();

    const auto type = session->getType();
    if (type == VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_SLAVE)
    {
        mSlave->startSession(session);
    }
    else
    {
        mMaster->startSession(session);
        mMaster->setRequestBufferAndRequest();
    }
    mSessionRunning = true;
    mSessionType = type;
}

void VELTRIX::sessionStop()
{
    stopRunningSession();
}

// --- reports ---

void VELTRIX::sessionInfoChanged(VELTRIX_SessionInfo* info)
{
    emit sessionNewInfo(info);
}

void VELTRIX::sessionRawDataChanged(VELTRIX_Session* data)
{
    emit sessionNewData(data);
}

void VELTRIX::btleStateChanged(VELTRIX_Session::BTLE_STATE state)
{
    emit btleNewState(state);
}

void VELTRIX::btleStartScan()
{
    mLink->btleStartScan();
}

void VELTRIX::btleStopScan()
{
    mLink->btleStopScan();
}

void VELTRIX::btleConnectTo(const QString& adr)
{
    mLink->btleConnectTo(adr);
}

void VELTRIX::btleDisconnect()
{
    mLink->btleDisconnect();
}

QVariant VELTRIX::btleGetDevices()
{
    return mLink->btleGetDevices();
}
