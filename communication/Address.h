#pragma once

#include <QDebug>
#include <QList>
#include <QMetaType>
#include <QString>

#include <array>
#include <cstdint>

namespace Hvd::Weft::Communication
{

// A VELTRIX device address: vendor id, slave address (high, low) and
// sub-slave address (high, low).
struct Address
{
    // Which part of the address a command goes to.
    enum class Type : std::uint32_t
    {
        Device = 0,
        SubDevice = 1,
        DeviceAndSubDevice = 2,
        Invalid = 255,
    };

    std::array<std::uint8_t, 5> bytes{};

    // A vendor id alone counts as no address.
    Type getType() const;
    // The bytes a command to `type` is sent to; other parts are zeroed.
    std::array<std::uint8_t, 5> asArray(Type type) const;
    // Each byte in decimal, in byte order.
    QList<QString> getAddressAsString(const std::array<std::uint8_t, 5>& address) const;

    friend bool operator==(const Address&, const Address&) = default;
};

QDebug operator<<(QDebug debug, Address::Type type);

} // namespace Hvd::Weft::Communication

Q_DECLARE_METATYPE(Hvd::Weft::Communication::Address::Type)
