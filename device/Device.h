#pragma once

#include "device/Identity.h"
#include "device/ParameterSet.h"
#include "device/Traits.h"

namespace Hvd::Weft::Device
{

// One imported description: the parameters of the device and of the
// sub-device it carries, per firmware version, and the family's traits.
class Device
{
public:
    Device() = default;
    Device(Identity identity, ParameterSetContainer<Parameter> deviceParameterSets,
           ParameterSetContainer<Parameter> subdeviceParameterSets, Traits traits)
        : mIdentity(identity)
        , mDeviceParameterSets(std::move(deviceParameterSets))
        , mSubdeviceParameterSets(std::move(subdeviceParameterSets))
        , mTraits(std::move(traits))
    {
    }

    Identity getIdentity() const { return mIdentity; }
    const ParameterSetContainer<Parameter>& getDeviceParameterSets() const { return mDeviceParameterSets; }
    const ParameterSetContainer<Parameter>& getSubdeviceParameterSets() const
    {
        return mSubdeviceParameterSets;
    }
    const Traits& getTraits() const { return mTraits; }

    // A known identity and at least one parameter set.
    bool isValid() const
    {
        return mIdentity != Identity::Unknown &&
               (!mDeviceParameterSets.isEmpty() || !mSubdeviceParameterSets.isEmpty());
    }

private:
    Identity mIdentity = Identity::Unknown;
    ParameterSetContainer<Parameter> mDeviceParameterSets;
    ParameterSetContainer<Parameter> mSubdeviceParameterSets;
    Traits mTraits;
};

} // namespace Hvd::Weft::Device
