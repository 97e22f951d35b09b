#include "device/Value.h"

#include "device/NumberConversion.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <type_traits>

#include <fmt/format.h>

namespace Hvd::Weft::Device
{

namespace
{

static_assert(std::numeric_limits<float>::is_iec559 && std::numeric_limits<double>::is_iec559,
              "the device memory holds IEEE-754 numbers");


std::uint16_t checkedLength(std::size_t count)
{
    if (count > std::numeric_limits<std::uint16_t>::max())
    {
        throw std::invalid_argument(fmt::format("Value has too many elements: Maximum: {} Actual: {}",
                                                std::numeric_limits<std::uint16_t>::max(), count));
    }
    return static_cast<std::uint16_t>(count);
}

// Truncates toward zero and keeps the low bits of T; values beyond the 64-bit
// range saturate first, NaN gives 0 (a plain cast would be undefined there).
template <typename T> T truncateTo(double value)
{
    if (std::isnan(value))
        return 0;
    if constexpr (std::is_signed_v<T>)
    {
        if (value >= twoPow63)
            return std::numeric_limits<T>::max();
        if (value < -twoPow63)
            return std::numeric_limits<T>::min();
        return static_cast<T>(static_cast<std::int64_t>(value));
    }
    else
    {
        if (value < -twoPow63)
            return static_cast<T>(std::numeric_limits<std::int64_t>::min());
        if (value >= twoPow64)
            return static_cast<T>(std::numeric_limits<std::uint64_t>::max());
        return truncateKeepingLowBits<T>(value);
    }
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Base-10 integer with leading blanks and a sign; trailing text is ignored.
// Text that does not parse or does not fit 64 bits gives 0.
template <typename T> T parseInteger(const std::string& text)
{
    std::size_t pos = 0;
    while (pos < text.size() && isBlank(text[pos]))
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
        negative = text[pos++] == '-';
    std::uint64_t magnitude = 0;
    const char* begin = text.data() + pos;
    const auto [end, error] = std::from_chars(begin, text.data() + text.size(), magnitude, 10);
    if (error != std::errc() || end == begin)
        return 0;
    if (negative)
    {
        if (magnitude > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + 1)
            return 0;
        return static_cast<T>(std::uint64_t{0} - magnitude);
    }
    if (std::is_signed_v<T> &&
        magnitude > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        return 0;
    return static_cast<T>(magnitude);
}

// Locale-independent (the GUI may have switched LC_NUMERIC); leading blanks
// and a plus sign are accepted, trailing text is ignored.
double parseDouble(const std::string& text)
{
    std::size_t pos = 0;
    while (pos < text.size() && isBlank(text[pos]))
        ++pos;
    if (pos < text.size() && text[pos] == '+')
        ++pos;
    double result = 0;
    const auto [end, error] = std::from_chars(text.data() + pos, text.data() + text.size(), result);
    (void)end;
    return error == std::errc() ? result : 0.0;
}

template <typename Container> std::string join(const Container& elements)
{
    std::string result;
    for (const auto& element : elements)
    {
        if (!result.empty())
            result += ';';
        result += fmt::format("{}", element);
    }
    return result;
}

void appendLittleEndian(std::vector<std::uint8_t>& out, std::uint64_t value, std::size_t width)
{
    for (std::size_t i = 0; i < width; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::uint64_t readLittleEndian(const std::uint8_t* bytes, std::size_t width)
{
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i)
        value |= static_cast<std::uint64_t>(bytes[i]) << (8 * i);
    return value;
}

bool isUnsignedScalar(DataType type)
{
    return type == DataType::DBYTEU8 || type == DataType::DBYTEU16 || type == DataType::DBYTEU32 ||
           type == DataType::DBYTEU64;
}

bool isFloatScalar(DataType type)
{
    return type == DataType::DFLOAT32 || type == DataType::DFLOAT64;
}

bool isFloatArray(DataType type)
{
    return type == DataType::ARRFLOAT32 || type == DataType::ARRFLOAT64;
}

template <typename T> bool allLessOrEqual(const std::vector<T>& a, const std::vector<T>& b)
{
    if (a.size() != b.size())
        return a.size() < b.size();
    for (std::size_t i = 0; i < a.size(); ++i)
    {
        if (!(a[i] <= b[i]))
            return false;
    }
    return true;
}

} // namespace

Value::Value(DataType type, std::uint16_t length, Data data)
    : mType(type)
    , mLength(length)
    , mData(std::move(data))
{
}

Value::Value(unsigned char value)
    : Value(DataType::DBYTEU8, 1, std::uint64_t{value})
{
}

Value::Value(unsigned short value)
    : Value(DataType::DBYTEU16, 1, std::uint64_t{value})
{
}

Value::Value(unsigned int value)
    : Value(DataType::DBYTEU32, 1, std::uint64_t{value})
{
}

Value::Value(unsigned long value)
    : Value(DataType::DBYTEU64, 1, std::uint64_t{value})
{
}

Value::Value(unsigned long long value)
    : Value(DataType::DBYTEU64, 1, std::uint64_t{value})
{
}

Value::Value(long value)
    : Value(DataType::DBYTEI64, 1, std::int64_t{value})
{
}

Value::Value(long long value)
    : Value(DataType::DBYTEI64, 1, std::int64_t{value})
{
}

Value::Value(float value)
    : Value(DataType::DFLOAT32, 1, double{value})
{
}

Value::Value(double value, DataType type)
    : Value(type, 1, value)
{
    if (!isFloatScalar(type))
        throw std::invalid_argument("Type must be either float or double: " + std::string(enumName(type)));
}

// Members initialise in declaration order, so the length is taken before the
// data is moved.
Value::Value(std::vector<double> values, DataType type)
    : mType(type)
    , mLength(checkedLength(values.size()))
    , mData(std::move(values))
{
    if (!isFloatArray(type))
    {
        throw std::invalid_argument("Type must be either float array or double array: " +
                                    std::string(enumName(type)));
    }
}

Value::Value(std::string text)
    : mType(DataType::ARRSTRING)
    , mLength(checkedLength(text.size()))
    , mData(std::move(text))
{
}

Value::Value(const char* text)
    : Value(std::string(text))
{
}

Value::Value(std::vector<std::uint8_t> bytes)
    : mType(DataType::ARRBYTE)
    , mLength(checkedLength(bytes.size()))
    , mData(std::move(bytes))
{
}

Value Value::fromRawData(DataType type, const void* data, std::size_t length)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (bytes == nullptr && length > 0)
        return {};
    const std::size_t width = widthOf(type);
    const bool scalar = isUnsignedScalar(type) || type == DataType::DBYTEI64 || isFloatScalar(type);
    // A scalar needs one element's bytes; without them there is nothing to decode.
    if (scalar && length == 0)
        return {};

    switch (type)
    {
    case DataType::DBYTEU8:
    case DataType::DBYTEU16:
    case DataType::DBYTEU32:
    case DataType::DBYTEU64:
        return Value(type, 1, readLittleEndian(bytes, width));
    case DataType::DBYTEI64:
        return Value(static_cast<long long>(static_cast<std::int64_t>(readLittleEndian(bytes, width))));
    case DataType::DFLOAT32:
        return Value(
            static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(readLittleEndian(bytes, 4)))),
            type);
    case DataType::DFLOAT64:
        return Value(std::bit_cast<double>(readLittleEndian(bytes, 8)), type);
    case DataType::ARRSTRING:
    {
        if (length == 0)
            return Value(std::string());
        const char* chars = reinterpret_cast<const char*>(bytes);
        if (bytes[length - 1] != 0)
            return Value(std::string(chars, length));
        std::size_t count = 0;
        while (count < length && chars[count] != '\0')
            ++count;
        return Value(std::string(chars, count));
    }
    case DataType::ARRBYTE:
        return Value(std::vector<std::uint8_t>(bytes, bytes + length));
    case DataType::ARRFLOAT32:
    case DataType::ARRFLOAT64:
    {
        std::vector<double> values;
        values.reserve(length);
        for (std::size_t i = 0; i < length; ++i)
        {
            const std::uint64_t raw = readLittleEndian(bytes + i * width, width);
            values.push_back(type == DataType::ARRFLOAT32
                                 ? static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(raw)))
                                 : std::bit_cast<double>(raw));
        }
        return Value(std::move(values), type);
    }
    default:
        return {};
    }
}

