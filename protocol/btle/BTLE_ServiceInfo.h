#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class BTLE_Service;
class QBluetoothUuid;
class QLowEnergyService;

// UUID as shown to people: a 16-bit or 32-bit short UUID as a hexadecimal
// number, any other as the full UUID.
QString btleUuidText(const QBluetoothUuid& uuid);

// One service of the connected device.
class BTLE_ServiceInfo : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString serviceName READ getName NOTIFY serviceChanged)
    Q_PROPERTY(QString serviceUuid READ getUuid NOTIFY serviceChanged)
    Q_PROPERTY(QString serviceType READ getType NOTIFY serviceChanged)

public:
    explicit BTLE_ServiceInfo(BTLE_Service* service, QObject* parent = nullptr);

    QString getName() const;
    QString getUuid() const;
    QString getType() const;
    // The Qt service; null when the service is gone or not Qt's own.
    QLowEnergyService* service() const;
    BTLE_Service* transportService() const { return mService; }

signals:
    void serviceChanged();

private:
    // Owned by the controller; gone with it.
    QPointer<BTLE_Service> mService;
};
