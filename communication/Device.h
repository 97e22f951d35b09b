#pragma once

#include "communication/Address.h"

#include <QDebug>
#include <QMetaType>
#include <QString>

namespace Hvd::Weft::Communication
{

// Name of the placeholder device reported when a port is opened without
// identification; commands recognise a bootloader connection by it.
inline const QString bootloaderDeviceName = QStringLiteral("Bootloader");

// Identification of a connected sensor; "-" marks every field not known.
struct Device
{
    QString name = QStringLiteral("-");
    QString version = QStringLiteral("-");
    QString revision = QStringLiteral("-");
    QString vendor = QStringLiteral("-");
    Address address;
    QString subName = QStringLiteral("-");
    QString subVersion = QStringLiteral("-");
    QString subRevision = QStringLiteral("-");

    bool hasSubDevice() const
    {
        const Address::Type type = address.getType();
        return type == Address::Type::SubDevice || type == Address::Type::DeviceAndSubDevice;
    }

    friend bool operator==(const Device&, const Device&) = default;
};

QDebug operator<<(QDebug debug, const Device& device);

} // namespace Hvd::Weft::Communication

Q_DECLARE_METATYPE(Hvd::Weft::Communication::Device)
