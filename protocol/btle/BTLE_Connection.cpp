#include "protocol/btle/BTLE_Connection.h"

#include "logging/Logger.h"
#include "protocol/VELTRIX_Timing.h"
#include "protocol/btle/BTLE_CharacteristicInfo.h"
#include "protocol/btle/BTLE_DeviceInfo.h"
#include "protocol/btle/BTLE_ServiceInfo.h"

#include <QMetaEnum>

using Hvd::Weft::Components::Logger;

namespace
{

template <typename Enum> const char* enumName(Enum value)
{
    const char* name = QMetaEnum::fromType<Enum>().valueToKey(static_cast<int>(value));
    return name ? name : "unknown";
}
} // namespace

BTLE_Connection::BTLE_Connection(QString nameFilter, QString address, bool* bPowered, QObject* parent,
                                 std::unique_ptr<BTLE_Backend> backend)
    : QObject(parent)
    , mBackend(backend ? std::move(backend) : makeQtBluetoothBackend())
    , mAgent(mBackend->createDiscoveryAgent(this))
    , mNameFilter(std::move(nameFilter))
    , mWantedAddress(std::move(address))
{
    if (bPowered)
        *bPowered = mBackend->isAdapterPowered();
    setDiscoveryTimeout(VELTRIX_LinkTiming().btleDiscoveryTimeoutMs);
    connect(mAgent, &BTLE_DiscoveryAgent::deviceDiscovered, this, &BTLE_Connection::deviceDiscovered);
    connect(mAgent, &BTLE_DiscoveryAgent::finished, this, &BTLE_Connection::deviceScanFinished);
    connect(mAgent, &BTLE_DiscoveryAgent::errorOccurred, this, &BTLE_Connection::deviceScanError);
}

void BTLE_Connection::setDiscoveryTimeout(int ms)
{
    mAgent->setLowEnergyDiscoveryTimeout(ms);
}

BTLE_Connection::~BTLE_Connection()
{
    // Nobody listens any more: a last disconnect must not restart the scan.
    mPermanentScan = false;
    if (mController)
        mController->disconnect(this);
}

void BTLE_Connection::clearList(QList<QObject*>& list)
{
    // Callers may still hold the list they were given; let them finish with it.
    for (QObject* object : std::as_const(list))
        object->deleteLater();
    list.clear();
}

BTLE_DeviceInfo* BTLE_Connection::findDevice(const QString& address) const
{
    for (QObject* object : mDevices)
    {
        auto* device = static_cast<BTLE_DeviceInfo*>(object);
        if (device->getAddress() == address)
            return device;
    }
    return nullptr;
}

bool BTLE_Connection::hasControllerError() const
{
    return mController && mController->error() != QLowEnergyController::NoError;
}

bool BTLE_Connection::hasService(const QString& serviceUuid) const
{
    const QBluetoothUuid uuid(serviceUuid);
    for (QObject* object : mServices)
    {
        const BTLE_Service* service = static_cast<BTLE_ServiceInfo*>(object)->transportService();
        if (service && service->serviceUuid() == uuid)
            return true;
    }
    return false;
}

bool BTLE_Connection::hasCharacteristic(const QString& characteristicUuid) const
{
    const QBluetoothUuid uuid(characteristicUuid);
    for (QObject* object : mCharacteristics)
        if (static_cast<BTLE_CharacteristicInfo*>(object)->getBluetoothUuid() == uuid)
            return mService != nullptr;
    return false;
}

// --- discovery ---

void BTLE_Connection::startDeviceDiscovery(bool permanentScan)
{
    mPermanentScan = permanentScan;
    clearList(mDevices);
    emit devicesUpdated();
    mAgent->start();
}

void BTLE_Connection::startSpecificDeviceDiscovery(const QString& address, bool permanentScan)
{
    mWantedAddress = address;
    startDeviceDiscovery(permanentScan);
}

void BTLE_Connection::stopScanningDevices()
{
    // A scan stopped on purpose stays stopped, also after a disconnect.
    mPermanentScan = false;
    mAgent->stop();
}

