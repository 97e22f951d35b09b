#pragma once

#include "device/import/FormatImporter.h"
#include "device/import/JsonValidator.h"

namespace Hvd::Weft::Device
{

// Imports description (".desc.json") and settings (".para.json") files:
// parse, check against the schema, map onto the model.
class JsonFormatImporter : public FormatImporter
{
public:
    // Both schemas are read and compiled here, once.
    JsonFormatImporter(const Reader& deviceDescriptionSchema, const Reader& deviceSettingsSchema);

    // ValidationException for schema violations, FormatMismatchException for
    // JSON that does not fit the format; IdentifierNotUniqueException,
    // std::invalid_argument (version text) and std::bad_optional_access
    // (identity) pass through, as do the reader's exceptions.
    Device importDevice(const Reader& reader) const override;
    DeviceSettings importDeviceSettings(const Reader& reader) const override;

private:
    JsonValidator mDeviceDescriptionValidator;
    JsonValidator mDeviceSettingsValidator;
};

} // namespace Hvd::Weft::Device
