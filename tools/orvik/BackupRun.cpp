#include "tools/orvik/BackupRun.h"

#include "app/RestoreCommand.h"
#include "components/commands/CompositeCommand.h"
#include "components/commands/ReadParametersCommand.h"
#include "components/connectors/DeviceContext.h"
#include "device/Tag.h"
#include "logging/Logger.h"

#include <QCoreApplication>
#include <QDateTime>

using Hvd::Weft::Components::Command;
using Hvd::Weft::Components::DeviceContext;
using Hvd::Weft::Components::Logger;
using Hvd::Weft::Components::ReadParametersCommand;

namespace
{

QString translate(const char* text)
{
    return QCoreApplication::translate("BackupRun", text);
}

ReadParametersCommand::ParameterRefList
everyParameter(const std::optional<DeviceContext::ParameterSetRef>& set)
{
    ReadParametersCommand::ParameterRefList parameters;
    if (set)
    {
        for (const auto& [name, parameter] : set->get().getParameters())
            parameters.emplace_back(parameter);
    }
    return parameters;
}

} // namespace

BackupRun::BackupRun(const BackupArguments::Parsed& parsed, const VELTRIX_Timing& timing, QObject* parent)
    : SensorRun(parsed.port, true, timing, parent)
    , arguments(parsed)
{
}

BackupRun::~BackupRun()
{
    // Before the service it listens to.
    command.reset();
}

void BackupRun::runJob()
{
    auto deviceParameters = everyParameter(stack.getContext().getDeviceParameterSet());
    auto subdeviceParameters = everyParameter(stack.getContext().getSubdeviceParameterSet());
    if (deviceParameters.empty() && subdeviceParameters.empty())
    {
        fail(translate("The device description has no parameters for this sensor's firmware %1.")
                 .arg(stack.getContext().getConnectedDevice().version));
        return;
    }
    Logger::info("Reading {} device and {} sub device parameters for a backup", deviceParameters.size(),
                 subdeviceParameters.size());
    command = std::make_unique<ReadParametersCommand>(stack.getContext(), stack.getService(),
                                                      translate("Reading parameters"), nullptr);
    deviceNames.clear();
    subdeviceNames.clear();
    for (const Hvd::Weft::Device::Parameter& parameter : deviceParameters)
        deviceNames.insert(parameter.getName());
    for (const Hvd::Weft::Device::Parameter& parameter : subdeviceParameters)
        subdeviceNames.insert(parameter.getName());
    command->setParameters(std::move(deviceParameters), std::move(subdeviceParameters));
    follow(*command);
    connect(command.get(), &ReadParametersCommand::parametersRead, this, &BackupRun::save);
    command->execute();
}

void BackupRun::stopJob()
{
    if (command)
        command->cancel();
}

void BackupRun::save(const SensorBackup::SettingList& deviceSettings,
                     const SensorBackup::SettingList& subdeviceSettings)
{
    QString why;
    const auto backup =
        SensorBackup::taken(stack.getContext(), deviceSettings, subdeviceSettings, deviceNames,
                            subdeviceNames, SensorBackup::SerialSetting::Kept, &why);
    QString path = arguments.file;
    if (!backup)
        path.clear();
    else if (path.isEmpty())
        path = backup->save(backupFolder, &why);
    else if (!backup->saveAs(path, &why))
        path.clear();
    if (path.isEmpty())
    {
        Logger::error("Could not save the backup: {}", why.toStdString());
        fail(translate("Could not save the backup: %1").arg(why));
        return;
    }
    Logger::info("Saved the backup to {}", path.toStdString());
    Q_EMIT printed(path);
    jobSucceeded();
}

RestoreRun::RestoreRun(const BackupArguments::Parsed& parsed, const VELTRIX_Timing& timing, QObject* parent)
    : SensorRun(parsed.port, true, timing, parent)
    , arguments(parsed)
{
}

RestoreRun::~RestoreRun()
{
    // Before the service it listens to.
    command.reset();
}

bool RestoreRun::prepare(QString* problem)
{
    QString why;
    backup = SensorBackup::load(arguments.file, stack.getContext().getDevice(), &why);
    if (!backup)
    {
        Logger::error("Refused the backup {}: {}", arguments.file.toStdString(), why.toStdString());
        *problem = translate("The backup cannot be restored: %1").arg(why);
        return false;
    }
    return true;
}

void RestoreRun::runJob()
{
    QString why;
    command.reset(createRestoreCommand(stack.getContext(), stack.getService(), *backup,
                                       SensorBackup::Limits::Checked, &why, nullptr));
    if (!command)
    {
        Logger::error("Refused the backup {}: {}", arguments.file.toStdString(), why.toStdString());
        fail(translate("The backup cannot be restored: %1").arg(why));
        return;
    }
    Logger::info("Restoring the device parameters from {}", arguments.file.toStdString());
    follow(*command);
    connect(command.get(), &Command::finished, this,
            [this]
            {
                Logger::info("Restored the device parameters from {}", arguments.file.toStdString());
                Q_EMIT printed(translate("Restored %1").arg(arguments.file));
                jobSucceeded();
            });
    command->execute();
}

void RestoreRun::stopJob()
{
    if (command)
        command->cancel();
}