void BTLE_Connection::deviceDiscovered(const QBluetoothDeviceInfo& info)
{
    if (!info.coreConfigurations().testFlag(QBluetoothDeviceInfo::LowEnergyCoreConfiguration))
        return;
    if (!info.name().startsWith(mNameFilter, Qt::CaseSensitive))
        return;
    // A device advertises again and again; list it once.
    if (findDevice(BTLE_DeviceInfo(info).getAddress()))
        return;
    auto* device = new BTLE_DeviceInfo(info, this);
    mDevices.append(device);
    emit devicesUpdated();
    if (!mWantedAddress.isEmpty() && device->getAddress() == mWantedAddress)
        emit foundSpecificDevice();
}

void BTLE_Connection::deviceScanFinished()
{
    if (mPermanentScan)
        mAgent->start();
}

void BTLE_Connection::deviceScanError(QBluetoothDeviceDiscoveryAgent::Error error)
{
    switch (error)
    {
    case QBluetoothDeviceDiscoveryAgent::PoweredOffError:
        emit errorOccurred(QStringLiteral("BT Adapter is powered off"));
        break;
    case QBluetoothDeviceDiscoveryAgent::InputOutputError:
        emit errorOccurred(QStringLiteral("BT IO Error"));
        break;
    default:
        emit errorOccurred(QStringLiteral("BT Error: ") + QLatin1String(enumName(error)));
        break;
    }
}

// --- connecting ---

void BTLE_Connection::dropController()
{
    clearList(mCharacteristics);
    clearList(mServices);
    mService = nullptr;
    mConnectedAddress.clear();
    if (!mController)
        return;
    // The old device's farewell must not read as the loss of the new one.
    mController->disconnect(this);
    mController->disconnectFromDevice();
    mController->deleteLater();
    mController = nullptr;
}

void BTLE_Connection::connectToDevice(const QString& address)
{
    const BTLE_DeviceInfo* device = findDevice(address);
    if (!device)
    {
        Logger::debug("Not a valid device");
        return;
    }
    dropController();
    mController = mBackend->createController(device->getDevice(), this);
    mConnectedAddress = address;
    connect(mController, &BTLE_Controller::connected, this, &BTLE_Connection::deviceConnected);
    connect(mController, &BTLE_Controller::errorOccurred, this, &BTLE_Connection::errorReceived);
    connect(mController, &BTLE_Controller::disconnected, this, &BTLE_Connection::deviceDisconnected);
    connect(mController, &BTLE_Controller::serviceDiscovered, this, &BTLE_Connection::serviceDiscovered);
    connect(mController, &BTLE_Controller::discoveryFinished, this, &BTLE_Connection::serviceScanDone);
    mController->connectToDevice();
}

void BTLE_Connection::deviceConnected()
{
    mController->discoverServices();
}

void BTLE_Connection::serviceDiscovered(const QBluetoothUuid& uuid)
{
    // The service objects belong to the controller and go with it.
    if (BTLE_Service* service = mController->createServiceObject(uuid, mController))
        mServices.append(new BTLE_ServiceInfo(service, this));
}

void BTLE_Connection::serviceScanDone()
{
    emit servicesUpdated();
    emit startDiscoverServiceDetails();
}

void BTLE_Connection::discoverServiceDetails(const QString& uuid)
{
    const QBluetoothUuid wanted(uuid);
    BTLE_Service* service = nullptr;
    for (QObject* object : std::as_const(mServices))
    {
        BTLE_Service* candidate = static_cast<BTLE_ServiceInfo*>(object)->transportService();
        if (candidate && candidate->serviceUuid() == wanted)
            service = candidate;
    }
    if (!service && mController)
        service = mController->createServiceObject(wanted, mController);
    if (!service)
    {
        Logger::debug("Cannot create service for uuid");
        return;
    }
    if (mService && mService != service)
        mService->disconnect(this);
    mService = service;
    connect(service, &BTLE_Service::stateChanged, this, &BTLE_Connection::serviceDetailsDiscovered,
            Qt::UniqueConnection);
    service->discoverDetails();
}

