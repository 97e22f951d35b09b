#pragma once

#include <functional>
#include <string>

namespace Hvd::Weft::Device
{

// A file format, identified by its name and recognised by the file suffix.
class Format
{
public:
    Format(std::string name, std::string suffix)
        : mName(std::move(name))
        , mSuffix(std::move(suffix))
    {
    }

    const std::string& getName() const { return mName; }
    const std::string& getSuffix() const { return mSuffix; }
    // Byte-wise, case-sensitive.
    bool matches(const std::string& fileName) const { return fileName.ends_with(mSuffix); }

    friend bool operator==(const Format& a, const Format& b) { return a.mName == b.mName; }
    friend bool operator!=(const Format& a, const Format& b) { return !(a == b); }

    static const Format DESC_JSON;
    static const Format PARA_JSON;

    static bool isDeviceDescriptionFormat(const std::string& fileName) { return DESC_JSON.matches(fileName); }
    static bool isDeviceSettingsFormat(const std::string& fileName) { return PARA_JSON.matches(fileName); }

private:
    std::string mName;
    std::string mSuffix;
};

} // namespace Hvd::Weft::Device

template <> struct std::hash<Hvd::Weft::Device::Format>
{
    std::size_t operator()(const Hvd::Weft::Device::Format& format) const noexcept
    {
        return std::hash<std::string>()(format.getName());
    }
};