template <typename T> T Value::toInteger() const
{
    switch (mType)
    {
    case DataType::DBYTEU8:
    case DataType::DBYTEU16:
    case DataType::DBYTEU32:
    case DataType::DBYTEU64:
        return static_cast<T>(std::get<std::uint64_t>(mData));
    case DataType::DBYTEI64:
        return static_cast<T>(std::get<std::int64_t>(mData));
    case DataType::DFLOAT32:
    case DataType::DFLOAT64:
        return truncateTo<T>(std::get<double>(mData));
    case DataType::ARRSTRING:
        return parseInteger<T>(std::get<std::string>(mData));
    case DataType::ARRBYTE:
    {
        const auto& bytes = std::get<std::vector<std::uint8_t>>(mData);
        return bytes.empty() ? T{0} : static_cast<T>(bytes.front());
    }
    case DataType::ARRFLOAT32:
    case DataType::ARRFLOAT64:
    {
        const auto& values = std::get<std::vector<double>>(mData);
        return values.empty() ? T{0} : truncateTo<T>(values.front());
    }
    default:
        return 0;
    }
}

std::uint8_t Value::toU8() const
{
    return toInteger<std::uint8_t>();
}

std::uint16_t Value::toU16() const
{
    return toInteger<std::uint16_t>();
}

