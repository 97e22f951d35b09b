#pragma once

#include "protocol/btle/BTLE_Transport.h"

#include <QList>
#include <QMap>
#include <QMetaObject>
#include <QPointer>

#include <functional>
#include <memory>

// A radio in memory behind the Bluetooth LE seam. Everything a real stack
// reports later arrives here through the event loop too, never from inside
// the call that caused it. The test keeps the FakeRadio; the objects the
// connection owns report to it.
namespace BtleFake
{

inline const QBluetoothUuid kService{QStringLiteral("E093F3B5-00A3-A9E5-9ECA-40016E0EDC24")};
inline const QBluetoothUuid kFrame{QStringLiteral("E093F3B5-00A3-A9E5-9ECA-40036E0EDC24")};
inline const QBluetoothUuid kBattery{quint16(0x180F)};
inline const QBluetoothUuid kBatteryLevel{quint16(0x2A19)};

class Service;
class Controller;
class Agent;

struct FakeRadio
{
    bool powered = true;
    bool frameHasCccd = true;
    // Writes are refused at once, as for a characteristic the link lost.
    bool refuseWrites = false;
    // Services of the device and their characteristics.
    QMap<QBluetoothUuid, QList<BTLE_CharacteristicData>> profile;
    // Called for every accepted characteristic write; empty: confirm it.
    std::function<void(Service*, const QBluetoothUuid&, const QByteArray&)> onWrite;

    QPointer<Agent> agent;
    QList<QPointer<Controller>> controllers;
    QList<QPointer<Service>> services;
    QList<QBluetoothDeviceInfo> controllerDevices;

    FakeRadio()
    {
        BTLE_CharacteristicData frame;
        frame.uuid = kFrame;
        frame.name = QStringLiteral("Frames");
        frame.handle = 0x0012;
        frame.properties = QLowEnergyCharacteristic::Write | QLowEnergyCharacteristic::Notify;
        BTLE_CharacteristicData level;
        level.uuid = kBatteryLevel;
        level.value = QByteArray(1, char(87));
        level.properties = QLowEnergyCharacteristic::Read;
        profile.insert(kService, {frame});
        profile.insert(kBattery, {level});
    }

    Controller* lastController() const;
    Service* service(const QBluetoothUuid& uuid) const;
};

inline void later(QObject* context, std::function<void()> action)
{
    QMetaObject::invokeMethod(context, std::move(action), Qt::QueuedConnection);
}

class Service : public BTLE_Service
{
public:
    Service(FakeRadio* radio, const QBluetoothUuid& uuid, QObject* parent)
        : BTLE_Service(parent)
        , mRadio(radio)
        , mUuid(uuid)
    {
    }

    QString serviceName() const override { return QStringLiteral("Fake service"); }
    QBluetoothUuid serviceUuid() const override { return mUuid; }
    QLowEnergyService::ServiceTypes type() const override { return QLowEnergyService::PrimaryService; }
    QLowEnergyService::ServiceState state() const override { return mState; }
    QLowEnergyService* service() const override { return nullptr; }

    void discoverDetails() override
    {
        later(this,
              [this]
              {
                  mState = QLowEnergyService::RemoteServiceDiscovering;
                  emit stateChanged(mState);
                  mState = QLowEnergyService::RemoteServiceDiscovered;
                  emit stateChanged(mState);
              });
    }
    QList<BTLE_CharacteristicData> characteristics() const override { return mRadio->profile.value(mUuid); }

    bool writeCharacteristic(const QBluetoothUuid& uuid, const QByteArray& data) override
    {
        if (!hasCharacteristic(uuid) || mRadio->refuseWrites)
            return false;
        writes.append(data);
        if (mRadio->onWrite)
            mRadio->onWrite(this, uuid, data);
        else
            confirm(uuid, data);
        return true;
    }
    bool enableNotifications(const QBluetoothUuid& uuid) override
    {
        if (!hasCharacteristic(uuid) || (uuid == kFrame && !mRadio->frameHasCccd))
            return false;
        notificationsEnabled.append(uuid);
        return true;
    }

    void confirm(const QBluetoothUuid& uuid, const QByteArray& data)
    {
        later(this, [this, uuid, data] { emit characteristicWritten(uuid, data); });
    }
    // The device answers a write with an error instead of its confirmation.
    void refuse()
    {
        later(this, [this] { emit writeFailed(); });
    }
    void notify(const QBluetoothUuid& uuid, const QByteArray& data)
    {
        later(this, [this, uuid, data] { emit characteristicChanged(uuid, data); });
    }

