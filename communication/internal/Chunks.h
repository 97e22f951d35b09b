#pragma once

#include "communication/Address.h"
#include "communication/Device.h"

#include <QByteArray>
#include <QList>

#include <cstddef>
#include <cstdint>

namespace Hvd::Weft::Communication::Internal
{

// NVM address ranges of at most MaxBytes bytes each, in the order they are
// read or written, for one device.
template <std::size_t MaxBytes> struct Chunks
{
    static constexpr std::size_t maxBytes = MaxBytes;

    struct Chunk
    {
        Address::Type type = Address::Type::Invalid;
        std::uint16_t address = 0;
        QByteArray data;
    };

    Device device;
    QList<Chunk> chunks;
    // False when a run did not split into as many pieces as it has addresses.
    bool valid = true;
};

} // namespace Hvd::Weft::Communication::Internal
