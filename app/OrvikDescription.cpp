#include "app/OrvikDescription.h"

#include "components/QtResourceReader.h"
#include "components/connectors/DeviceContext.h"
#include "device/Exceptions.h"
#include "device/import/FileReader.h"
#include "device/import/Importer.h"
#include "device/import/JsonFormatImporter.h"
#include "logging/Logger.h"

#include <QCoreApplication>

#include <memory>
#include <stdexcept>
#include <string>

using Hvd::Weft::Components::Logger;
namespace Device = Hvd::Weft::Device;

namespace
{

QString importFailure(const std::exception& exception)
{
    return QCoreApplication::translate(
               "OrvikWidget", "Could not load the N5Q2-Orvik device file. Please contact support. ") +
           QString::fromStdString(exception.what());
}

} // namespace

// Both schemas are read and compiled here; a missing or unreadable file
// becomes an import error that names it.
Device::Importer OrvikDescription::createImporter()
{
    try
    {
        const Device::FileReader settingsSchema(settingsSchemaFile);
        const Device::FileReader descriptionSchema(descriptionSchemaFile);
        auto format = std::make_shared<Device::JsonFormatImporter>(descriptionSchema, settingsSchema);
        return Device::Importer(Device::Importer::Config{{Device::Format::DESC_JSON, format},
                                                         {Device::Format::PARA_JSON, format}});
    }
    catch (const std::invalid_argument& exception)
    {
        throw Device::ImportException(std::string("Could not read schema file: ") + exception.what());
    }
    catch (const Device::IoException& exception)
    {
        throw Device::ImportException(std::string("Could not read schema file: ") + exception.what());
    }
}

bool OrvikDescription::importInto(Hvd::Weft::Components::DeviceContext& target, QString* failure)
{
    const Hvd::Weft::Components::QtResourceReader reader(descriptionResource);
    Logger::info("Importing device description {}", reader.getSourceName());
    try
    {
        const Device::Importer importer = createImporter();
        Device::Device device = importer.importDevice(reader);
        Logger::info("Imported device description {}", reader.getSourceName());
        target.setDevice(std::move(device));
        return true;
    }
    catch (const Device::ValidationException& exception)
    {
        std::string errors;
        for (const std::string& error : exception.getErrors())
            errors += (errors.empty() ? "" : "\n") + error;
        Logger::error("{}\n{}", exception.what(), errors);
        *failure = importFailure(exception);
    }
    catch (const std::exception& exception)
    {
        Logger::error("{}", exception.what());
        *failure = importFailure(exception);
    }
    return false;
}
