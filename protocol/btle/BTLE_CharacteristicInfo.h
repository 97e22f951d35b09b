#pragma once

#include "protocol/btle/BTLE_Transport.h"

#include <QObject>
#include <QString>

// One characteristic of the service in use.
class BTLE_CharacteristicInfo : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString characteristicName READ getName NOTIFY characteristicChanged)
    Q_PROPERTY(QString characteristicUuid READ getUuid NOTIFY characteristicChanged)
    Q_PROPERTY(QString characteristicValue READ getValue NOTIFY characteristicChanged)
    Q_PROPERTY(QString characteristicHandle READ getHandle NOTIFY characteristicChanged)
    Q_PROPERTY(QString characteristicPermission READ getPermission NOTIFY characteristicChanged)

public:
    explicit BTLE_CharacteristicInfo(const BTLE_CharacteristicData& characteristic,
                                     QObject* parent = nullptr);

    QString getName() const;
    QString getUuid() const;
    // The last known value in hexadecimal.
    QString getValue() const;
    QString getHandle() const;
    // The properties as words, e.g. "Read Write Notify".
    QString getPermission() const;
    QLowEnergyCharacteristic getCharacteristic() const;
    QBluetoothUuid getBluetoothUuid() const { return mData.uuid; }
    void setCharacteristic(const QLowEnergyCharacteristic& characteristic);
    void setCharacteristic(const BTLE_CharacteristicData& characteristic);

signals:
    void characteristicChanged();

private:
    BTLE_CharacteristicData mData;
};
