#pragma once

#include <cstdint>

namespace Hvd::Weft::Device
{

inline constexpr double twoPow63 = 9223372036854775808.0;
inline constexpr double twoPow64 = 18446744073709551616.0;

// Whether a double lies where truncation to a 64-bit integer is defined:
// from -2^63 up to, not including, 2^64. False for NaN.
constexpr bool inInteger64Range(double value)
{
    return value >= -twoPow63 && value < twoPow64;
}

// Truncates toward zero and keeps the low bits of T, as an integer
// conversion does. Only for values inInteger64Range: a cast of any other
// double would be undefined.
template <typename T> T truncateKeepingLowBits(double value)
{
    return value < 0 ? static_cast<T>(static_cast<std::int64_t>(value))
                     : static_cast<T>(static_cast<std::uint64_t>(value));
}

} // namespace Hvd::Weft::Device
