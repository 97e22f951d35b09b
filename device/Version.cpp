#include "device/Version.h"

#include <regex>
#include <stdexcept>

namespace Hvd::Weft::Device
{

namespace
{

const std::regex& versionPattern()
{
    static const std::regex pattern(R"(^V([0-9][1-9])\.([0-9])([0-9])$)");
    return pattern;
}

} // namespace

Version::Version(std::string text)
{
    std::smatch match;
    if (!std::regex_match(text, match, versionPattern()))
        throw std::invalid_argument("Version '" + text + "' must match V[0-9][1-9].[0-9]{2}");
    mHardwareFamily = static_cast<std::uint8_t>(std::stoul(match[1].str()));
    mHardwareVersion = static_cast<std::uint8_t>(std::stoul(match[2].str()));
    mParameterVersion = static_cast<std::uint8_t>(std::stoul(match[3].str()));
    mText = std::move(text);
}

} // namespace Hvd::Weft::Device
