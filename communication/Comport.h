#pragma once

#include <QDebug>
#include <QList>
#include <QMetaType>
#include <QString>

#include <cstdint>

namespace Hvd::Weft::Communication
{

// One serial port and the timing of its line driver.
struct Comport
{
    QString number;
    QString manufacturer;
    std::uint16_t pid = 0;
    std::uint16_t vid = 0;
    bool halfDuplex = false;
    std::uint16_t startupMs = 0;
    std::uint16_t powerDownMs = 0;

    friend bool operator==(const Comport&, const Comport&) = default;
};

QDebug operator<<(QDebug debug, const Comport& comport);

} // namespace Hvd::Weft::Communication

Q_DECLARE_METATYPE(Hvd::Weft::Communication::Comport)
