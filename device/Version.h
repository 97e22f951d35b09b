#pragma once

#include <compare>
#include <cstdint>
#include <string>

namespace Hvd::Weft::Device
{

// Firmware parameter-layout version, written "V" + two digits (the second
// 1 to 9) + "." + two digits, e.g. V02.11 = (2, 1, 1). Versions order by
// their three numbers; the text does not take part.
class Version
{
public:
    // (0, 0, 0) with the text "V00.00"; not valid.
    Version() = default;
    // Throws std::invalid_argument when text does not have the form above.
    explicit Version(std::string text);

    const std::string& toString() const { return mText; }
    bool isValid() const { return mHardwareFamily != 0; }

    std::uint8_t getHardwareFamily() const { return mHardwareFamily; }
    std::uint8_t getHardwareVersion() const { return mHardwareVersion; }
    std::uint8_t getParameterVersion() const { return mParameterVersion; }

    friend bool operator==(const Version& a, const Version& b)
    {
        return a.mHardwareFamily == b.mHardwareFamily && a.mHardwareVersion == b.mHardwareVersion &&
               a.mParameterVersion == b.mParameterVersion;
    }
    friend std::strong_ordering operator<=>(const Version& a, const Version& b)
    {
        if (auto order = a.mHardwareFamily <=> b.mHardwareFamily; order != 0)
            return order;
        if (auto order = a.mHardwareVersion <=> b.mHardwareVersion; order != 0)
            return order;
        return a.mParameterVersion <=> b.mParameterVersion;
    }

private:
    std::uint8_t mHardwareFamily = 0;
    std::uint8_t mHardwareVersion = 0;
    std::uint8_t mParameterVersion = 0;
    std::string mText = "V00.00";
};

} // namespace Hvd::Weft::Device
