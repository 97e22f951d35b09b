#include "communication/Address.h"

namespace Hvd::Weft::Communication
{

Address::Type Address::getType() const
{
    const bool slave = bytes[1] != 0 || bytes[2] != 0;
    const bool subSlave = bytes[3] != 0 || bytes[4] != 0;
    if (slave)
        return subSlave ? Type::DeviceAndSubDevice : Type::Device;
    return subSlave ? Type::SubDevice : Type::Invalid;
}

std::array<std::uint8_t, 5> Address::asArray(Type type) const
{
    std::array<std::uint8_t, 5> result = bytes;
    switch (type)
    {
    case Type::Device:
        result[3] = 0;
        result[4] = 0;
        break;
    case Type::SubDevice:
        result[1] = 0;
        result[2] = 0;
        break;
    default:
        break;
    }
    return result;
}

QList<QString> Address::getAddressAsString(const std::array<std::uint8_t, 5>& address) const
{
    QList<QString> texts;
    for (std::uint8_t byte : address)
        texts.append(QString::number(byte));
    return texts;
}

QDebug operator<<(QDebug debug, Address::Type type)
{
    const QDebugStateSaver saver(debug);
    switch (type)
    {
    case Address::Type::Device:
        debug.nospace() << "Device";
        break;
    case Address::Type::SubDevice:
        debug.nospace() << "SubDevice";
        break;
    case Address::Type::DeviceAndSubDevice:
        debug.nospace() << "DeviceAndSubDevice";
        break;
    case Address::Type::Invalid:
        debug.nospace() << "Invalid";
        break;
    default:
        debug.nospace() << "Address::Type(" << static_cast<std::uint32_t>(type) << ')';
        break;
    }
    return debug;
}

} // namespace Hvd::Weft::Communication
