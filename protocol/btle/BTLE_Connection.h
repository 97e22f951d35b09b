#pragma once

#include "protocol/btle/BTLE_Transport.h"

#include <QBluetoothDeviceDiscoveryAgent>
#include <QBluetoothDeviceInfo>
#include <QBluetoothUuid>
#include <QByteArray>
#include <QList>
#include <QLowEnergyCharacteristic>
#include <QLowEnergyController>
#include <QLowEnergyService>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class BTLE_DeviceInfo;

// Bluetooth LE central: finds devices, connects to one, discovers its vendor
// service, writes frames to a characteristic and hands notifications back.
// Lives in the link layer's thread; every Bluetooth callback arrives there.
class BTLE_Connection : public QObject
{
    Q_OBJECT

public:
    // The device side's vendor service and the characteristic that carries the frames.
    static constexpr const char* szServiceUuid = "E093F3B5-00A3-A9E5-9ECA-40016E0EDC24";
    static constexpr const char* szFrameCharacteristicUuid = "E093F3B5-00A3-A9E5-9ECA-40036E0EDC24";

    // Only devices whose name starts with `nameFilter` are listed;
    // foundSpecificDevice() is emitted for `address`. `bPowered` (may be null)
    // tells whether the local adapter is powered.
    BTLE_Connection(QString nameFilter, QString address, bool* bPowered, QObject* parent = nullptr,
                    std::unique_ptr<BTLE_Backend> backend = {});
    ~BTLE_Connection() override;

    // How long one scan for devices runs.
    void setDiscoveryTimeout(int ms);

    QList<QObject*> getDevices() const { return mDevices; }
    QList<QObject*> getServices() const { return mServices; }
    QList<QObject*> getCharacteristics() const { return mCharacteristics; }
    bool hasControllerError() const;
    // Whether the connected device has offered the service `serviceUuid`.
    bool hasService(const QString& serviceUuid) const;
    // Whether the service in use offers `characteristicUuid` for writing.
    bool hasCharacteristic(const QString& characteristicUuid) const;

signals:
    void devicesUpdated();
    void servicesUpdated();
    void startDiscoverServiceDetails();
    void characteristicsUpdated();
    void readyToCommunicate(const QString& address);
    void disconnected();
    void dataSuccessfullyWrittenToDevice();
    void newDataFromConnectedDeviceAvailable(const QByteArray& data);
    void foundSpecificDevice();
    void errorOccurred(const QString& error);

public slots:
    void startDeviceDiscovery(bool permanentScan);
    void startSpecificDeviceDiscovery(const QString& address, bool permanentScan);
    void discoverServiceDetails(const QString& uuid);
    void stopScanningDevices();
    void disconnectFromDevice();
    void connectToDevice(const QString& address);
    void writeToConnectedDevice(const QByteArray& data, const QString& characteristicUuid);
    void writeToConnectedDeviceFinished(const QLowEnergyCharacteristic& characteristic,
                                        const QByteArray& data);
    void newDataFromConnectedDevice(const QLowEnergyCharacteristic& characteristic, const QByteArray& data);

private slots:
    void deviceDiscovered(const QBluetoothDeviceInfo& info);
    void deviceScanFinished();
    void deviceScanError(QBluetoothDeviceDiscoveryAgent::Error error);
    void serviceDiscovered(const QBluetoothUuid& uuid);
    void serviceScanDone();
    void deviceConnected();
    void errorReceived(QLowEnergyController::Error error);
    void deviceDisconnected();
    void serviceDetailsDiscovered(QLowEnergyService::ServiceState state);

private:
    void characteristicWritten(const QBluetoothUuid& uuid, const QByteArray& data);
    void writeRefused();
    void characteristicChanged(const QBluetoothUuid& uuid, const QByteArray& data);
    void dropController();
    BTLE_DeviceInfo* findDevice(const QString& address) const;
    static void clearList(QList<QObject*>& list);

    std::unique_ptr<BTLE_Backend> mBackend;
    BTLE_DiscoveryAgent* mAgent;
    QList<QObject*> mDevices;
    QList<QObject*> mServices;
    QList<QObject*> mCharacteristics;
    QPointer<BTLE_Controller> mController;
    QPointer<BTLE_Service> mService;
    QString mConnectedAddress;
    const QString mNameFilter;
    QString mWantedAddress;
    bool mPermanentScan = false;
};
