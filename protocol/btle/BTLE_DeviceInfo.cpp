#include "protocol/btle/BTLE_DeviceInfo.h"

#include <QBluetoothAddress>

BTLE_DeviceInfo::BTLE_DeviceInfo(const QBluetoothDeviceInfo& device, QObject* parent)
    : QObject(parent)
    , mDevice(device)
{
}

QString BTLE_DeviceInfo::getName() const
{
    return mDevice.name();
}

QString BTLE_DeviceInfo::getAddress() const
{
    if (mDevice.address().isNull())
        return mDevice.deviceUuid().toString();
    return mDevice.address().toString();
}

QBluetoothDeviceInfo BTLE_DeviceInfo::getDevice() const
{
    return mDevice;
}

void BTLE_DeviceInfo::setDevice(const QBluetoothDeviceInfo& device)
{
    mDevice = device;
    emit deviceChanged();
}
