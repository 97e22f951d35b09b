#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/DataType.h"
#include "device/IoLink.h"
#include "device/Tag.h"
#include "device/Value.h"

namespace Hvd::Weft::Device
{

class ParameterSetBuilder;

// One datum in the device memory, as the description declares it. Only the
// current value changes after the parameter is built.
class Parameter
{
public:
    // Type UNKNOWN, length 0, address 0, no tags, invalid values.
    explicit Parameter(std::string name = {});

    const std::string& getName() const { return mName; }
    const std::string& getDescription() const { return mDescription; }
    DataType getType() const { return mType; }
    std::uint16_t getLength() const { return mLength; }
    std::uint16_t getAddress() const { return mAddress; }
    const std::vector<Tag>& getTags() const { return mTags; }
    const Value& getDefaultValue() const { return mDefaultValue; }
    // As stored, valid or not.
    const Value& getCurrentValue() const { return mCurrentValue; }
    const std::optional<Value>& getMinValue() const { return mMinValue; }
    const std::optional<Value>& getMaxValue() const { return mMaxValue; }
    const std::optional<std::uint16_t>& getRefMin() const { return mRefMin; }
    const std::optional<std::uint16_t>& getRefMax() const { return mRefMax; }
    const std::optional<IoLink>& getIoLink() const { return mIoLink; }

    // Bytes the parameter occupies in the device memory: length * width.
    std::size_t getByteSize() const { return std::size_t{mLength} * widthOf(mType); }

    bool hasTag(Tag tag) const;
    // A name, a type with data and a non-zero length.
    bool isValid() const;

    // Checks type, length and limits in that order and throws
    // std::invalid_argument naming the first violation; unchanged then.
    void setCurrentValue(Value value);
    void setCurrentValueIgnoreConstraints(Value value);

    // Parameters are identified by name within their set.
    friend bool operator==(const Parameter& a, const Parameter& b) { return a.mName == b.mName; }
    friend bool operator!=(const Parameter& a, const Parameter& b) { return !(a == b); }

private:
    friend class ParameterSetBuilder;

    std::string mName;
    std::string mDescription;
    DataType mType = DataType::UNKNOWN;
    std::uint16_t mLength = 0;
    std::uint16_t mAddress = 0;
    std::vector<Tag> mTags;
    Value mDefaultValue;
    Value mCurrentValue;
    std::optional<Value> mMaxValue;
    std::optional<Value> mMinValue;
    std::optional<std::uint16_t> mRefMax;
    std::optional<std::uint16_t> mRefMin;
    std::optional<IoLink> mIoLink;
};

} // namespace Hvd::Weft::Device
