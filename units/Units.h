#pragma once

#include "units/Quantity.h"

#include <cstdint>

namespace Hvd::Unit
{

// A unit the user defines by its size in the family's reference unit (for
// flow: litres per minute).
template <typename V> struct UserUnit
{
    V factor{1};
};

// The sensor's one-byte unit codes.
enum class FlowType : std::uint8_t
{
    User = 0,
    LiterPerMinute = 1,
    MilliLiterPerMinute = 2,
    LiterPerHour = 3,
    CubicMeterPerHour = 4,
    UsGallonPerMinute = 5,
    UsGallonPerHour = 6,
    ImperialGallonPerMinute = 7,
    ImperialGallonPerHour = 8,
    LiterPerSecond = 9,
    MilliLiterPerSecond = 10,
};

enum class LengthType : std::uint8_t
{
    User = 0,
    Meter = 1,
    CentiMeter = 2,
    MilliMeter = 3,
    Inch = 4,
};

enum class VolumeType : std::uint8_t
{
    User = 0,
    Liter = 1,
    MilliLiter = 2,
    CubicMeter = 3,
    UsGallon = 4,
    ImperialGallon = 5,
};

enum class TemperatureType : std::uint8_t
{
    User = 0,
    Celsius = 1,
    Fahrenheit = 2,
    Kelvin = 3,
};

enum class PressureType : std::uint8_t
{
    User = 0,
    Pascal = 1,
    Bar = 2,
    Psi = 3,
};

// Size of one unit of `type` in m³/s. The user factor counts only for User;
// an unknown code gives a signalling NaN that propagates into every result.
template <typename V> VolumeFlow toConversionFactor(FlowType type, const UserUnit<V>& user);

template <> VolumeFlow toConversionFactor<float>(FlowType type, const UserUnit<float>& user);

const char* toString(FlowType type);
const char* toString(LengthType type);
// UTF-8 texts, for reports.
const char* toString(VolumeType type);
const char* toString(TemperatureType type);

} // namespace Hvd::Unit
