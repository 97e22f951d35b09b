#include "app/RescaleFlow.h"

#include "app/ParameterizeOrvikCommand.h"
#include "app/RescaleReport.h"
#include "app/RestoreCommand.h"
#include "app/SensorBackup.h"
#include "communication/DeviceService.h"
#include "components/QtResourceReader.h"
#include "components/commands/CompositeCommand.h"
#include "components/commands/ReadParametersCommand.h"
#include "components/connectors/DeviceConnector.h"
#include "components/connectors/DeviceContext.h"
#include "device/Exceptions.h"
#include "device/Tag.h"
#include "device/import/FileReader.h"
#include "device/import/Importer.h"
#include "device/import/JsonFormatImporter.h"
#include "logging/Logger.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QLocale>

#include <cmath>
#include <memory>
#include <stdexcept>
#include <string>

using Hvd::Weft::Communication::DeviceService;
using Hvd::Weft::Components::Command;
using Hvd::Weft::Components::CompositeCommand;
using Hvd::Weft::Components::Connector;
using Hvd::Weft::Components::DeviceConnector;
using Hvd::Weft::Components::DeviceContext;
using Hvd::Weft::Components::Logger;
using Hvd::Weft::Components::QtResourceReader;
using Hvd::Weft::Components::ReadParametersCommand;
using Hvd::Weft::Components::System;
namespace Device = Hvd::Weft::Device;

namespace
{

constexpr int releaseWatchMs = 20;
// The service confirms an abort at once; this only guards a stuck thread.
constexpr int interruptReleaseMs = 3000;

QString importFailure(const std::exception& exception)
{
    return RescaleFlow::text(QT_TRANSLATE_NOOP(
               "OrvikWidget", "Could not load the N5Q2-Orvik device file. Please contact support. ")) +
           QString::fromStdString(exception.what());
}

} // namespace

