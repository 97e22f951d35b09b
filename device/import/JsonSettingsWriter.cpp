#include "device/import/JsonSettingsWriter.h"

#include "device/EnumNames.h"

#include <cmath>
#include <stdexcept>

namespace Hvd::Weft::Device
{

namespace
{

using json = nlohmann::json;

[[noreturn]] void refuse(const std::string& name, const char* why)
{
    throw std::invalid_argument("Setting " + name + " cannot be stored exactly: " + why);
}

json finiteNumber(double value, const std::string& name)
{
    if (!std::isfinite(value))
        refuse(name, "the value is not a finite number");
    return value;
}

json settingValue(const ParameterSetting& setting)
{
    const Value& value = setting.getValue();
    const std::string& name = setting.getName();
    switch (value.getType())
    {
    case DataType::DBYTEU8:
    case DataType::DBYTEU16:
    case DataType::DBYTEU32:
    case DataType::DBYTEU64:
        return value.toU64();
    case DataType::DBYTEI64:
        return value.toS64();
    case DataType::DFLOAT32:
    case DataType::DFLOAT64:
        // A float widened to double prints as the shortest text of that
        // double, which reads back to the same float.
        if (std::isnan(value.toDouble()))
            return nullptr;
        return finiteNumber(value.toDouble(), name);
    case DataType::ARRSTRING:
    {
        json text = value.toString();
        try
        {
            // The strict dump is the UTF-8 check.
            (void)text.dump();
        }
        catch (const json::type_error&)
        {
            refuse(name, "the text is not UTF-8");
        }
        return text;
    }
    case DataType::ARRBYTE:
        return value.toU8Array();
    case DataType::ARRFLOAT32:
    case DataType::ARRFLOAT64:
    {
        json elements = json::array();
        for (double element : value.toDoubleArray())
            elements.push_back(finiteNumber(element, name));
        return elements;
    }
    default:
        refuse(name, "the value has no type");
    }
}

json settingSets(const ParameterSetContainer<ParameterSetting>& container)
{
    json sets = json::array();
    for (const auto& [version, set] : container.getParameterSets())
    {
        json parameters = json::array();
        for (const auto& [name, setting] : set.getParameters())
        {
            parameters.push_back({{"Name", name},
                                  {"Type", std::string(enumName(setting.getValue().getType()))},
                                  {"Value", settingValue(setting)}});
        }
        json object = {{"Version", version.toString()}};
        if (!set.getDescription().empty())
            object["Description"] = set.getDescription();
        object["Parameters"] = std::move(parameters);
        sets.push_back(std::move(object));
    }
    return sets;
}

} // namespace

std::string writeDeviceSettings(const DeviceSettings& settings, const json& extra)
{
    json document = json::object();
    document["Identity"] = std::string(enumName(settings.getIdentity()));
    if (!settings.getDeviceParameterSettings().isEmpty())
        document["DeviceParameterSets"] = settingSets(settings.getDeviceParameterSettings());
    if (!settings.getSubdeviceParameterSettings().isEmpty())
        document["SubdeviceParameterSets"] = settingSets(settings.getSubdeviceParameterSettings());
    if (extra.is_object())
    {
        for (const auto& [key, item] : extra.items())
            document[key] = item;
    }
    return document.dump(2) + "\n";
}

} // namespace Hvd::Weft::Device