std::uint32_t Value::toU32() const
{
    return toInteger<std::uint32_t>();
}

std::uint64_t Value::toU64() const
{
    return toInteger<std::uint64_t>();
}

std::int64_t Value::toS64() const
{
    return toInteger<std::int64_t>();
}

float Value::toFloat() const
{
    return static_cast<float>(toDouble());
}

double Value::toDouble() const
{
    switch (mType)
    {
    case DataType::DBYTEU8:
    case DataType::DBYTEU16:
    case DataType::DBYTEU32:
    case DataType::DBYTEU64:
        return static_cast<double>(std::get<std::uint64_t>(mData));
    case DataType::DBYTEI64:
        return static_cast<double>(std::get<std::int64_t>(mData));
    case DataType::DFLOAT32:
    case DataType::DFLOAT64:
        return std::get<double>(mData);
    case DataType::ARRSTRING:
        return parseDouble(std::get<std::string>(mData));
    case DataType::ARRBYTE:
    {
        const auto& bytes = std::get<std::vector<std::uint8_t>>(mData);
        return bytes.empty() ? 0.0 : bytes.front();
    }
    case DataType::ARRFLOAT32:
    case DataType::ARRFLOAT64:
    {
        const auto& values = std::get<std::vector<double>>(mData);
        return values.empty() ? 0.0 : values.front();
    }
    default:
        return 0.0;
    }
}

std::vector<std::uint8_t> Value::toU8Array() const
{
    if (mType == DataType::ARRBYTE)
        return std::get<std::vector<std::uint8_t>>(mData);
    if (isFloatArray(mType))
    {
        std::vector<std::uint8_t> result;
        for (double element : std::get<std::vector<double>>(mData))
            result.push_back(truncateTo<std::uint8_t>(element));
        return result;
    }
    if (!isValid())
        return {};
    return {toU8()};
}

std::vector<float> Value::toFloatArray() const
{
    if (mType == DataType::ARRBYTE)
    {
        const auto& bytes = std::get<std::vector<std::uint8_t>>(mData);
        return std::vector<float>(bytes.begin(), bytes.end());
    }
    if (isFloatArray(mType))
    {
        std::vector<float> result;
        for (double element : std::get<std::vector<double>>(mData))
            result.push_back(static_cast<float>(element));
        return result;
    }
    if (!isValid())
        return {};
    return {toFloat()};
}

std::vector<double> Value::toDoubleArray() const
{
    if (mType == DataType::ARRBYTE)
    {
        const auto& bytes = std::get<std::vector<std::uint8_t>>(mData);
        return std::vector<double>(bytes.begin(), bytes.end());
    }
    if (isFloatArray(mType))
        return std::get<std::vector<double>>(mData);
    if (!isValid())
        return {};
    return {toDouble()};
}

std::string Value::toString() const
{
    switch (mType)
    {
    case DataType::DBYTEU8:
    case DataType::DBYTEU16:
    case DataType::DBYTEU32:
    case DataType::DBYTEU64:
        return std::to_string(std::get<std::uint64_t>(mData));
    case DataType::DBYTEI64:
        return std::to_string(std::get<std::int64_t>(mData));
    case DataType::DFLOAT32:
    case DataType::DFLOAT64:
        return fmt::format("{}", std::get<double>(mData));
    case DataType::ARRSTRING:
        return std::get<std::string>(mData);
    case DataType::ARRBYTE:
    {
        // Bytes print as numbers, not as characters.
        const auto& bytes = std::get<std::vector<std::uint8_t>>(mData);
        return join(std::vector<unsigned>(bytes.begin(), bytes.end()));
    }
    case DataType::ARRFLOAT32:
    case DataType::ARRFLOAT64:
        return join(std::get<std::vector<double>>(mData));
    default:
        return {};
    }
}

