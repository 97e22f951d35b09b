#include "protocol/btle/BTLE_Transport.h"

#include <QBluetoothLocalDevice>
#include <QLowEnergyDescriptor>

// Pass-throughs to Qt Bluetooth. Nothing here decides anything; every choice
// lives in BTLE_Connection, where the tests can reach it.

BTLE_CharacteristicData
BTLE_CharacteristicData::fromCharacteristic(const QLowEnergyCharacteristic& characteristic)
{
    BTLE_CharacteristicData data;
    data.characteristic = characteristic;
    data.uuid = characteristic.uuid();
    data.name = characteristic.name();
    data.value = characteristic.value();
    data.properties = characteristic.properties();
    return data;
}

namespace
{

class QtService : public BTLE_Service
{
public:
    QtService(QLowEnergyService* service, QObject* parent)
        : BTLE_Service(parent)
        , mService(service)
    {
        mService->setParent(this);
        connect(mService, &QLowEnergyService::stateChanged, this, &BTLE_Service::stateChanged);
        connect(mService, &QLowEnergyService::characteristicChanged, this,
                [this](const QLowEnergyCharacteristic& c, const QByteArray& value)
                { emit characteristicChanged(c.uuid(), value); });
        connect(mService, &QLowEnergyService::characteristicWritten, this,
                [this](const QLowEnergyCharacteristic& c, const QByteArray& value)
                { emit characteristicWritten(c.uuid(), value); });
        connect(mService, &QLowEnergyService::errorOccurred, this,
                [this](QLowEnergyService::ServiceError error)
                {
                    if (error == QLowEnergyService::CharacteristicWriteError)
                        emit writeFailed();
                });
    }

    QString serviceName() const override { return mService->serviceName(); }
    QBluetoothUuid serviceUuid() const override { return mService->serviceUuid(); }
    QLowEnergyService::ServiceTypes type() const override { return mService->type(); }
    QLowEnergyService::ServiceState state() const override { return mService->state(); }
    QLowEnergyService* service() const override { return mService; }
    void discoverDetails() override { mService->discoverDetails(); }

    QList<BTLE_CharacteristicData> characteristics() const override
    {
        QList<BTLE_CharacteristicData> list;
        const auto all = mService->characteristics();
        for (const QLowEnergyCharacteristic& c : all)
            list.append(BTLE_CharacteristicData::fromCharacteristic(c));
        return list;
    }

    bool writeCharacteristic(const QBluetoothUuid& uuid, const QByteArray& data) override
    {
        const QLowEnergyCharacteristic c = mService->characteristic(uuid);
        if (!c.isValid())
            return false;
        mService->writeCharacteristic(c, data, QLowEnergyService::WriteWithResponse);
        return true;
    }

    bool enableNotifications(const QBluetoothUuid& uuid) override
    {
        const QLowEnergyDescriptor cccd = mService->characteristic(uuid).clientCharacteristicConfiguration();
        if (!cccd.isValid())
            return false;
        mService->writeDescriptor(cccd, QLowEnergyCharacteristic::CCCDEnableNotification);
        return true;
    }

private:
    QLowEnergyService* mService;
};

class QtController : public BTLE_Controller
{
public:
    QtController(const QBluetoothDeviceInfo& device, QObject* parent)
        : BTLE_Controller(parent)
        , mController(QLowEnergyController::createCentral(device, this))
    {
        mController->setRemoteAddressType(QLowEnergyController::PublicAddress);
        connect(mController, &QLowEnergyController::connected, this, &BTLE_Controller::connected);
        connect(mController, &QLowEnergyController::disconnected, this, &BTLE_Controller::disconnected);
        connect(mController, &QLowEnergyController::errorOccurred, this, &BTLE_Controller::errorOccurred);
        connect(mController, &QLowEnergyController::serviceDiscovered, this,
                &BTLE_Controller::serviceDiscovered);
        connect(mController, &QLowEnergyController::discoveryFinished, this,
                &BTLE_Controller::discoveryFinished);
    }

    void connectToDevice() override { mController->connectToDevice(); }
    void disconnectFromDevice() override { mController->disconnectFromDevice(); }
    void discoverServices() override { mController->discoverServices(); }
    QLowEnergyController::Error error() const override { return mController->error(); }

    BTLE_Service* createServiceObject(const QBluetoothUuid& uuid, QObject* parent) override
    {
        QLowEnergyService* service = mController->createServiceObject(uuid);
        return service ? new QtService(service, parent) : nullptr;
    }

private:
    QLowEnergyController* mController;
};

class QtDiscoveryAgent : public BTLE_DiscoveryAgent
{
public:
    explicit QtDiscoveryAgent(QObject* parent)
        : BTLE_DiscoveryAgent(parent)
        , mAgent(new QBluetoothDeviceDiscoveryAgent(this))
    {
        connect(mAgent, &QBluetoothDeviceDiscoveryAgent::deviceDiscovered, this,
                &BTLE_DiscoveryAgent::deviceDiscovered);
        connect(mAgent, &QBluetoothDeviceDiscoveryAgent::finished, this, &BTLE_DiscoveryAgent::finished);
        connect(mAgent, &QBluetoothDeviceDiscoveryAgent::errorOccurred, this,
                &BTLE_DiscoveryAgent::errorOccurred);
    }

    void setLowEnergyDiscoveryTimeout(int msTimeout) override
    {
        mAgent->setLowEnergyDiscoveryTimeout(msTimeout);
    }
    void start() override { mAgent->start(QBluetoothDeviceDiscoveryAgent::LowEnergyMethod); }
    void stop() override { mAgent->stop(); }
    bool isActive() const override { return mAgent->isActive(); }

private:
    QBluetoothDeviceDiscoveryAgent* mAgent;
};

class QtBackend : public BTLE_Backend
{
public:
    bool isAdapterPowered() const override
    {
        const QBluetoothLocalDevice local;
        return local.isValid() && local.hostMode() != QBluetoothLocalDevice::HostPoweredOff;
    }
    BTLE_DiscoveryAgent* createDiscoveryAgent(QObject* parent) override
    {
        return new QtDiscoveryAgent(parent);
    }
    BTLE_Controller* createController(const QBluetoothDeviceInfo& device, QObject* parent) override
    {
        return new QtController(device, parent);
    }
};
} // namespace

std::unique_ptr<BTLE_Backend> makeQtBluetoothBackend()
{
    return std::make_unique<QtBackend>();
}
