#pragma once

#include "components/commands/ConnectedDeviceContext.h"
#include "components/connectors/SelectedDeviceContext.h"
#include "device/ParameterSet.h"
#include "device/Tag.h"

#include <functional>
#include <optional>
#include <string>

namespace Hvd::Weft::Components
{

// Joins the loaded description with the connected sensor: which of the
// description's parameter sets fits the sensor's firmware.
class DeviceContext : public SelectedDeviceContext, public virtual ConnectedDeviceContext
{
public:
    using ParameterSetRef = std::reference_wrapper<const Device::ParameterSet<Device::Parameter>>;
    using ParameterRef = std::reference_wrapper<const Device::Parameter>;

    DeviceContext() = default;

    // Empty when the sensor has no such part, its version text is not a
    // version, or the description has no set for that version.
    std::optional<ParameterSetRef> getDeviceParameterSet() const;
    std::optional<ParameterSetRef> getSubdeviceParameterSet() const;

    // The first parameter (in name order) carrying the tag, or the parameter
    // of that name, in the matching set.
    std::optional<ParameterRef> getDeviceParameter(Device::Tag tag) const;
    std::optional<ParameterRef> getDeviceParameter(const std::string& name) const;
    std::optional<ParameterRef> getSubdeviceParameter(Device::Tag tag) const;
};

} // namespace Hvd::Weft::Components
