#pragma once

#include "device/DeviceSettings.h"

#include <nlohmann/json.hpp>

#include <string>

namespace Hvd::Weft::Device
{

// The settings file text (".para.json") of `settings`, which
// JsonFormatImporter reads back to the same values: every integer, every
// float bit pattern (NaN as null) and every string byte. `extra` adds
// top-level keys the format allows besides the settings.
// Throws std::invalid_argument naming the setting when a value has no exact
// form in the file: a string that is not UTF-8 text, an infinite float, or
// NaN inside an array.
std::string writeDeviceSettings(const DeviceSettings& settings, const nlohmann::json& extra = {});

} // namespace Hvd::Weft::Device
