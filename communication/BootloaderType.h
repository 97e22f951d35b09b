#pragma once

#include <QDebug>
#include <QMetaType>

#include <cstdint>

namespace Hvd::Weft::Communication
{

// The microcontroller family whose bootloader takes a firmware image.
enum class BootloaderType : std::uint8_t
{
    Undefined = 0,
    MSP432 = 1,
    TIVA = 2,
};

inline QDebug operator<<(QDebug debug, BootloaderType type)
{
    switch (type)
    {
    case BootloaderType::Undefined:
        return debug << "Undefined";
    case BootloaderType::MSP432:
        return debug << "MSP432";
    case BootloaderType::TIVA:
        return debug << "TIVA";
    }
    return debug << static_cast<int>(type);
}

} // namespace Hvd::Weft::Communication

Q_DECLARE_METATYPE(Hvd::Weft::Communication::BootloaderType)
