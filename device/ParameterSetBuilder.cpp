#include "device/ParameterSetBuilder.h"

#include <stdexcept>

#include "device/Exceptions.h"

namespace Hvd::Weft::Device
{

namespace
{

template <typename T>
ParameterSet<T> assemble(const Version& version, const std::string& description,
                         const ParameterSet<T>& finished, const std::optional<T>& open)
{
    ParameterSet<T> result(version, description);
    for (const auto& [name, parameter] : finished.getParameters())
        result.insert(parameter);
    if (open)
        result.insert(*open);
    return result;
}

template <typename T>
void checkNewName(const ParameterSet<T>& finished, const std::optional<T>& open, const std::string& name)
{
    if (finished.contains(name) || (open && open->getName() == name))
        throw IdentifierNotUniqueException("Parameter", name);
}

} // namespace

ParameterSetBuilder& ParameterSetBuilder::version(Version value)
{
    mVersion = std::move(value);
    return *this;
}

ParameterSetBuilder& ParameterSetBuilder::description(std::string value)
{
    mDescription = std::move(value);
    return *this;
}

ParameterSetBuilder& ParameterSetBuilder::parameter(std::string name, std::string description)
{
    checkNewName(mParameters, mCurrent, name);
    if (mCurrent)
        mParameters.insert(std::move(*mCurrent));
    mCurrent.emplace(std::move(name));
    mCurrent->mDescription = std::move(description);
    return *this;
}

Parameter& ParameterSetBuilder::current()
{
    if (!mCurrent)
        throw std::logic_error("ParameterSetBuilder: no parameter opened");
    return *mCurrent;
}

ParameterSetBuilder& ParameterSetBuilder::type(DataType value)
{
    current().mType = value;
    return *this;
}

ParameterSetBuilder& ParameterSetBuilder::length(std::uint16_t value)
{
    current().mLength = value;
    return *this;
}

ParameterSetBuilder& ParameterSetBuilder::address(std::uint16_t value)
{
    current().mAddress = value;
    return *this;
}

ParameterSetBuilder& ParameterSetBuilder::tag(Tag value)
{
    current().mTags.push_back(value);
    return *this;
}

ParameterSetBuilder& ParameterSetBuilder::defaultValue(Value value)
{
    current().mDefaultValue = std::move(value);
    return *this;
}

ParameterSetBuilder& ParameterSetBuilder::minDefaultMaxValue(Value min, Value defaultValue, Value max)
{
    Parameter& parameter = current();
    parameter.mLength = defaultValue.getLength();
    parameter.mMinValue = std::move(min);
    parameter.mDefaultValue = std::move(defaultValue);
    parameter.mMaxValue = std::move(max);
    return *this;
}

ParameterSetBuilder& ParameterSetBuilder::refMin(std::uint16_t value)
{
    current().mRefMin = value;
    return *this;
}

ParameterSetBuilder& ParameterSetBuilder::refMax(std::uint16_t value)
{
    current().mRefMax = value;
    return *this;
}

ParameterSetBuilder& ParameterSetBuilder::ioLink(IoLink value)
{
    current().mIoLink = std::move(value);
    return *this;
}

ParameterSet<Parameter> ParameterSetBuilder::build() const
{
    return assemble(mVersion, mDescription, mParameters, mCurrent);
}

ParameterSettingSetBuilder& ParameterSettingSetBuilder::version(Version value)
{
    mVersion = std::move(value);
    return *this;
}

ParameterSettingSetBuilder& ParameterSettingSetBuilder::description(std::string value)
{
    mDescription = std::move(value);
    return *this;
}

ParameterSettingSetBuilder& ParameterSettingSetBuilder::parameter(std::string name)
{
    checkNewName(mSettings, mCurrent, name);
    if (mCurrent)
        mSettings.insert(std::move(*mCurrent));
    mCurrent.emplace(std::move(name));
    return *this;
}

ParameterSettingSetBuilder& ParameterSettingSetBuilder::value(Value value)
{
    if (!mCurrent)
        throw std::logic_error("ParameterSettingSetBuilder: no parameter opened");
    std::string name = mCurrent->getName();
    mCurrent.emplace(std::move(name), std::move(value));
    return *this;
}

ParameterSet<ParameterSetting> ParameterSettingSetBuilder::build() const
{
    return assemble(mVersion, mDescription, mSettings, mCurrent);
}

} // namespace Hvd::Weft::Device
