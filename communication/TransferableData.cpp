#include "communication/TransferableData.h"

#include <algorithm>

namespace Hvd::Weft::Communication
{

using ::Hvd::Weft::Device::DataType;
using ::Hvd::Weft::Device::Parameter;
using ::Hvd::Weft::Device::ParameterSetting;
using ::Hvd::Weft::Device::Value;

TransferableData TransferableData::fromParameters(ParameterRefs& parameters)
{
    std::sort(parameters.begin(), parameters.end(),
              [](const Parameter& a, const Parameter& b) { return a.getAddress() < b.getAddress(); });

    TransferableData runs;
    std::size_t previousEnd = 0;
    for (const Parameter& parameter : parameters)
    {
        if (runs.empty() || parameter.getAddress() != previousEnd)
            runs.push_back({parameter.getAddress(), {}});
        runs.appendData(parameter);
        previousEnd = std::size_t{parameter.getAddress()} + parameter.getByteSize();
    }
    return runs;
}

void TransferableData::appendData(const Parameter& parameter)
{
    if (empty())
        return;
    const Value& value =
        parameter.getCurrentValue().isValid() ? parameter.getCurrentValue() : parameter.getDefaultValue();
    std::vector<std::uint8_t> bytes = value.toBytes(parameter.getLength());
    // A value of another size than its parameter must not move its neighbours.
    bytes.resize(parameter.getByteSize(), 0);
    auto& run = back().bytes;
    run.insert(run.end(), bytes.begin(), bytes.end());
}

std::optional<Internal::Chunks<50>> combineChunks(const Device& device, ParameterRefs& deviceParameters,
                                                  ParameterRefs& subdeviceParameters)
{
    using Chunks = Internal::Chunks<50>;
    struct TypedRun
    {
        Address::Type type;
        TransferableDate run;
    };

    std::vector<TypedRun> runs;
    for (TransferableDate& run : TransferableData::fromParameters(deviceParameters))
        runs.push_back({Address::Type::Device, std::move(run)});

    Address::Type subType = Address::Type::Invalid;
    switch (device.address.getType())
    {
    case Address::Type::SubDevice:
        subType = Address::Type::SubDevice;
        break;
    case Address::Type::DeviceAndSubDevice:
        subType = Address::Type::DeviceAndSubDevice;
        break;
    default:
        break;
    }
    for (TransferableDate& run : TransferableData::fromParameters(subdeviceParameters))
        runs.push_back({subType, std::move(run)});

    if (runs.empty())
        return std::nullopt;

    Chunks result;
    result.device = device;
    constexpr std::size_t maxBytes = Chunks::maxBytes;
    for (const TypedRun& typed : runs)
    {
        const std::vector<std::uint8_t>& bytes = typed.run.bytes;
        const std::size_t pieces = (bytes.size() + maxBytes - 1) / maxBytes;
        const std::size_t addresses =
            bytes.size() < maxBytes ? 1 : bytes.size() / maxBytes + (bytes.size() % maxBytes != 0 ? 1 : 0);
        if (pieces != addresses)
            result.valid = false;

        std::uint16_t address = typed.run.address;
        for (std::size_t offset = 0; offset < bytes.size(); offset += maxBytes)
        {
            const std::size_t size = std::min(maxBytes, bytes.size() - offset);
            result.chunks.append({typed.type, address,
                                  QByteArray(reinterpret_cast<const char*>(bytes.data() + offset),
                                             static_cast<qsizetype>(size))});
            address = static_cast<std::uint16_t>(address + maxBytes);
        }
    }
    return result;
}

void decodeReadData(const QByteArray& data, qsizetype& position, const ParameterRefs& parameters,
                    std::vector<ParameterSetting>& settings)
{
    for (const Parameter& parameter : parameters)
    {
        const auto size = static_cast<qsizetype>(parameter.getByteSize());
        if (position + size > data.size())
            return;
        const Value value =
            ::Hvd::Weft::Device::isKnownType(parameter.getType())
                ? Value::fromRawData(parameter.getType(), data.constData() + position, parameter.getLength())
                : Value();
        settings.emplace_back(parameter.getName(), parameter.getType(), value);
        position += size;
    }
}

} // namespace Hvd::Weft::Communication