// Both schemas are read and compiled here; a missing or unreadable file
// becomes an import error that names it.
Device::Importer RescaleFlow::createImporter()
{
    try
    {
        const Device::FileReader settingsSchema(RescaleFlow::settingsSchemaFile);
        const Device::FileReader descriptionSchema(RescaleFlow::descriptionSchemaFile);
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

RescaleFlow::RescaleFlow(DeviceContext& deviceContext, DeviceService& deviceService,
                         DeviceConnector& deviceConnector, QObject* parent)
    : QObject(parent)
    , context(deviceContext)
    , service(deviceService)
    , connector(deviceConnector)
    , readCommand(new ReadParametersCommand(
          context, service, text(QT_TRANSLATE_NOOP("OrvikWidget", "Reading calibrated diameter")), nullptr))
    , parameterizeCommand(new ParameterizeOrvikCommand(context, service, nullptr))
    , composite(new CompositeCommand({readCommand, parameterizeCommand},
                                     CompositeCommand::detailedProgressReports, this))
    , startRescale([this] { composite->execute(); })
{
    connectCalibratedDiameter();
    connect(parameterizeCommand, &ParameterizeOrvikCommand::valueCalculated, this,
            &RescaleFlow::onValueCalculated);
    connect(parameterizeCommand, &ParameterizeOrvikCommand::backupSaved, this, &RescaleFlow::backupSaved);
    connect(parameterizeCommand,
            qOverload<bool, const QString&, const QString&>(&ParameterizeOrvikCommand::parameterCalculated),
            this,
            [this](bool, const QString& name, const QString& value)
            {
                if (name == QLatin1String(ParameterizeOrvikCommand::ParamProductVariantName))
                    newSizeName = value;
            });
    connect(parameterizeCommand,
            qOverload<bool, const QString&, double>(&ParameterizeOrvikCommand::parameterCalculated), this,
            [this](bool isDeviceParameter, const QString& name, double value)
            {
                const auto kFactor = context.getSubdeviceParameter(Device::Tag::KFAKTOR);
                if (!isDeviceParameter && kFactor && name.toStdString() == kFactor->get().getName())
                {
                    newKFactor = value;
                    kFactorName = name;
                }
            });

    connect(composite, &Command::progressUpdated, this, &RescaleFlow::progressUpdated);
    connect(composite, &Command::warningOccurred, this, &RescaleFlow::warningOccurred);
    connect(composite, &Command::finished, this, &RescaleFlow::onRescaleFinished);
    connect(composite, &Command::errorOccurred, this,
            [this](const QString& message, System, bool disconnected)
            {
                if (stage != Stage::Rescaling)
                    return;
                if (parameterizeCommand->needsRestore() && parameterizeCommand->getBackup() && lineGone)
                {
                    // No restore on a line that is gone: say where the backup is instead.
                    stage = Stage::Restoring;
                    restoreFor = message;
                    restoreEnded(
                        false, text(QT_TRANSLATE_NOOP("OrvikWidget", "the adapter was disconnected")), true);
                }
                else if (parameterizeCommand->needsRestore() && parameterizeCommand->getBackup())
                    restore(message);
                else
                    fail(message, disconnected || lineGone);
            });

    connect(&service, &DeviceService::lineLost, this,
            [this]
            {
                if (stage == Stage::Connecting || stage == Stage::Rescaling || stage == Stage::Restoring)
                    lineGone = true;
            });

    connect(&connector, &Connector::progressUpdated, this,
            [this](std::uint8_t progress, const QString& description)
            {
                // The release after a failure is not shown.
                if (stage == Stage::Connecting || stage == Stage::Rescaling || stage == Stage::Restoring)
                    Q_EMIT progressUpdated(progress, description);
            });
    connect(&connector, &DeviceConnector::deviceConnected, this,
            [this]
            {
                if (stage == Stage::Restoring)
                    restoreConnected();
                else
                    checkSensor();
            });
    connect(&connector, &DeviceConnector::unexpectedDeviceConnected, this,
            [this]
            {
                if (stage == Stage::Connecting)
                    fail(text(QT_TRANSLATE_NOOP("OrvikWidget", "Only Orvik devices are supported.")));
                else if (stage == Stage::Restoring)
                    restoreEnded(false, text(QT_TRANSLATE_NOOP("OrvikWidget", "another sensor answered")));
            });
    connect(&connector, &Connector::errorOccurred, this,
            [this](const QString& message)
            {
                if (stage == Stage::Releasing)
                    releaseEnded(message);
                else if (stage == Stage::Restoring)
                {
                    Logger::error("Could not reconnect to restore the parameters: {}", message.toStdString());
                    restoreEnded(false, message);
                }
                else if (stage == Stage::Connecting || stage == Stage::Rescaling)
                    fail(message);
            });
    connect(&connector, &Connector::targetDisconnected, this,
            [this]
            {
                if (stage == Stage::Releasing)
                    releaseEnded(std::nullopt);
                else if (stage == Stage::Restoring && restoreCommand)
                    restoreEnded(
                        false, text(QT_TRANSLATE_NOOP("OrvikWidget", "the adapter was disconnected")), true);
                else if (stage == Stage::Restoring)
                    connector.connectTarget(port);
            });

    releaseWatch.setInterval(releaseWatchMs);
    connect(&releaseWatch, &QTimer::timeout, this,
            [this]
            {
                if (connector.isRunning())
                    return;
                releaseWatch.stop();
                releaseEnded(std::nullopt);
            });
    connect(&service, &DeviceService::requestTaken, this,
            [this](quint64 id)
            {
                if (interruptWatch.isActive() && id == interruptRequest)
                    interruptTaken = true;
            });
    connect(&service, &DeviceService::successDisconnecting, this,
            [this]
            {
                if (!interruptTaken || !interruptWatch.isActive())
                    return;
                interruptWatch.stop();
                stage = Stage::Idle;
                Q_EMIT released(std::nullopt);
            });
    interruptWatch.setSingleShot(true);
    interruptWatch.setInterval(interruptReleaseMs);
    connect(&interruptWatch, &QTimer::timeout, this,
            [this]
            {
                Logger::error("The port was not confirmed released after the interrupt");
                stage = Stage::Idle;
                Q_EMIT released(std::nullopt);
            });
}

RescaleFlow::~RescaleFlow()
{
    // A view may still hold the composite; it must not reach back in here.
    if (composite)
        disconnect(composite, nullptr, this, nullptr);
}

QString RescaleFlow::text(const char* sourceText)
{
    return QCoreApplication::translate("OrvikWidget", sourceText);
}

void RescaleFlow::setOrvik(const Orvik& selected)
{
    orvik = selected;
    parameterizeCommand->setOrvik(selected);
}

void RescaleFlow::setBackupFolder(const QString& folder)
{
    parameterizeCommand->setBackupFolder(folder);
}

void RescaleFlow::start(const QString& portName)
{
    if (stage == Stage::Connecting || stage == Stage::Rescaling || stage == Stage::Restoring ||
        interruptWatch.isActive())
        return;
    if (stage == Stage::Releasing || connector.isRunning() || connector.isTargetConnected())
    {
        // The sensor of the previous run is still being released; a connect
        // now would be ignored and leave the caller waiting.
        Logger::warn("Parameterize requested while the previous device is still being released");
        Q_EMIT failed(
            text(QT_TRANSLATE_NOOP("OrvikWidget", "The device is still being released. Please try again.")));
        return;
    }
    stage = Stage::Connecting;
    lineGone = false;
    port = portName;
    parameterizeCommand->resetRun();
    newSizeName.clear();
    newKFactor = shownDiameter = shownRangeEnd = 0;
    kFactorName.clear();
    QString failure;
    if (!importDeviceDescription(context, &failure))
    {
        fail(failure);
        return;
    }
    if (portName.isEmpty())
    {
        fail(text(QT_TRANSLATE_NOOP("OrvikWidget", "No port has been selected.")));
        return;
    }
    Logger::info("Starting connection to {}", port.toStdString());
    connector.connectTarget(port);
    // A connector that refused at once has said why (and the flow has failed).
    if (stage == Stage::Connecting && !connector.isRunning())
        fail(text(QT_TRANSLATE_NOOP("OrvikWidget", "No port has been selected.")));
}

bool RescaleFlow::importDeviceDescription(DeviceContext& target, QString* failure)
{
    const QtResourceReader reader(descriptionResource);
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

void RescaleFlow::checkSensor()
{
    if (stage != Stage::Connecting)
        return;
    const char* name = ParameterizeOrvikCommand::ParamProductVariantName;
    const auto parameter = context.getDeviceParameter(std::string(name));
    if (!parameter)
    {
        const QString version = context.getConnectedDevice().version;
        Logger::error("Parameter {} not found for connected device version {}", name, version.toStdString());
        fail(text(QT_TRANSLATE_NOOP(
                      "OrvikWidget",
                      "Parameter %1 not found for connected device version %2. Contact support."))
                 .arg(QString::fromLatin1(name), version));
        return;
    }
    readCommand->setParameters({*parameter}, {});
    stage = Stage::Rescaling;
    startRescale();
}

void RescaleFlow::onRescaleFinished()
{
    if (stage != Stage::Rescaling)
        return;
    stage = Stage::Done;
    saveReport();
    Q_EMIT succeeded();
}

QString RescaleFlow::partialWriteAdvice() const
{
    const QString path = parameterizeCommand->getBackupPath();
    const bool partial =
        stage == Stage::Restoring || (stage == Stage::Rescaling && parameterizeCommand->needsRestore());
    if (!partial || path.isEmpty())
        return {};
    return text(QT_TRANSLATE_NOOP(
                    "OrvikWidget",
                    "The sensor may hold only part of the new parameters. Restore it from its backup %1 "
                    "with: %2"))
        .arg(QDir::toNativeSeparators(path), SensorBackup::restoreCommand(port, path));
}

void RescaleFlow::restore(const QString& failure)
{
    Logger::error("Rescaling failed: {}", failure.toStdString());
    Logger::info("Restoring the device parameters from {}",
                 parameterizeCommand->getBackupPath().toStdString());
    stage = Stage::Restoring;
    restoreFor = failure;
    Q_EMIT progressUpdated(0, text(QT_TRANSLATE_NOOP("OrvikWidget", "Restoring previous parameters")));
    // The service closes its port with a failed write, and the sensor may
    // hold half of it in its working memory: start again from a power cycle.
    if (connector.isTargetConnected() && !connector.isRunning())
        connector.releaseTarget();
    else if (!connector.isRunning())
        connector.connectTarget(port);
    else
        restoreEnded(false, text(QT_TRANSLATE_NOOP("OrvikWidget", "the port is busy")));
}

void RescaleFlow::restoreConnected()
{
    const SensorBackup& backup = *parameterizeCommand->getBackup();
    const QString otherSensor = backup.mismatch(context.getConnectedDevice());
    SensorBackup::ParameterList deviceParameters;
    SensorBackup::ParameterList subdeviceParameters;
    QString why;
    if (!otherSensor.isEmpty() || !backup.toParameters(context, SensorBackup::Limits::AsRead,
                                                       deviceParameters, subdeviceParameters, &why))
    {
        Logger::error("Cannot restore the device parameters: {}", (otherSensor + why).toStdString());
        restoreEnded(false, otherSensor + why);
        return;
    }
    restoreCommand = createRestoreCommand(context, service, backup, std::move(deviceParameters),
                                          std::move(subdeviceParameters), this);
    connect(restoreCommand, &Command::progressUpdated, this, &RescaleFlow::progressUpdated);
    connect(restoreCommand, &Command::finished, this, [this] { restoreEnded(true, {}); });
    connect(restoreCommand, &Command::errorOccurred, this,
            [this](const QString& message, System, bool disconnected)
            {
                Logger::error("Restoring the device parameters failed: {}", message.toStdString());
                restoreEnded(false, message, disconnected || lineGone);
            });
    restoreCommand->execute();
}

void RescaleFlow::restoreEnded(bool restored, const QString& reason, bool lineLost)
{
    if (stage != Stage::Restoring)
        return;
    if (restoreCommand)
    {
        // Stopped first, should it still run (an unplugged adapter).
        restoreCommand->cancel();
        disconnect(restoreCommand, nullptr, this, nullptr);
        restoreCommand->deleteLater();
        restoreCommand = nullptr;
    }
    const QString path = QDir::toNativeSeparators(parameterizeCommand->getBackupPath());
    QString outcome;
    if (restored)
    {
        Logger::info("Restored the device parameters from {}", path.toStdString());
        outcome =
            text(QT_TRANSLATE_NOOP("OrvikWidget", "The sensor was restored to its previous parameters."));
    }
    else
    {
        outcome = text(QT_TRANSLATE_NOOP(
                           "OrvikWidget",
                           "The sensor was NOT restored to its previous parameters (%1). Its backup is %2; "
                           "restore it with: %3"))
                      .arg(reason, path, SensorBackup::restoreCommand(port, path));
    }
    stage = Stage::Rescaling;
    fail(restoreFor + QLatin1Char('\n') + outcome, lineLost);
}

void RescaleFlow::saveReport()
{
    const auto& backup = parameterizeCommand->getBackup();
    if (!backup)
        return;
    RescaleReport report;
    report.time = QDateTime::currentDateTime();
    report.port = backup->port;
    report.sensor = backup->sensor;
    for (const auto& setting : backup->deviceSettings)
    {
        if (setting.getName() == ParameterizeOrvikCommand::ParamProductVariantName)
            report.oldSizeName = QString::fromStdString(setting.getValue().toString());
    }
    for (const auto& setting : backup->subdeviceSettings)
    {
        // The sensor is released by now: its sets are no longer at hand.
        if (setting.getName() == kFactorName.toStdString())
            report.oldKFactor = setting.getValue().toDouble();
    }
    report.newSizeName = newSizeName;
    report.sizeCode = QString::fromStdString(std::string(orvik.name));
    report.innerDiameter = shownDiameter;
    report.lengthUnit = Hvd::Unit::toString(orvik.lengthUnit);
    report.newKFactor = newKFactor;
    report.measuringRangeStart = -shownRangeEnd;
    report.measuringRangeEnd = shownRangeEnd;
    report.flowUnit = Hvd::Unit::toString(orvik.flowUnit);
    report.outputUnit = Hvd::Unit::toString(orvik.outputUnit);
    report.temperatureUnit = Hvd::Unit::toString(orvik.temperatureUnit);
    report.backupFile = parameterizeCommand->getBackupPath();

    QString basePath = report.backupFile;
    basePath.chop(qsizetype(qstrlen(SensorBackup::suffix)));
    QString why;
    if (const auto files = report.write(basePath, &why))
    {
        Logger::info("Saved the rescale report to {}", files->pdf.toStdString());
        Q_EMIT reportSaved(files->pdf, files->json);
        return;
    }
    Logger::error("Could not save the rescale report: {}", why.toStdString());
    Q_EMIT reportFailed(
        text(QT_TRANSLATE_NOOP("OrvikWidget", "The rescale succeeded, but its report could not be saved: %1"))
            .arg(why));
}

void RescaleFlow::fail(const QString& message, bool lineLost)
{
    // One log line, even for a failure with the outcome of its restore.
    Logger::error("Rescaling failed: {}",
                  QString(message).replace(QLatin1Char('\n'), QLatin1Char(' ')).toStdString());
    stage = Stage::Releasing;
    if (lineLost && connector.isTargetConnected() && !connector.isRunning())
    {
        // The service has closed the port with its failure: only forget the
        // sensor, a restart could no longer reach it.
        connector.releaseTarget();
    }
    else if (connector.isTargetConnected() && !connector.isRunning())
    {
        // A sensor still connected is restarted and released.
        connector.setRunning(true);
        connector.disconnectTarget();
    }
    else if (connector.isRunning())
    {
        // The connector releases a sensor of the wrong kind by itself.
        releaseWatch.start();
    }
    Q_EMIT failed(message);
    if (stage == Stage::Releasing && !connector.isRunning() && !releaseWatch.isActive())
        releaseEnded(std::nullopt);
}

void RescaleFlow::releaseEnded(const std::optional<QString>& releaseError)
{
    if (stage != Stage::Releasing || interruptWatch.isActive())
        return;
    stage = Stage::Idle;
    Q_EMIT released(releaseError);
}

void RescaleFlow::interrupt()
{
    if (interruptWatch.isActive())
        return;
    Logger::warn("Rescale interrupted: stopping and releasing the port");
    if (composite)
        composite->cancel();
    if (restoreCommand)
    {
        restoreCommand->cancel();
        disconnect(restoreCommand, nullptr, this, nullptr);
        restoreCommand->deleteLater();
        restoreCommand = nullptr;
    }
    releaseWatch.stop();
    stage = Stage::Releasing;
    // The abort stops every sequence and closes the port; its confirmation,
    // heard only once the service has taken up this very request, ends it.
    const quint64 requestId = service.newRequestId();
    interruptRequest = requestId;
    interruptTaken = false;
    interruptWatch.start();
    QMetaObject::invokeMethod(
        &service,
        [target = &service, requestId]
        {
            target->tagNextRequest(requestId);
            target->abort();
        },
        Qt::QueuedConnection);
}

void RescaleFlow::connectCalibratedDiameter()
{
    connect(
        readCommand, &ReadParametersCommand::parametersRead, parameterizeCommand,
        [this](const ReadParametersCommand::SettingList& deviceSettings,
               const ReadParametersCommand::SettingList&)
        {
            const QString variant =
                deviceSettings.empty() ? QString()
                                       : QString::fromStdString(deviceSettings.front().getValue().toString());
            if (const auto diameter = Orvik::calibratedDiameter(variant))
            {
                parameterizeCommand->setInnerDiameterReference(*diameter);
                return;
            }
            const char* name = ParameterizeOrvikCommand::ParamProductVariantName;
            Logger::error("Could not determine calibrated diameter from {}: {}", name, variant.toStdString());
            readCommand->error(
                text(QT_TRANSLATE_NOOP("OrvikWidget", "Could not determine calibrated diameter from %1: %2."))
                    .arg(QString::fromLatin1(name), variant),
                System::Application, Hvd::Weft::Components::deviceStillConnected);
        });
}

void RescaleFlow::onValueCalculated(bool isDeviceParameter, const QString& name, double value,
                                    const QString& unit)
{
    // Only the inner diameter and the maximum flow are shown.
    if (!isDeviceParameter)
        return;
    if (name == QLatin1String("InnerDiameter"))
    {
        shownDiameter = value;
        Q_EMIT valueShown(name, value, unit);
    }
    else if (name == QLatin1String("FlowMeasEnd"))
    {
        shownRangeEnd = std::round(value);
        Q_EMIT valueShown(name, std::round(value),
                          unit.startsWith(QLatin1String("gal")) ? QStringLiteral("GPM") : unit);
    }
}
