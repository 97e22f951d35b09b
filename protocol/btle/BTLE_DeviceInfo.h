#pragma once

#include <QBluetoothDeviceInfo>
#include <QObject>
#include <QString>

// One device found by the discovery.
class BTLE_DeviceInfo : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString deviceName READ getName NOTIFY deviceChanged)
    Q_PROPERTY(QString deviceAddress READ getAddress NOTIFY deviceChanged)

public:
    explicit BTLE_DeviceInfo(const QBluetoothDeviceInfo& device, QObject* parent = nullptr);

    QString getName() const;
    // The address as text; where the platform hides addresses (macOS) the
    // device's UUID instead.
    QString getAddress() const;
    QBluetoothDeviceInfo getDevice() const;
    void setDevice(const QBluetoothDeviceInfo& device);

signals:
    void deviceChanged();

private:
    QBluetoothDeviceInfo mDevice;
};
