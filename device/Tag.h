#pragma once

#include <array>
#include <cstdint>

#include "device/EnumNames.h"

namespace Hvd::Weft::Device
{

// Role marker of a parameter, so that the program finds parameters by role
// rather than by name. Indexed roles are separate enumerators.
enum class Tag : std::uint8_t
{
    CALIBRATION,
    CUTOFF,
    FLOW,
    KFAKTOR,
    KFAKTOR0,
    KFAKTOR1,
    KFAKTOR2,
    KFAKTOR3,
    KFAKTOR4,
    KFAKTOR5,
    KFAKTOR6,
    KFAKTOR7,
    KFAKTOR8,
    KFAKTOR9,
    OFFSET,
    PRESSURE,
    REFERENCE0,
    REFERENCE1,
    REFERENCE2,
    REFERENCE3,
    REFERENCE4,
    REFERENCE5,
    REFERENCE6,
    REFERENCE7,
    REFERENCE8,
    REFERENCE9,
    SCALING_POINTS,
    SERIALNUMBER,
    SLOT_COUNTER,
    SLOT_MEASUREMENT_END,
    SLOT_MEASUREMENT_START,
    SLOT_UNIT,
    SLOT_VALUE,
    TEMPERATURE,
};

template <> struct EnumNames<Tag>
{
    static constexpr std::array<std::pair<Tag, std::string_view>, 34> table{{
        {Tag::CALIBRATION, "CALIBRATION"},
        {Tag::CUTOFF, "CUTOFF"},
        {Tag::FLOW, "FLOW"},
        {Tag::KFAKTOR, "KFAKTOR"},
        {Tag::KFAKTOR0, "KFAKTOR0"},
        {Tag::KFAKTOR1, "KFAKTOR1"},
        {Tag::KFAKTOR2, "KFAKTOR2"},
        {Tag::KFAKTOR3, "KFAKTOR3"},
        {Tag::KFAKTOR4, "KFAKTOR4"},
        {Tag::KFAKTOR5, "KFAKTOR5"},
        {Tag::KFAKTOR6, "KFAKTOR6"},
        {Tag::KFAKTOR7, "KFAKTOR7"},
        {Tag::KFAKTOR8, "KFAKTOR8"},
        {Tag::KFAKTOR9, "KFAKTOR9"},
        {Tag::OFFSET, "OFFSET"},
        {Tag::PRESSURE, "PRESSURE"},
        {Tag::REFERENCE0, "REFERENCE0"},
        {Tag::REFERENCE1, "REFERENCE1"},
        {Tag::REFERENCE2, "REFERENCE2"},
        {Tag::REFERENCE3, "REFERENCE3"},
        {Tag::REFERENCE4, "REFERENCE4"},
        {Tag::REFERENCE5, "REFERENCE5"},
        {Tag::REFERENCE6, "REFERENCE6"},
        {Tag::REFERENCE7, "REFERENCE7"},
        {Tag::REFERENCE8, "REFERENCE8"},
        {Tag::REFERENCE9, "REFERENCE9"},
        {Tag::SCALING_POINTS, "SCALING_POINTS"},
        {Tag::SERIALNUMBER, "SERIALNUMBER"},
        {Tag::SLOT_COUNTER, "SLOT_COUNTER"},
        {Tag::SLOT_MEASUREMENT_END, "SLOT_MEASUREMENT_END"},
        {Tag::SLOT_MEASUREMENT_START, "SLOT_MEASUREMENT_START"},
        {Tag::SLOT_UNIT, "SLOT_UNIT"},
        {Tag::SLOT_VALUE, "SLOT_VALUE"},
        {Tag::TEMPERATURE, "TEMPERATURE"},
    }};
    static constexpr std::string_view fallback = "";
};

// The k-factors of a scaled calibration (which goes with a SCALING_POINTS
// parameter) and the reference values belonging to them, one per k-factor.
inline constexpr std::array<Tag, 10> scaledKFactorTags{
    Tag::KFAKTOR0, Tag::KFAKTOR1, Tag::KFAKTOR2, Tag::KFAKTOR3, Tag::KFAKTOR4,
    Tag::KFAKTOR5, Tag::KFAKTOR6, Tag::KFAKTOR7, Tag::KFAKTOR8, Tag::KFAKTOR9,
};
inline constexpr std::array<Tag, 10> kFactorReferenceTags{
    Tag::REFERENCE0, Tag::REFERENCE1, Tag::REFERENCE2, Tag::REFERENCE3, Tag::REFERENCE4,
    Tag::REFERENCE5, Tag::REFERENCE6, Tag::REFERENCE7, Tag::REFERENCE8, Tag::REFERENCE9,
};

} // namespace Hvd::Weft::Device
