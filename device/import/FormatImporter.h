#pragma once

#include "device/Device.h"
#include "device/DeviceSettings.h"
#include "device/import/Reader.h"

namespace Hvd::Weft::Device
{

// Turns the text of one file format into the model.
class FormatImporter
{
public:
    virtual ~FormatImporter() = default;
    virtual Device importDevice(const Reader& reader) const = 0;
    virtual DeviceSettings importDeviceSettings(const Reader& reader) const = 0;
};

} // namespace Hvd::Weft::Device
