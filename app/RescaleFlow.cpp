#include "app/RescaleFlow.h"

#include "app/OrvikDescription.h"
#include "app/ParameterizeOrvikCommand.h"
#include "app/RescaleReport.h"
#include "app/RestoreCommand.h"
#include "app/SensorBackup.h"
#include "communication/DeviceService.h"
#include "components/commands/CompositeCommand.h"
#include "components/commands/ReadParametersCommand.h"
#include "components/connectors/DeviceContext.h"
#include "components/connectors/DeviceStack.h"
#include "device/Tag.h"
#include "logging/Logger.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>

#include <cmath>
#include <string>

using Hvd::Weft::Communication::DeviceService;
using Hvd::Weft::Components::Command;
using Hvd::Weft::Components::CompositeCommand;
using Hvd::Weft::Components::DeviceContext;
using Hvd::Weft::Components::DeviceStack;
using Hvd::Weft::Components::Logger;
using Hvd::Weft::Components::ReadParametersCommand;
using Hvd::Weft::Components::SensorSession;
using Hvd::Weft::Components::System;
namespace Device = Hvd::Weft::Device;

RescaleFlow::RescaleFlow(DeviceStack& stack, QObject* parent)
    : QObject(parent)
    , context(stack.getContext())
    , service(stack.getService())
    , session(stack)
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

    connect(&session, &SensorSession::progressUpdated, this,
            [this](std::uint8_t progress, const QString& description)
            {
                // The release after a failure is not shown.
                if (stage == Stage::Connecting || stage == Stage::Rescaling || stage == Stage::Restoring)
                    Q_EMIT progressUpdated(progress, description);
            });
    connect(&session, &SensorSession::connected, this,
            [this]
            {
                if (stage == Stage::Restoring)
                    restoreConnected();
                else
                    checkSensor();
            });
    connect(&session, &SensorSession::wrongSensor, this,
            [this]
            {
                if (stage == Stage::Connecting)
                    fail(text(QT_TRANSLATE_NOOP("OrvikWidget", "Only Orvik devices are supported.")));
                else if (stage == Stage::Restoring)
                    restoreEnded(false, text(QT_TRANSLATE_NOOP("OrvikWidget", "another sensor answered")));
            });
    connect(&session, &SensorSession::connectFailed, this,
            [this](const QString& message)
            {
                if (stage == Stage::Restoring)
                {
                    Logger::error("Could not reconnect to restore the parameters: {}", message.toStdString());
                    restoreEnded(false, message);
                }
                else if (stage == Stage::Connecting)
                    fail(message);
            });
    connect(&session, &SensorSession::released, this, &RescaleFlow::onReleased);
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
    if (stage == Stage::Connecting || stage == Stage::Rescaling || stage == Stage::Restoring || interrupting)
        return;
    if (stage == Stage::Releasing || !session.isFree())
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
    if (!OrvikDescription::importInto(context, &failure))
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
    if (!session.connectSensor(port))
        fail(text(QT_TRANSLATE_NOOP("OrvikWidget", "The device is still being released. Please try again.")));
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
    // Once released, the sensor is connected again (onReleased).
    if (!session.release(SensorSession::Release::Close) && !session.connectSensor(port))
        restoreEnded(false, text(QT_TRANSLATE_NOOP("OrvikWidget", "the port is busy")));
}

void RescaleFlow::restoreConnected()
{
    QString why;
    restoreCommand = createRestoreCommand(context, service, *parameterizeCommand->getBackup(),
                                          SensorBackup::Limits::AsRead, &why, this);
    if (!restoreCommand)
    {
        Logger::error("Cannot restore the device parameters: {}", why.toStdString());
        restoreEnded(false, why);
        return;
    }
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
    // On a lost line the service has closed the port with its failure: only
    // forget the sensor, a restart could no longer reach it. A sensor still
    // connected otherwise is restarted and released.
    const bool releasing =
        session.release(lineLost ? SensorSession::Release::Close : SensorSession::Release::Restart);
    Q_EMIT failed(message);
    if (!releasing && stage == Stage::Releasing)
        releaseEnded(std::nullopt);
}

void RescaleFlow::onReleased(const std::optional<QString>& releaseError)
{
    if (interrupting)
    {
        interrupting = false;
        stage = Stage::Idle;
        Q_EMIT released(std::nullopt);
    }
    else if (stage == Stage::Releasing)
        releaseEnded(releaseError);
    else if (stage == Stage::Restoring && restoreCommand)
        restoreEnded(false, text(QT_TRANSLATE_NOOP("OrvikWidget", "the adapter was disconnected")), true);
    else if (stage == Stage::Restoring && releaseError)
        restoreEnded(false, *releaseError);
    else if (stage == Stage::Restoring && !session.connectSensor(port))
        restoreEnded(false, text(QT_TRANSLATE_NOOP("OrvikWidget", "the port is busy")));
}

void RescaleFlow::releaseEnded(const std::optional<QString>& releaseError)
{
    if (stage != Stage::Releasing || interrupting)
        return;
    stage = Stage::Idle;
    Q_EMIT released(releaseError);
}

void RescaleFlow::interrupt()
{
    if (interrupting)
        return;
    Logger::warn("Rescale interrupted: stopping and releasing the port");
    interrupting = true;
    if (composite)
        composite->cancel();
    if (restoreCommand)
    {
        restoreCommand->cancel();
        disconnect(restoreCommand, nullptr, this, nullptr);
        restoreCommand->deleteLater();
        restoreCommand = nullptr;
    }
    stage = Stage::Releasing;
    session.interrupt();
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
