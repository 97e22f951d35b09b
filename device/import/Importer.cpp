#include "device/import/Importer.h"

#include "device/Exceptions.h"
#include "device/validation/Validator.h"

namespace Hvd::Weft::Device
{

namespace
{

const Validator& sharedValidator()
{
    static const Validator validator;
    return validator;
}

// Reader failures and repeated identifiers reach the caller as import
// failures naming the source.
template <typename Import> auto guarded(const std::string& sourceName, Import import)
{
    try
    {
        return import();
    }
    catch (const IoException& e)
    {
        throw ImportException(sourceName + ": " + e.what());
    }
    catch (const IdentifierNotUniqueException& e)
    {
        throw ValidationException(sourceName, {e.what()});
    }
}

void throwIfErrors(const std::string& sourceName, std::vector<std::string> errors)
{
    if (!errors.empty())
        throw ValidationException(sourceName, std::move(errors));
}

} // namespace

Importer::Importer(const Config& config)
{
    for (const auto& [format, importer] : config)
    {
        if (importer && mFormats.emplace(format, importer).second)
            mOrder.push_back(format);
    }
}

const FormatImporter& Importer::formatImporterFor(const std::string& sourceName) const
{
    for (const Format& format : mOrder)
    {
        if (format.matches(sourceName))
            return *mFormats.at(format);
    }
    throw UnsupportedFormatException(sourceName);
}

Device Importer::importDevice(const Reader& reader) const
{
    const std::string sourceName = reader.getSourceName();
    if (!Format::isDeviceDescriptionFormat(sourceName))
        throw UnsupportedFormatException(sourceName);
    const FormatImporter& importer = formatImporterFor(sourceName);
    return guarded(sourceName,
                   [&]
                   {
                       Device device = importer.importDevice(reader);
                       throwIfErrors(sourceName, sharedValidator().validate(device).getErrors());
                       return device;
                   });
}

DeviceSettings Importer::importDeviceSettings(const Reader& reader) const
{
    return importSettings(reader, nullptr);
}

DeviceSettings Importer::importDeviceSettingsForDevice(const Device& device, const Reader& reader) const
{
    return importSettings(reader, &device);
}

DeviceSettings Importer::importSettings(const Reader& reader, const Device* device) const
{
    const std::string sourceName = reader.getSourceName();
    if (!Format::isDeviceSettingsFormat(sourceName))
        throw UnsupportedFormatException(sourceName);
    const FormatImporter& importer = formatImporterFor(sourceName);
    return guarded(
        sourceName,
        [&]
        {
            DeviceSettings settings = importer.importDeviceSettings(reader);
            std::vector<std::string> errors = sharedValidator().validate(settings).getErrors();
            if (device)
            {
                for (std::string& error :
                     sharedValidator().validateSettingsAgainstDevice(settings, *device).getErrors())
                    errors.push_back(std::move(error));
            }
            throwIfErrors(sourceName, std::move(errors));
            return settings;
        });
}

} // namespace Hvd::Weft::Device
