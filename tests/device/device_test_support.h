#pragma once

#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "device/import/FileReader.h"
#include "device/import/Importer.h"
#include "device/import/JsonFormatImporter.h"
#include "device/import/StringReader.h"

namespace DeviceTest
{

using namespace Hvd::Weft::Device;

inline const std::string dataDir = ORVIK_DEVICE_TEST_DATA;
inline const std::string descriptionSchema = "Resources/DeviceDescription.schema.json";
inline const std::string settingsSchema = "Resources/DeviceSettings.schema.json";

inline std::string dataFile(const std::string& name)
{
    return dataDir + "/" + name;
}

// The application's set-up: one JSON importer for both formats.
inline std::shared_ptr<JsonFormatImporter> realSchemaImporter()
{
    return std::make_shared<JsonFormatImporter>(FileReader(descriptionSchema), FileReader(settingsSchema));
}

// Schemas that accept any JSON, so that the mapping itself can be probed.
inline std::shared_ptr<JsonFormatImporter> permissiveImporter()
{
    return std::make_shared<JsonFormatImporter>(StringReader("any.schema.json", "{}"),
                                                StringReader("any.schema.json", "{}"));
}

inline Importer importerWith(std::shared_ptr<JsonFormatImporter> formatImporter)
{
    return Importer({{Format::DESC_JSON, formatImporter}, {Format::PARA_JSON, formatImporter}});
}

inline nlohmann::json minimalDescription()
{
    const FileReader reader(dataFile("minimal.desc.json"));
    return nlohmann::json::parse(reader.read());
}

inline nlohmann::json& parameterJson(nlohmann::json& description, std::size_t index)
{
    return description["DeviceParameterSets"][0]["Parameters"][index];
}

} // namespace DeviceTest
