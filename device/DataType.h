#pragma once

#include <cstddef>
#include <cstdint>

#include "device/EnumNames.h"

namespace Hvd::Weft::Device
{

enum class DataType : std::uint8_t
{
    DBYTEU8 = 0,
    DBYTEU16 = 1,
    DBYTEU32 = 2,
    DBYTEU64 = 3,
    DBYTEI64 = 4,
    DFLOAT32 = 5,
    DFLOAT64 = 6,
    ARRSTRING = 7,
    ARRBYTE = 8,
    ARRFLOAT32 = 9,
    ARRFLOAT64 = 10,
    UNKNOWN = 11,
};

template <> struct EnumNames<DataType>
{
    static constexpr std::array<std::pair<DataType, std::string_view>, 12> table{{
        {DataType::DBYTEU8, "DBYTEU8"},
        {DataType::DBYTEU16, "DBYTEU16"},
        {DataType::DBYTEU32, "DBYTEU32"},
        {DataType::DBYTEU64, "DBYTEU64"},
        {DataType::DBYTEI64, "DBYTEI64"},
        {DataType::DFLOAT32, "DFLOAT32"},
        {DataType::DFLOAT64, "DFLOAT64"},
        {DataType::ARRSTRING, "ARRSTRING"},
        {DataType::ARRBYTE, "ARRBYTE"},
        {DataType::ARRFLOAT32, "ARRFLOAT32"},
        {DataType::ARRFLOAT64, "ARRFLOAT64"},
        {DataType::UNKNOWN, "UNKNOWN"},
    }};
    // Values beyond the table carry no data either.
    static constexpr std::string_view fallback = "UNKNOWN";
};

// Bytes one element occupies in the device memory; 0 for types without data.
constexpr std::size_t widthOf(DataType type)
{
    switch (type)
    {
    case DataType::DBYTEU8:
    case DataType::ARRSTRING:
    case DataType::ARRBYTE:
        return 1;
    case DataType::DBYTEU16:
        return 2;
    case DataType::DBYTEU32:
    case DataType::DFLOAT32:
    case DataType::ARRFLOAT32:
        return 4;
    case DataType::DBYTEU64:
    case DataType::DBYTEI64:
    case DataType::DFLOAT64:
    case DataType::ARRFLOAT64:
        return 8;
    default:
        return 0;
    }
}

// True for the eleven types that hold data (0 to 10).
constexpr bool isKnownType(DataType type)
{
    return static_cast<std::uint8_t>(type) <= static_cast<std::uint8_t>(DataType::ARRFLOAT64);
}

} // namespace Hvd::Weft::Device
