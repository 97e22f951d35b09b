#include "bootloader/BootloaderHandler.h"

#include "bootloader/msp432/MSP432.h"
#include "bootloader/tiva/Tiva.h"

#include <QMetaObject>
#include <QMutexLocker>
#include <QThread>

void BootloaderHandler::LaterDeleter::operator()(Bootloader* family) const
{
    family->deleteLater();
}

BootloaderHandler::BootloaderHandler(QObject* parent, FSerialPort* port, BLFAMILY family,
                                     BLINTERFACE interface, const BootloaderTiming& timing)
    : QObject(parent)
    , mPort(port)
    , mInterface(interface)
    , mTiming(timing)
    , mThread(new QThread(this))
{
    mThread->setObjectName(QStringLiteral("BootloaderThread"));
    mThread->start();
    setFamily(family);
}

BootloaderHandler::~BootloaderHandler()
{
    if (mFamily)
        disconnectFamily();
    mThread->quit();
    mThread->wait();
    // The thread has ended, so the family can go from here.
    delete mFamily.release();
}

void BootloaderHandler::setFamily(BLFAMILY family)
{
    if (family == mFamilyType || family == FAMILY_UNDEF)
        return;
    if (mFamily)
    {
        disconnectFamily();
        mFamily.reset();
    }

    if (family == FAMILY_MSP432)
        mFamily.reset(new MSP432(nullptr, mTiming));
    else
        mFamily.reset(new Tiva(nullptr, mTiming));
    mFamilyType = family;

    Bootloader* created = mFamily.get();
    connect(this, &BootloaderHandler::downloadFamily, created, &Bootloader::download);
    connect(this, &BootloaderHandler::uploadFamily, created, &Bootloader::upload);
    connect(created, &Bootloader::progress, this, &BootloaderHandler::progressFamily);
    connect(created, &Bootloader::error, this, &BootloaderHandler::errorFamily);
    connect(created, &Bootloader::state, this, &BootloaderHandler::stateFamily);
    connect(created, &Bootloader::log, this, &BootloaderHandler::log);
    created->moveToThread(mThread);

    QMutexLocker lock(&mSettingsMutex);
    mSettings = created->getInterfaceSettings();
}

void BootloaderHandler::setInterface(BLINTERFACE interface, bool connectNow)
{
    mInterface = interface;
    if (connectNow)
        connectUartToFamily();
}

void BootloaderHandler::setInterfaceName(const QString& name)
{
    mInterfaceName = name;
}

void BootloaderHandler::setLeavePortOpenOnError(bool leaveOpen)
{
    mLeavePortOpenOnError = leaveOpen;
}

void BootloaderHandler::setFileName(const QString& fileName)
{
    mFileName = fileName;
}

void BootloaderHandler::connectUartToFamily()
{
    if (!mFamily || !mPort || mInterface != INTERFACE_UART)
    {
        // Nothing would ever answer the caller otherwise.
        errorFamily(Bootloader::BLERROR_INTERFACE_IS_NOT_OPEN);
        return;
    }
    // A second hand-over must not double the connections.
    releasePort();
    mConnected = true;

    Bootloader* family = mFamily.get();
    connect(this, &BootloaderHandler::changeUARTSettings, mPort, &FSerialPort::changeSettings);
    connect(this, &BootloaderHandler::openUART, mPort, &FSerialPort::openPort);
    connect(this, &BootloaderHandler::closeUART, mPort, &FSerialPort::closePort);
    connect(this, &BootloaderHandler::setDTRPin, mPort, &FSerialPort::setDTRPin);
    connect(this, &BootloaderHandler::setRTSPin, mPort, &FSerialPort::setRTSPin);
    connect(mPort, &FSerialPort::settingsChanged, this, &BootloaderHandler::portSettingsChanged);
    connect(family, &Bootloader::writeDataToInterface, mPort, &FSerialPort::writeDataToPort);
    connect(family, &Bootloader::setNewBaudrate, mPort, &FSerialPort::setNewBaudrate,
            Qt::BlockingQueuedConnection);
    connect(mPort, &FSerialPort::newDataReadyFromPort, family, &Bootloader::newDataReadyFromInterface);
    connect(mPort, &FSerialPort::errorOccuredOnPort, family, &Bootloader::errorOccurredOnInterface);
    connect(mPort, &FSerialPort::log, family, &Bootloader::log);
    connect(mPort, &FSerialPort::dataWrittenToPort, family, &Bootloader::dataWrittenToInterface);

    Bootloader::InterfaceSettings settings;
    {
        QMutexLocker lock(&mSettingsMutex);
        settings = mSettings;
    }
    emit changeUARTSettings(settings.baudRate, settings.dataBits, settings.parity, settings.stopBits,
                            settings.flowControl);
}

