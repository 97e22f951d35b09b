#pragma once

#include <string>

#include "device/DataType.h"
#include "device/Value.h"

namespace Hvd::Weft::Device
{

// A value for the parameter of the same name, without its description data.
class ParameterSetting
{
public:
    explicit ParameterSetting(std::string name = {})
        : mName(std::move(name))
    {
    }
    ParameterSetting(std::string name, Value value)
        : mName(std::move(name))
        , mType(value.getType())
        , mValue(std::move(value))
    {
    }
    ParameterSetting(std::string name, DataType type, Value value)
        : mName(std::move(name))
        , mType(type)
        , mValue(std::move(value))
    {
    }

    const std::string& getName() const { return mName; }
    DataType getType() const { return mType; }
    const Value& getValue() const { return mValue; }
    // A name and a valid value of the setting's type.
    bool isValid() const { return !mName.empty() && mValue.isValid() && mValue.getType() == mType; }

    friend bool operator==(const ParameterSetting& a, const ParameterSetting& b)
    {
        return a.mName == b.mName;
    }
    friend bool operator!=(const ParameterSetting& a, const ParameterSetting& b) { return !(a == b); }

private:
    std::string mName;
    DataType mType = DataType::UNKNOWN;
    Value mValue;
};

} // namespace Hvd::Weft::Device
