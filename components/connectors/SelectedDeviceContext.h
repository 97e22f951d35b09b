#pragma once

#include "device/Device.h"

namespace Hvd::Weft::Components
{

// The device description the user works with; identity Unknown while none
// has been loaded.
class SelectedDeviceContext
{
public:
    SelectedDeviceContext() = default;
    virtual ~SelectedDeviceContext() = default;

    const Device::Device& getDevice() const { return device; }
    void setDevice(Device::Device selected) { device = std::move(selected); }
    void clearDevice() { device = Device::Device{}; }

private:
    Device::Device device;
};

} // namespace Hvd::Weft::Components