void BootloaderHandler::portSettingsChanged()
{
    // A confirmation still on its way when the transfer was stopped starts nothing.
    if (!mConnected)
        return;
    // One transfer per hand-over, however often the port reports new settings.
    disconnect(mPort, &FSerialPort::settingsChanged, this, &BootloaderHandler::portSettingsChanged);
    emit downloadFamily(mFileName);
}

void BootloaderHandler::disconnectBootloader()
{
    if (portConnectionsHeld())
        releasePort();
}

void BootloaderHandler::stopTransfer()
{
    releasePort();
    mConnected = false;
    if (mFamily)
        QMetaObject::invokeMethod(mFamily.get(), &Bootloader::cancel, Qt::QueuedConnection);
}

void BootloaderHandler::deleteFamily()
{
    if (!mFamily)
        return;
    disconnectBootloader();
    disconnectFamily();
    mFamily.reset();
    mFamilyType = FAMILY_UNDEF;
    QMutexLocker lock(&mSettingsMutex);
    mSettings = {};
}

QString BootloaderHandler::getSupportedFileTypes() const
{
    QMutexLocker lock(&mSettingsMutex);
    return mSettings.fileFilter;
}

void BootloaderHandler::download(QString fileName)
{
    mFileName = fileName;
    connectUartToFamily();
}

void BootloaderHandler::upload(const QString& fileName)
{
    mFileName = fileName;
    emit uploadFamily(fileName);
}

void BootloaderHandler::changeSettings(BLFAMILY family, BLINTERFACE interface)
{
    setFamily(family);
    setInterface(interface);
}

void BootloaderHandler::progressFamily(uint8_t percentage)
{
    emit actionProgress(percentage);
}

void BootloaderHandler::stateFamily(Bootloader::BLSTATE state)
{
    const QString text = Bootloader::stateText(state);
    if (!text.isEmpty())
        emit this->state(text);
    emit stateChanged(state);
    if (state == Bootloader::BLSTATE_UPLOAD_SUCCESSFULL || state == Bootloader::BLSTATE_DOWNLOAD_SUCCESSFULL)
    {
        // Queued, so that whoever hears the state first has it before the port is let go.
        QMetaObject::invokeMethod(
            this,
            [this, state]
            {
                disconnectBootloader();
                // The device has left its bootloader for the new firmware.
                if (state == Bootloader::BLSTATE_DOWNLOAD_SUCCESSFULL)
                    mConnected = false;
            },
            Qt::QueuedConnection);
    }
}

void BootloaderHandler::errorFamily(Bootloader::BLERROR error)
{
    const bool portProblemBeforeTransfer = error == Bootloader::BLERROR_INTERFACE_CANT_OPEN ||
                                           error == Bootloader::BLERROR_INTERFACE_IS_NOT_OPEN;
    if (error != Bootloader::BLERROR_NOERROR && !portProblemBeforeTransfer && portConnectionsHeld())
        releasePort();
    const QString text = Bootloader::errorText(error);
    if (!text.isEmpty())
        emit this->error(text);
}

bool BootloaderHandler::portConnectionsHeld() const
{
    QMutexLocker lock(&mSettingsMutex);
    return mFamily && mInterface == INTERFACE_UART && mConnected && mSettings.flags[0];
}

void BootloaderHandler::releasePort()
{
    if (!mPort)
        return;
    if (mFamily)
    {
        disconnect(mPort, nullptr, mFamily.get(), nullptr);
        disconnect(mFamily.get(), nullptr, mPort, nullptr);
    }
    disconnect(mPort, nullptr, this, nullptr);
    disconnect(this, nullptr, mPort, nullptr);
}

void BootloaderHandler::disconnectFamily()
{
    releasePort();
    disconnect(this, nullptr, mFamily.get(), nullptr);
    disconnect(mFamily.get(), nullptr, this, nullptr);
}
