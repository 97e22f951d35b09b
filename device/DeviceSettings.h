#pragma once

#include "device/Identity.h"
#include "device/ParameterSet.h"

namespace Hvd::Weft::Device
{

// Values to put into a device of one family, per firmware version, for the
// device and its sub-device.
class DeviceSettings
{
public:
    DeviceSettings() = default;
    DeviceSettings(Identity identity, ParameterSetContainer<ParameterSetting> deviceParameterSettings,
                   ParameterSetContainer<ParameterSetting> subdeviceParameterSettings)
        : mIdentity(identity)
        , mDeviceParameterSettings(std::move(deviceParameterSettings))
        , mSubdeviceParameterSettings(std::move(subdeviceParameterSettings))
    {
    }

    Identity getIdentity() const { return mIdentity; }
    const ParameterSetContainer<ParameterSetting>& getDeviceParameterSettings() const
    {
        return mDeviceParameterSettings;
    }
    ParameterSetContainer<ParameterSetting>& getDeviceParameterSettings() { return mDeviceParameterSettings; }
    const ParameterSetContainer<ParameterSetting>& getSubdeviceParameterSettings() const
    {
        return mSubdeviceParameterSettings;
    }
    ParameterSetContainer<ParameterSetting>& getSubdeviceParameterSettings()
    {
        return mSubdeviceParameterSettings;
    }

    // A known identity and at least one set of settings.
    bool isValid() const
    {
        return mIdentity != Identity::Unknown &&
               (!mDeviceParameterSettings.isEmpty() || !mSubdeviceParameterSettings.isEmpty());
    }

private:
    Identity mIdentity = Identity::Unknown;
    ParameterSetContainer<ParameterSetting> mDeviceParameterSettings;
    ParameterSetContainer<ParameterSetting> mSubdeviceParameterSettings;
};

} // namespace Hvd::Weft::Device
