#include "app/RescalerSteps.h"

#include "app/ParameterizeOrvikCommand.h"
#include "components/QtResourceReader.h"
#include "components/commands/ReadParametersCommand.h"
#include "components/connectors/DeviceContext.h"
#include "components/logging/Logger.h"
#include "device/Exceptions.h"
#include "device/import/FileReader.h"
#include "device/import/Importer.h"
#include "device/import/JsonFormatImporter.h"
#include "protocol/serial/FQtSerialPortBackend.h"

#include <spdlog/sinks/rotating_file_sink.h>

#include <QCoreApplication>
#include <QLocale>

#include <cmath>
#include <memory>
#include <stdexcept>
#include <string>

using Hvd::Weft::Components::DeviceContext;
using Hvd::Weft::Components::Logger;
using Hvd::Weft::Components::QtResourceReader;
using Hvd::Weft::Components::ReadParametersCommand;
using Hvd::Weft::Components::System;
namespace Device = Hvd::Weft::Device;

namespace RescalerSteps
{

namespace
{

// Both schemas are read and compiled here; a missing or unreadable file
// becomes an import error that names it.
Device::Importer createImporter()
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

QString importFailure(const std::exception& exception)
{
    return windowText("Could not load the N5Q2-Orvik device file. Please contact support. ") +
           QString::fromStdString(exception.what());
}

} // namespace

QString windowText(const char* text)
{
    return QCoreApplication::translate("OrvikWidget", text);
}

std::optional<QString> importDeviceDescription(DeviceContext& context)
{
    const QtResourceReader reader(descriptionResource);
    Logger::info("Importing device description {}", reader.getSourceName());
    try
    {
        const Device::Importer importer = createImporter();
        Device::Device device = importer.importDevice(reader);
        Logger::info("Imported device description {}", reader.getSourceName());
        context.setDevice(std::move(device));
        return std::nullopt;
    }
    catch (const Device::ValidationException& exception)
    {
        std::string errors;
        for (const std::string& error : exception.getErrors())
            errors += (errors.empty() ? "" : "\n") + error;
        Logger::error("{}\n{}", exception.what(), errors);
        return importFailure(exception);
    }
    catch (const std::exception& exception)
    {
        Logger::error("{}", exception.what());
        return importFailure(exception);
    }
}

std::optional<QString> prepareCalibratedDiameterRead(const DeviceContext& context,
                                                     ReadParametersCommand& read)
{
    const char* name = ParameterizeOrvikCommand::ParamProductVariantName;
    if (const auto parameter = context.getDeviceParameter(std::string(name)))
    {
        read.setParameters({*parameter}, {});
        return std::nullopt;
    }
    const QString version = context.getConnectedDevice().version;
    Logger::error("Parameter {} not found for connected device version {}", name, version.toStdString());
    return windowText("Parameter %1 not found for connected device version %2. Contact support.")
        .arg(QString::fromLatin1(name), version);
}

std::optional<double> calibratedDiameter(const QString& variantName)
{
    static constexpr qsizetype prefixLength = sizeof("Orvik ") - 1;
    bool ok = false;
    const double x = QLocale::c().toDouble(variantName.mid(prefixLength).trimmed(), &ok);
    // "nan" and "inf" parse, yet would scale the k-factor into nonsense.
    if (!ok || !std::isfinite(x))
        return std::nullopt;
    // Names carry inches for the imperial sizes and millimetres for the
    // metric ones. The largest inch diameter this tool handles is 17.7 in and
    // the smallest millimetre one 40 mm, so 40 separates them; the tool itself
    // writes "Orvik 50" for a 50 mm pipe.
    return x < inchLimit ? x * 0.0254 : x / 1000;
}

void connectCalibratedDiameter(ReadParametersCommand& read, ParameterizeOrvikCommand& rescale)
{
    QObject::connect(
        &read, &ReadParametersCommand::parametersRead, &rescale,
        [&read, &rescale](const ReadParametersCommand::SettingList& deviceSettings,
                          const ReadParametersCommand::SettingList&)
        {
            const QString text = deviceSettings.empty()
                                     ? QString()
                                     : QString::fromStdString(deviceSettings.front().getValue().toString());
            if (const auto diameter = calibratedDiameter(text))
            {
                rescale.setInnerDiameterReference(*diameter);
                return;
            }
            const char* name = ParameterizeOrvikCommand::ParamProductVariantName;
            Logger::error("Could not determine calibrated diameter from {}: {}", name, text.toStdString());
            read.error(windowText("Could not determine calibrated diameter from %1: %2.")
                           .arg(QString::fromLatin1(name), text),
                       System::Application, false);
        });
}

std::shared_ptr<spdlog::sinks::sink> rotatingLogFile(const std::string& baseName, std::size_t maxSize,
                                                     std::size_t files, std::string* problem)
{
    try
    {
        return std::make_shared<spdlog::sinks::rotating_file_sink_mt>(baseName + ".log", maxSize, files,
                                                                      false);
    }
    catch (const std::exception& exception)
    {
        if (problem)
            *problem = exception.what();
        return nullptr;
    }
}

VELTRIX_Options serialPortOptions()
{
    VELTRIX_Options options;
    options.backendFactory = []
    { return std::make_unique<FQtSerialPortBackend>(FQtSerialPortBackend::ModemLines::TolerateMissing); };
    return options;
}

void forwardServiceLog(Hvd::Weft::Communication::DeviceService& service)
{
    // The service as context: the handler runs in the device thread.
    QObject::connect(&service, &Hvd::Weft::Communication::DeviceService::log, &service, &writeServiceLog);
}

void writeServiceLog(Hvd::Weft::Communication::LogLevel level, const QString& entry)
{
    using Hvd::Weft::Communication::LogLevel;
    if (!Logger::isInitialized())
        return;
    // The logger puts the thread's name in brackets in front of every line.
    const std::string text = entry.toStdString();
    switch (level)
    {
    case LogLevel::Trace:
        Logger::trace("{}", text);
        break;
    case LogLevel::Debug:
        Logger::debug("{}", text);
        break;
    case LogLevel::Info:
        Logger::info("{}", text);
        break;
    case LogLevel::Warning:
        Logger::warn("{}", text);
        break;
    case LogLevel::Error:
        Logger::error("{}", text);
        break;
    case LogLevel::Critical:
        Logger::critical("{}", text);
        break;
    default:
        break;
    }
}

std::optional<ShownValue> shownValue(const QString& name, double value, const QString& unit)
{
    if (name == QLatin1String("InnerDiameter"))
        return ShownValue{name, value, unit};
    if (name == QLatin1String("FlowMeasEnd"))
        return ShownValue{name, std::round(value),
                          unit.startsWith(QLatin1String("gal")) ? QStringLiteral("GPM") : unit};
    return std::nullopt;
}

} // namespace RescalerSteps
