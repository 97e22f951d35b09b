#pragma once

#include <QBluetoothDeviceDiscoveryAgent>
#include <QBluetoothDeviceInfo>
#include <QBluetoothUuid>
#include <QByteArray>
#include <QList>
#include <QLowEnergyCharacteristic>
#include <QLowEnergyController>
#include <QLowEnergyService>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

// The thin layer directly above Qt Bluetooth's own objects. BTLE_Connection
// talks only to these interfaces; the real side passes every call through to
// Qt, the fakes of the tests stand in for a radio. Characteristics travel by
// UUID because Qt gives no way to build a QLowEnergyCharacteristic outside a
// real service.

// What is known of one characteristic. `characteristic` is the Qt object
// where there is one, an invalid one otherwise.
struct BTLE_CharacteristicData
{
    QLowEnergyCharacteristic characteristic;
    QBluetoothUuid uuid;
    QString name;
    QByteArray value;
    // Qt 6 keeps the attribute handle to itself: 0 for its characteristics.
    quint16 handle = 0;
    QLowEnergyCharacteristic::PropertyTypes properties;

    static BTLE_CharacteristicData fromCharacteristic(const QLowEnergyCharacteristic& characteristic);
};

class BTLE_Service : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual QString serviceName() const = 0;
    virtual QBluetoothUuid serviceUuid() const = 0;
    virtual QLowEnergyService::ServiceTypes type() const = 0;
    virtual QLowEnergyService::ServiceState state() const = 0;
    // The Qt object behind this service; null in fakes.
    virtual QLowEnergyService* service() const = 0;

    virtual void discoverDetails() = 0;
    virtual QList<BTLE_CharacteristicData> characteristics() const = 0;
    // Write with response; false if the service has no such characteristic.
    virtual bool writeCharacteristic(const QBluetoothUuid& uuid, const QByteArray& data) = 0;
    // Writes "enable notification" into the characteristic's client
    // characteristic configuration descriptor; false if there is none.
    virtual bool enableNotifications(const QBluetoothUuid& uuid) = 0;

signals:
    void stateChanged(QLowEnergyService::ServiceState state);
    void characteristicChanged(const QBluetoothUuid& uuid, const QByteArray& value);
    void characteristicWritten(const QBluetoothUuid& uuid, const QByteArray& value);
    // The device refused a characteristic write: no confirmation will come.
    void writeFailed();
};

class BTLE_Controller : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual void connectToDevice() = 0;
    virtual void disconnectFromDevice() = 0;
    virtual void discoverServices() = 0;
    // Null if the controller knows no such service.
    virtual BTLE_Service* createServiceObject(const QBluetoothUuid& uuid, QObject* parent) = 0;
    virtual QLowEnergyController::Error error() const = 0;

signals:
    void connected();
    void disconnected();
    void errorOccurred(QLowEnergyController::Error error);
    void serviceDiscovered(const QBluetoothUuid& uuid);
    void discoveryFinished();
};

class BTLE_DiscoveryAgent : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual void setLowEnergyDiscoveryTimeout(int msTimeout) = 0;
    // Searches for low-energy devices only.
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;

signals:
    void deviceDiscovered(const QBluetoothDeviceInfo& info);
    void finished();
    void errorOccurred(QBluetoothDeviceDiscoveryAgent::Error error);
};

// Makes the objects above; one per connection.
class BTLE_Backend
{
public:
    virtual ~BTLE_Backend() = default;

    virtual bool isAdapterPowered() const = 0;
    virtual BTLE_DiscoveryAgent* createDiscoveryAgent(QObject* parent) = 0;
    // A central controller for `device`, talking to a public remote address.
    virtual BTLE_Controller* createController(const QBluetoothDeviceInfo& device, QObject* parent) = 0;
};

// Creates the backend of a new connection; an empty factory means Qt Bluetooth.
using BTLE_BackendFactory = std::function<std::unique_ptr<BTLE_Backend>()>;

// The backend that talks to the system's Bluetooth adapter.
std::unique_ptr<BTLE_Backend> makeQtBluetoothBackend();
