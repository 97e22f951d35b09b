#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "device/DataType.h"

namespace Hvd::Weft::Device
{

// One typed datum as held in the device memory. Scalars have length 1,
// strings their character count, arrays their element count.
class Value
{
public:
    using Data = std::variant<std::monostate, std::uint64_t, std::int64_t, double, std::string,
                              std::vector<std::uint8_t>, std::vector<double>>;

    // The invalid value: type UNKNOWN, length 1, no data.
    Value() = default;

    Value(unsigned char value);
    Value(unsigned short value);
    Value(unsigned int value);
    Value(unsigned long value);
    Value(unsigned long long value);
    Value(long value);
    Value(long long value);
    Value(float value);
    // type must be DFLOAT32 or DFLOAT64, otherwise std::invalid_argument.
    Value(double value, DataType type);
    // type must be ARRFLOAT32 or ARRFLOAT64, otherwise std::invalid_argument.
    Value(std::vector<double> values, DataType type);
    Value(std::string text);
    Value(const char* text);
    Value(std::vector<std::uint8_t> bytes);

    // Decodes length elements of type from little-endian device memory; the
    // caller guarantees length * width bytes at data.
    static Value fromRawData(DataType type, const void* data, std::size_t length);

    DataType getType() const { return mType; }
    std::uint16_t getLength() const { return mLength; }
    bool isValid() const { return isKnownType(mType); }

    std::uint8_t toU8() const;
    std::uint16_t toU16() const;
    std::uint32_t toU32() const;
    std::uint64_t toU64() const;
    std::int64_t toS64() const;
    float toFloat() const;
    double toDouble() const;
    std::vector<std::uint8_t> toU8Array() const;
    std::vector<float> toFloatArray() const;
    std::vector<double> toDoubleArray() const;
    std::string toString() const;

    // Bytes for the device memory; length only matters for strings (the
    // parameter's field width, 0 for exactly the characters).
    std::vector<std::uint8_t> toBytes(std::uint16_t length) const;
    Value toDataType(DataType type) const;

    friend bool operator==(const Value& a, const Value& b);
    friend bool operator!=(const Value& a, const Value& b) { return !(a == b); }
    // Arrays compare element-wise, so this is a partial order: neither of
    // {1, 9} and {2, 3} is <= the other.
    friend bool operator<=(const Value& a, const Value& b);
    friend bool operator<(const Value& a, const Value& b) { return a <= b && !(a == b); }
    friend bool operator>=(const Value& a, const Value& b) { return b <= a; }
    friend bool operator>(const Value& a, const Value& b) { return b < a; }

private:
    Value(DataType type, std::uint16_t length, Data data);

    template <typename T> T toInteger() const;

    DataType mType = DataType::UNKNOWN;
    std::uint16_t mLength = 1;
    Data mData;
};

} // namespace Hvd::Weft::Device
