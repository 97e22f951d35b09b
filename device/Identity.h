#pragma once

#include <cstdint>

#include "device/EnumNames.h"

namespace Hvd::Weft::Device
{

// Device family a description or settings file belongs to, in alphabetical
// order of the names; this tool serves N5Q2-Orvik.
enum class Identity : std::uint8_t
{
    B1F4_Brenna,
    C3T1_Caldra,
    D2M8_Dorvik,
    E6L2_Elsund,
    F4P9_Fjordan,
    H2V5_Halden,
    K7R3_Kestrel,
    L1S6_Lunda,
    M3X2_Marden,
    N5Q2_Orvik,
    P8G1_Pellin,
    T2W4_Tindra,
    Unknown,
};

template <> struct EnumNames<Identity>
{
    static constexpr std::array<std::pair<Identity, std::string_view>, 13> table{{
        {Identity::B1F4_Brenna, "B1F4-Brenna"},
        {Identity::C3T1_Caldra, "C3T1-Caldra"},
        {Identity::D2M8_Dorvik, "D2M8-Dorvik"},
        {Identity::E6L2_Elsund, "E6L2-Elsund"},
        {Identity::F4P9_Fjordan, "F4P9-Fjordan"},
        {Identity::H2V5_Halden, "H2V5-Halden"},
        {Identity::K7R3_Kestrel, "K7R3-Kestrel"},
        {Identity::L1S6_Lunda, "L1S6-Lunda"},
        {Identity::M3X2_Marden, "M3X2-Marden"},
        {Identity::N5Q2_Orvik, "N5Q2-Orvik"},
        {Identity::P8G1_Pellin, "P8G1-Pellin"},
        {Identity::T2W4_Tindra, "T2W4-Tindra"},
        {Identity::Unknown, "Unknown"},
    }};
    static constexpr std::string_view fallback = "Unknown";
};

} // namespace Hvd::Weft::Device
