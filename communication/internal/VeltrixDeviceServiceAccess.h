#pragma once

#include "communication/VeltrixDeviceService.h"

#include <optional>

namespace Hvd::Weft::Communication
{

// A look beneath VeltrixDeviceService for tests and benchmarks: its owned
// parts and the steps it keeps to itself. Programs use the service through
// DeviceService only; nothing outside tests and benchmarks includes this.
struct VeltrixDeviceServiceAccess
{
    static VELTRIX* facade(const VeltrixDeviceService& service) { return service.facade; }
    static Internal::Port* port(const VeltrixDeviceService& service) { return service.port; }
    static Internal::SysCommand* sysCommand(const VeltrixDeviceService& service)
    {
        return service.sysCommand;
    }
    static Internal::Parameter* parameterTransfer(const VeltrixDeviceService& service)
    {
        return service.parameter;
    }
    static Internal::Bootloader* bootloader(const VeltrixDeviceService& service)
    {
        return service.bootloader;
    }

    static bool isBusy(const VeltrixDeviceService& service) { return service.isBusy(); }

    static std::optional<Internal::Chunks<50>>
    combinedChunks(const Device& device, DeviceService::ParameterRefList& deviceParameters,
                   DeviceService::ParameterRefList& subdeviceParameters)
    {
        return VeltrixDeviceService::getCombinedChunks(device, deviceParameters, subdeviceParameters);
    }
};

} // namespace Hvd::Weft::Communication