    QList<QByteArray> writes;
    QList<QBluetoothUuid> notificationsEnabled;

private:
    bool hasCharacteristic(const QBluetoothUuid& uuid) const
    {
        for (const auto& c : mRadio->profile.value(mUuid))
            if (c.uuid == uuid)
                return true;
        return false;
    }

    FakeRadio* mRadio;
    QBluetoothUuid mUuid;
    QLowEnergyService::ServiceState mState = QLowEnergyService::RemoteService;
};

class Controller : public BTLE_Controller
{
public:
    Controller(FakeRadio* radio, QObject* parent)
        : BTLE_Controller(parent)
        , mRadio(radio)
    {
    }

    void connectToDevice() override
    {
        ++connectCalls;
        later(this, [this] { emit connected(); });
    }
    void disconnectFromDevice() override
    {
        ++disconnectCalls;
        later(this, [this] { emit disconnected(); });
    }
    void discoverServices() override
    {
        later(this,
              [this]
              {
                  for (auto it = mRadio->profile.cbegin(); it != mRadio->profile.cend(); ++it)
                      emit serviceDiscovered(it.key());
                  emit discoveryFinished();
              });
    }
    BTLE_Service* createServiceObject(const QBluetoothUuid& uuid, QObject* parent) override
    {
        if (!mRadio->profile.contains(uuid))
            return nullptr;
        auto* service = new Service(mRadio, uuid, parent);
        mRadio->services.append(service);
        return service;
    }
    QLowEnergyController::Error error() const override { return mError; }

    // Reports an error as the radio would.
    void fail(QLowEnergyController::Error e)
    {
        mError = e;
        emit errorOccurred(e);
    }

    int connectCalls = 0;
    int disconnectCalls = 0;

private:
    FakeRadio* mRadio;
    QLowEnergyController::Error mError = QLowEnergyController::NoError;
};

class Agent : public BTLE_DiscoveryAgent
{
public:
    using BTLE_DiscoveryAgent::BTLE_DiscoveryAgent;

    void setLowEnergyDiscoveryTimeout(int msTimeout) override { timeoutMs = msTimeout; }
    void start() override
    {
        ++startCalls;
        active = true;
    }
    void stop() override
    {
        ++stopCalls;
        active = false;
    }
    bool isActive() const override { return active; }

    // The scan ran out, as after its timeout.
    void finish()
    {
        active = false;
        emit finished();
    }

    int timeoutMs = 0;
    int startCalls = 0;
    int stopCalls = 0;
    bool active = false;
};

class Backend : public BTLE_Backend
{
public:
    explicit Backend(FakeRadio* radio)
        : mRadio(radio)
    {
    }
    bool isAdapterPowered() const override { return mRadio->powered; }
    BTLE_DiscoveryAgent* createDiscoveryAgent(QObject* parent) override
    {
        auto* agent = new Agent(parent);
        mRadio->agent = agent;
        return agent;
    }
    BTLE_Controller* createController(const QBluetoothDeviceInfo& device, QObject* parent) override
    {
        auto* controller = new Controller(mRadio, parent);
        mRadio->controllers.append(controller);
        mRadio->controllerDevices.append(device);
        return controller;
    }

private:
    FakeRadio* mRadio;
};

inline Controller* FakeRadio::lastController() const
{
    return controllers.isEmpty() ? nullptr : controllers.last().data();
}

inline Service* FakeRadio::service(const QBluetoothUuid& uuid) const
{
    for (auto it = services.crbegin(); it != services.crend(); ++it)
        if (*it && (*it)->serviceUuid() == uuid)
            return it->data();
    return nullptr;
}

inline BTLE_BackendFactory factory(FakeRadio* radio)
{
    return [radio] { return std::unique_ptr<BTLE_Backend>(std::make_unique<Backend>(radio)); };
}

// A low-energy device as the discovery reports it.
inline QBluetoothDeviceInfo device(const QString& name, const QString& address, bool lowEnergy = true)
{
    QBluetoothDeviceInfo info(QBluetoothAddress(address), name, 0);
    info.setCoreConfigurations(lowEnergy ? QBluetoothDeviceInfo::LowEnergyCoreConfiguration
                                         : QBluetoothDeviceInfo::BaseRateCoreConfiguration);
    return info;
}

} // namespace BtleFake