void BTLE_Connection::serviceDetailsDiscovered(QLowEnergyService::ServiceState state)
{
    if (state != QLowEnergyService::RemoteServiceDiscovered || !mService)
        return;
    clearList(mCharacteristics);
    const auto characteristics = mService->characteristics();
    for (const BTLE_CharacteristicData& characteristic : characteristics)
        mCharacteristics.append(new BTLE_CharacteristicInfo(characteristic, this));
    connect(mService, &BTLE_Service::characteristicChanged, this, &BTLE_Connection::characteristicChanged,
            Qt::UniqueConnection);
    connect(mService, &BTLE_Service::characteristicWritten, this, &BTLE_Connection::characteristicWritten,
            Qt::UniqueConnection);
    connect(mService, &BTLE_Service::writeFailed, this, &BTLE_Connection::writeRefused, Qt::UniqueConnection);
    // A GATT server sends notifications only to a client that has written
    // "enable notification" into the characteristic's client configuration;
    // without it no answer of the device would ever arrive. The attribute
    // protocol allows one request at a time, so this write is done before the
    // first frame goes out and no answer can slip past.
    if (!mService->enableNotifications(QBluetoothUuid(QString::fromLatin1(szFrameCharacteristicUuid))))
        Logger::debug("Frame characteristic has no client configuration; notifications stay as they are");
    emit characteristicsUpdated();
    emit readyToCommunicate(mConnectedAddress);
}

// --- data ---

void BTLE_Connection::writeToConnectedDevice(const QByteArray& data, const QString& characteristicUuid)
{
    if (!mService || !mService->writeCharacteristic(QBluetoothUuid(characteristicUuid), data))
    {
        Logger::debug("Cannot write to characteristic {}", characteristicUuid.toStdString());
        // No confirmation will come, and the exchange waits for one.
        writeRefused();
    }
}

void BTLE_Connection::writeRefused()
{
    emit errorOccurred(QStringLiteral("BT write error"));
}

void BTLE_Connection::writeToConnectedDeviceFinished(const QLowEnergyCharacteristic& characteristic,
                                                     const QByteArray& data)
{
    characteristicWritten(characteristic.uuid(), data);
}

void BTLE_Connection::newDataFromConnectedDevice(const QLowEnergyCharacteristic& characteristic,
                                                 const QByteArray& data)
{
    characteristicChanged(characteristic.uuid(), data);
}

void BTLE_Connection::characteristicWritten(const QBluetoothUuid&, const QByteArray&)
{
    emit dataSuccessfullyWrittenToDevice();
}

void BTLE_Connection::characteristicChanged(const QBluetoothUuid& uuid, const QByteArray& data)
{
    if (uuid == QBluetoothUuid(QString::fromLatin1(szFrameCharacteristicUuid)))
        emit newDataFromConnectedDeviceAvailable(data);
}

// --- disconnect and errors ---

void BTLE_Connection::disconnectFromDevice()
{
    if (mController)
        mController->disconnectFromDevice();
}

void BTLE_Connection::deviceDisconnected()
{
    Logger::debug("Disconnect from device");
    emit disconnected();
    if (mPermanentScan && !mAgent->isActive())
        mAgent->start();
}

void BTLE_Connection::errorReceived(QLowEnergyController::Error error)
{
    Logger::debug("Error: {}", enumName(error));
    switch (error)
    {
    case QLowEnergyController::UnknownRemoteDeviceError:
        emit errorOccurred(QStringLiteral("BT Remote Device Error"));
        break;
    case QLowEnergyController::NetworkError:
        emit errorOccurred(QStringLiteral("BT Network Error"));
        break;
    case QLowEnergyController::InvalidBluetoothAdapterError:
        emit errorOccurred(QStringLiteral("BT invalid Adapter Error"));
        break;
    case QLowEnergyController::ConnectionError:
        emit errorOccurred(QStringLiteral("BT connection error"));
        break;
    default:
        emit errorOccurred(QStringLiteral("BT unknown Error"));
        break;
    }
}
