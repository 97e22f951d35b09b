#pragma once

#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

#include "device/Device.h"
#include "device/DeviceSettings.h"
#include "device/import/Format.h"
#include "device/import/FormatImporter.h"
#include "device/import/Reader.h"

namespace Hvd::Weft::Device
{

// Chooses the importer by the file suffix and applies the semantic rules.
// Any failure leaves nothing behind; the importer stays usable.
class Importer
{
public:
    // Formats and their importers; for a format given twice the first counts.
    using Config = std::vector<std::pair<Format, std::shared_ptr<FormatImporter>>>;

    explicit Importer(const Config& config);

    // A ".desc.json" source. Throws UnsupportedFormatException for other
    // names, ImportException when the reader fails, FormatMismatchException
    // and ValidationException (schema, repeated identifiers, rules).
    Device importDevice(const Reader& reader) const;
    // A ".para.json" source, checked on its own.
    DeviceSettings importDeviceSettings(const Reader& reader) const;
    // A ".para.json" source, checked on its own and against device.
    DeviceSettings importDeviceSettingsForDevice(const Device& device, const Reader& reader) const;

private:
    // Settings checked on their own and, when a device is given, against it.
    DeviceSettings importSettings(const Reader& reader, const Device* device) const;
    const FormatImporter& formatImporterFor(const std::string& sourceName) const;

    std::unordered_map<Format, std::shared_ptr<FormatImporter>> mFormats;
    // Registration order, so that the suffix search does not depend on hashing.
    std::vector<Format> mOrder;
};

} // namespace Hvd::Weft::Device
