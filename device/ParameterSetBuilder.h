#pragma once

#include <concepts>
#include <optional>
#include <string>

#include "device/ParameterSet.h"

namespace Hvd::Weft::Device
{

// Builds a ParameterSet<Parameter>: parameter(name) opens a parameter, the
// setters after it fill that parameter, the next parameter(name) or build()
// closes it.
class ParameterSetBuilder
{
public:
    ParameterSetBuilder& version(Version value);
    // Description of the set; the parameter's own goes with parameter().
    ParameterSetBuilder& description(std::string value);

    // Throws IdentifierNotUniqueException ("Parameter") for a name already used.
    ParameterSetBuilder& parameter(std::string name, std::string description = {});
    ParameterSetBuilder& type(DataType value);
    ParameterSetBuilder& length(std::uint16_t value);
    ParameterSetBuilder& address(std::uint16_t value);
    ParameterSetBuilder& tag(Tag value);
    ParameterSetBuilder& defaultValue(Value value);
    // Limits and default; the length becomes the default's length.
    ParameterSetBuilder& minDefaultMaxValue(Value min, Value defaultValue, Value max);
    // Scalar limits and default of the given type, length 1.
    template <typename T>
    requires std::same_as<T, std::uint8_t> || std::same_as<T, std::uint16_t> ||
        std::same_as<T, std::uint32_t> || std::same_as<T, std::uint64_t> || std::same_as<T, std::int64_t> ||
        std::same_as<T, double>
            ParameterSetBuilder& minDefaultMaxValue(T min, T defaultValue, T max, DataType valueType)
    {
        type(valueType);
        return minDefaultMaxValue(makeValue(min, valueType), makeValue(defaultValue, valueType),
                                  makeValue(max, valueType));
    }
    ParameterSetBuilder& refMin(std::uint16_t value);
    ParameterSetBuilder& refMax(std::uint16_t value);
    ParameterSetBuilder& ioLink(IoLink value);

    ParameterSet<Parameter> build() const;

private:
    template <typename T> static Value makeValue(T value, DataType valueType)
    {
        if constexpr (std::same_as<T, double>)
            return Value(value, valueType);
        else if constexpr (std::same_as<T, std::int64_t>)
            return Value(static_cast<long long>(value)).toDataType(valueType);
        else if constexpr (std::same_as<T, std::uint64_t>)
            return Value(static_cast<unsigned long long>(value)).toDataType(valueType);
        else
            return Value(value).toDataType(valueType);
    }

    // The open parameter; std::logic_error when none was opened.
    Parameter& current();

    Version mVersion;
    std::string mDescription;
    ParameterSet<Parameter> mParameters;
    std::optional<Parameter> mCurrent;
};

// Builds a ParameterSet<ParameterSetting>: parameter(name) opens a setting,
// value() gives it its value and type.
class ParameterSettingSetBuilder
{
public:
    ParameterSettingSetBuilder& version(Version value);
    ParameterSettingSetBuilder& description(std::string value);
    // Throws IdentifierNotUniqueException ("Parameter") for a name already used.
    ParameterSettingSetBuilder& parameter(std::string name);
    ParameterSettingSetBuilder& value(Value value);

    ParameterSet<ParameterSetting> build() const;

private:
    Version mVersion;
    std::string mDescription;
    ParameterSet<ParameterSetting> mSettings;
    std::optional<ParameterSetting> mCurrent;
};

} // namespace Hvd::Weft::Device
