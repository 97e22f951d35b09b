#include "units/Units.h"

#include <array>
#include <bit>

namespace Hvd::Unit
{

namespace
{

struct FlowUnitRow
{
    const char* text;
    float factor; // m³/s per unit
};

// Codes 0 to 10; the gallon factors are the rounded values the sensor uses.
constexpr std::array<FlowUnitRow, 11> flowUnits{{
    {"User", 1.6666667e-05f},
    {"L/m", 1.6666667e-05f},
    {"mL/m", 1.6666666e-08f},
    {"L/h", 2.777778e-07f},
    {"m3/h", 0.00027777778f},
    {"gals/m", 6.309e-05f},
    {"gals/h", 1.0515e-06f},
    {"galk/m", 7.576834e-05f},
    {"galk/h", 1.2628057e-06f},
    {"L/s", 0.001f},
    {"mL/s", 1e-06f},
}};

constexpr std::array<const char*, 5> lengthUnits{"User", "m", "cm", "mm", "in"};

constexpr std::array<const char*, 6> volumeUnits{"User", "L", "mL", "m3", "gals", "galk"};
constexpr std::array<const char*, 4> temperatureUnits{"User", "\u00B0C", "\u00B0F", "K"};

constexpr const char* notAvailable = "NA";

} // namespace

template <> VolumeFlow toConversionFactor<float>(FlowType type, const UserUnit<float>& user)
{
    const auto code = static_cast<std::size_t>(type);
    if (code >= flowUnits.size())
        return VolumeFlow(std::bit_cast<float>(0x7FA00000u));
    if (type == FlowType::User)
        return VolumeFlow(flowUnits[code].factor * user.factor);
    return VolumeFlow(flowUnits[code].factor);
}

const char* toString(FlowType type)
{
    const auto code = static_cast<std::size_t>(type);
    return code < flowUnits.size() ? flowUnits[code].text : notAvailable;
}

const char* toString(LengthType type)
{
    const auto code = static_cast<std::size_t>(type);
    return code < lengthUnits.size() ? lengthUnits[code] : notAvailable;
}

const char* toString(VolumeType type)
{
    const auto code = static_cast<std::size_t>(type);
    return code < volumeUnits.size() ? volumeUnits[code] : notAvailable;
}

const char* toString(TemperatureType type)
{
    const auto code = static_cast<std::size_t>(type);
    return code < temperatureUnits.size() ? temperatureUnits[code] : notAvailable;
}

} // namespace Hvd::Unit