std::vector<std::uint8_t> Value::toBytes(std::uint16_t length) const
{
    std::vector<std::uint8_t> bytes;
    switch (mType)
    {
    case DataType::DBYTEU8:
    case DataType::DBYTEU16:
    case DataType::DBYTEU32:
    case DataType::DBYTEU64:
        appendLittleEndian(bytes, std::get<std::uint64_t>(mData), widthOf(mType));
        break;
    case DataType::DBYTEI64:
        appendLittleEndian(bytes, static_cast<std::uint64_t>(std::get<std::int64_t>(mData)), 8);
        break;
    case DataType::DFLOAT32:
        appendLittleEndian(bytes, std::bit_cast<std::uint32_t>(static_cast<float>(std::get<double>(mData))),
                           4);
        break;
    case DataType::DFLOAT64:
        appendLittleEndian(bytes, std::bit_cast<std::uint64_t>(std::get<double>(mData)), 8);
        break;
    case DataType::ARRSTRING:
    {
        const auto& text = std::get<std::string>(mData);
        if (length == 0)
            return {text.begin(), text.end()};
        // Exactly the field width: cut or padded with zero bytes, no terminator
        // when the text fills the field.
        bytes.assign(length, 0);
        std::copy_n(text.begin(), std::min<std::size_t>(length, text.size()), bytes.begin());
        break;
    }
    case DataType::ARRBYTE:
        return std::get<std::vector<std::uint8_t>>(mData);
    case DataType::ARRFLOAT32:
        for (double element : std::get<std::vector<double>>(mData))
            appendLittleEndian(bytes, std::bit_cast<std::uint32_t>(static_cast<float>(element)), 4);
        break;
    case DataType::ARRFLOAT64:
        for (double element : std::get<std::vector<double>>(mData))
            appendLittleEndian(bytes, std::bit_cast<std::uint64_t>(element), 8);
        break;
    default:
        break;
    }
    return bytes;
}

Value Value::toDataType(DataType type) const
{
    switch (type)
    {
    case DataType::DBYTEU8:
        return Value(toU8());
    case DataType::DBYTEU16:
        return Value(toU16());
    case DataType::DBYTEU32:
        return Value(toU32());
    case DataType::DBYTEU64:
        return Value(static_cast<unsigned long long>(toU64()));
    case DataType::DBYTEI64:
        return Value(static_cast<long long>(toS64()));
    case DataType::DFLOAT32:
    case DataType::DFLOAT64:
        return Value(toDouble(), type);
    case DataType::ARRSTRING:
        return Value(toString());
    case DataType::ARRBYTE:
        return Value(toU8Array());
    case DataType::ARRFLOAT32:
    case DataType::ARRFLOAT64:
        return Value(toDoubleArray(), type);
    default:
        return {};
    }
}

bool operator==(const Value& a, const Value& b)
{
    return a.mType == b.mType && a.mLength == b.mLength && a.mData == b.mData;
}

bool operator<=(const Value& a, const Value& b)
{
    if (a.mType != b.mType)
        return a.mType < b.mType;

    switch (a.mType)
    {
    case DataType::ARRBYTE:
        return allLessOrEqual(a.toU8Array(), b.toU8Array());
    case DataType::ARRFLOAT32:
        return allLessOrEqual(a.toFloatArray(), b.toFloatArray());
    case DataType::ARRFLOAT64:
        return allLessOrEqual(a.toDoubleArray(), b.toDoubleArray());
    default:
        break;
    }

    if (a.mLength != b.mLength)
        return a.mLength < b.mLength;

    switch (a.mType)
    {
    case DataType::DBYTEU8:
    case DataType::DBYTEU16:
    case DataType::DBYTEU32:
    case DataType::DBYTEU64:
        return std::get<std::uint64_t>(a.mData) <= std::get<std::uint64_t>(b.mData);
    case DataType::DBYTEI64:
        return std::get<std::int64_t>(a.mData) <= std::get<std::int64_t>(b.mData);
    case DataType::DFLOAT32:
    case DataType::DFLOAT64:
        return std::get<double>(a.mData) <= std::get<double>(b.mData);
    case DataType::ARRSTRING:
        return std::get<std::string>(a.mData) <= std::get<std::string>(b.mData);
    default:
        // Invalid values carry no data: equal.
        return true;
    }
}

} // namespace Hvd::Weft::Device
