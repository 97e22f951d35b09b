#pragma once

#include "communication/Address.h"
#include "communication/Device.h"
#include "communication/internal/Chunks.h"
#include "device/Parameter.h"
#include "device/ParameterSetting.h"

#include <QByteArray>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace Hvd::Weft::Communication
{

using ParameterRefs = std::vector<std::reference_wrapper<const ::Hvd::Weft::Device::Parameter>>;

// Parameters that lie back to back in the NVM, merged into runs of bytes.
struct TransferableDate
{
    std::uint16_t address = 0;
    std::vector<std::uint8_t> bytes;
};

class TransferableData : public std::vector<TransferableDate>
{
public:
    using TransferableDate = Communication::TransferableDate;

    // Sorts `parameters` in place by address and merges neighbours into runs.
    static TransferableData fromParameters(ParameterRefs& parameters);

    // Appends the parameter's bytes (current value if valid, else default) to
    // the last run, always exactly the parameter's byte size so that every
    // following parameter keeps its own address.
    void appendData(const ::Hvd::Weft::Device::Parameter& parameter);
};

// Device runs, then sub-device runs, split into chunks of at most 50 bytes;
// nothing when both lists are empty. Sorts both lists in place.
std::optional<Internal::Chunks<50>> combineChunks(const Device& device, ParameterRefs& deviceParameters,
                                                  ParameterRefs& subdeviceParameters);

// Decodes the parameters of one sorted list from the bytes read, starting at
// `position` and advancing it; stops at the first parameter whose bytes are
// not all there.
void decodeReadData(const QByteArray& data, qsizetype& position, const ParameterRefs& parameters,
                    std::vector<::Hvd::Weft::Device::ParameterSetting>& settings);

} // namespace Hvd::Weft::Communication
