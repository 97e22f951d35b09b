#include "protocol/btle/BTLE_CharacteristicInfo.h"

#include "protocol/btle/BTLE_ServiceInfo.h"

#include <QStringList>

BTLE_CharacteristicInfo::BTLE_CharacteristicInfo(const BTLE_CharacteristicData& characteristic,
                                                 QObject* parent)
    : QObject(parent)
    , mData(characteristic)
{
}

QString BTLE_CharacteristicInfo::getName() const
{
    return mData.name;
}

QString BTLE_CharacteristicInfo::getUuid() const
{
    return btleUuidText(mData.uuid);
}

QString BTLE_CharacteristicInfo::getValue() const
{
    return QString::fromLatin1(mData.value.toHex(' '));
}

QString BTLE_CharacteristicInfo::getHandle() const
{
    return QStringLiteral("0x%1").arg(mData.handle, 4, 16, QLatin1Char('0'));
}

QString BTLE_CharacteristicInfo::getPermission() const
{
    static constexpr struct
    {
        QLowEnergyCharacteristic::PropertyType type;
        const char* name;
    } names[] = {
        {QLowEnergyCharacteristic::Broadcasting, "Broadcast"},
        {QLowEnergyCharacteristic::Read, "Read"},
        {QLowEnergyCharacteristic::WriteNoResponse, "WriteNoResp"},
        {QLowEnergyCharacteristic::Write, "Write"},
        {QLowEnergyCharacteristic::Notify, "Notify"},
        {QLowEnergyCharacteristic::Indicate, "Indicate"},
        {QLowEnergyCharacteristic::WriteSigned, "WriteSigned"},
        {QLowEnergyCharacteristic::ExtendedProperty, "ExtendedProperty"},
    };
    QStringList words;
    for (const auto& entry : names)
        if (mData.properties.testFlag(entry.type))
            words.append(QLatin1String(entry.name));
    return words.join(QLatin1Char(' '));
}

QLowEnergyCharacteristic BTLE_CharacteristicInfo::getCharacteristic() const
{
    return mData.characteristic;
}

void BTLE_CharacteristicInfo::setCharacteristic(const QLowEnergyCharacteristic& characteristic)
{
    setCharacteristic(BTLE_CharacteristicData::fromCharacteristic(characteristic));
}

void BTLE_CharacteristicInfo::setCharacteristic(const BTLE_CharacteristicData& characteristic)
{
    mData = characteristic;
    emit characteristicChanged();
}
