#include "protocol/btle/BTLE_ServiceInfo.h"

#include "protocol/btle/BTLE_Transport.h"

QString btleUuidText(const QBluetoothUuid& uuid)
{
    bool bShort = false;
    if (uuid.minimumSize() == 2)
        return QStringLiteral("0x%1").arg(uuid.toUInt16(&bShort), 4, 16, QLatin1Char('0'));
    if (uuid.minimumSize() == 4)
        return QStringLiteral("0x%1").arg(uuid.toUInt32(&bShort), 8, 16, QLatin1Char('0'));
    return uuid.toString(QUuid::WithoutBraces);
}

BTLE_ServiceInfo::BTLE_ServiceInfo(BTLE_Service* service, QObject* parent)
    : QObject(parent)
    , mService(service)
{
}

QString BTLE_ServiceInfo::getName() const
{
    return mService ? mService->serviceName() : QString();
}

QString BTLE_ServiceInfo::getUuid() const
{
    return mService ? btleUuidText(mService->serviceUuid()) : QString();
}

QString BTLE_ServiceInfo::getType() const
{
    if (!mService)
        return {};
    return mService->type().testFlag(QLowEnergyService::PrimaryService) ? QStringLiteral("Primary")
                                                                        : QStringLiteral("Secondary");
}

QLowEnergyService* BTLE_ServiceInfo::service() const
{
    return mService ? mService->service() : nullptr;
}
