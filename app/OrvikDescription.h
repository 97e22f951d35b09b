#pragma once

#include <QString>

namespace Hvd::Weft::Device
{
class Importer;
}

namespace Hvd::Weft::Components
{
class DeviceContext;
}

// The shipped description of the Orvik sensor and the importer of
// descriptions and settings files, for every job that needs them: the
// rescale, the backup and its restore, each subcommand of `orvik`.
class OrvikDescription
{
public:
    static constexpr const char* descriptionResource = ":/N5Q2-Orvik.desc.json";
    static constexpr const char* settingsSchemaFile = "Resources/DeviceSettings.schema.json";
    static constexpr const char* descriptionSchemaFile = "Resources/DeviceDescription.schema.json";

    // Imports the shipped description into `context`; on failure the user's
    // text is in `failure` and the reason in the log.
    static bool importInto(Hvd::Weft::Components::DeviceContext& context, QString* failure);
    // The importer with both schemas compiled. Throws Device::ImportException
    // naming a schema it cannot read.
    static Hvd::Weft::Device::Importer createImporter();
};
