#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "device/EnumNames.h"

namespace Hvd::Weft::Device
{

enum class AccessRight : std::uint8_t
{
    Read,
    Write,
    ReadWrite,
};

template <> struct EnumNames<AccessRight>
{
    static constexpr std::array<std::pair<AccessRight, std::string_view>, 3> table{{
        {AccessRight::Read, "Read"},
        {AccessRight::Write, "Write"},
        {AccessRight::ReadWrite, "ReadWrite"},
    }};
    static constexpr std::string_view fallback = "";
};

// How a parameter is exposed over IO-Link.
class IoLink
{
public:
    class Builder;
    static Builder builder();

    std::uint16_t getAddress() const { return mAddress; }
    AccessRight getUserAccess() const { return mUserAccess; }
    AccessRight getFactoryAccess() const { return mFactoryAccess; }
    const std::vector<std::string>& getMenu() const { return mMenu; }

    friend bool operator==(const IoLink&, const IoLink&) = default;

private:
    friend class Builder;

    std::uint16_t mAddress = 0;
    AccessRight mUserAccess = AccessRight::Read;
    AccessRight mFactoryAccess = AccessRight::Read;
    std::vector<std::string> mMenu;
};

class IoLink::Builder
{
public:
    Builder& address(std::uint16_t value)
    {
        mResult.mAddress = value;
        return *this;
    }
    Builder& userAccess(AccessRight value)
    {
        mResult.mUserAccess = value;
        return *this;
    }
    Builder& factoryAccess(AccessRight value)
    {
        mResult.mFactoryAccess = value;
        return *this;
    }
    Builder& menu(std::vector<std::string> value)
    {
        mResult.mMenu = std::move(value);
        return *this;
    }
    IoLink build() const { return mResult; }

private:
    IoLink mResult;
};

inline IoLink::Builder IoLink::builder()
{
    return {};
}

} // namespace Hvd::Weft::Device
