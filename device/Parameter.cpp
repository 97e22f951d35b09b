#include "device/Parameter.h"

#include <algorithm>
#include <stdexcept>

#include <fmt/format.h>

namespace Hvd::Weft::Device
{

Parameter::Parameter(std::string name)
    : mName(std::move(name))
{
}

bool Parameter::hasTag(Tag tag) const
{
    return std::find(mTags.begin(), mTags.end(), tag) != mTags.end();
}

bool Parameter::isValid() const
{
    return !mName.empty() && isKnownType(mType) && mLength > 0;
}

void Parameter::setCurrentValue(Value value)
{
    if (value.getType() != mType)
    {
        throw std::invalid_argument(fmt::format("Types must match: Expected: {} Actual: {}", enumName(mType),
                                                enumName(value.getType())));
    }
    if (mType == DataType::ARRSTRING)
    {
        if (value.getLength() > mLength)
        {
            throw std::invalid_argument(
                fmt::format("Length is too big: Maximum: {} Actual: {}", mLength, value.getLength()));
        }
    }
    else if (value.getLength() != mLength)
    {
        throw std::invalid_argument(
            fmt::format("Length is different: Expected: {} Actual: {}", mLength, value.getLength()));
    }
    if (mMinValue && !(*mMinValue <= value))
    {
        throw std::invalid_argument(fmt::format("Value is too small: Minimum: {} Actual: {}",
                                                mMinValue->toString(), value.toString()));
    }
    if (mMaxValue && !(value <= *mMaxValue))
    {
        throw std::invalid_argument(
            fmt::format("Value is too big: Maximum: {} Actual: {}", mMaxValue->toString(), value.toString()));
    }
    mCurrentValue = std::move(value);
}

void Parameter::setCurrentValueIgnoreConstraints(Value value)
{
    mCurrentValue = std::move(value);
}

} // namespace Hvd::Weft::Device
