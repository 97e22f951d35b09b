#pragma once

#include "app/SensorBackup.h"
#include "tools/orvik/BackupArguments.h"
#include "tools/orvik/SensorRun.h"

#include <memory>
#include <optional>

namespace Hvd::Weft::Components
{
class CompositeCommand;
class ReadParametersCommand;
} // namespace Hvd::Weft::Components

// `orvik backup`: reads every parameter of the connected sensor's sets and
// saves them as a settings file; nothing is written to the sensor.
class BackupRun : public SensorRun
{
    Q_OBJECT

public:
    explicit BackupRun(const BackupArguments::Parsed& arguments,
                       const VELTRIX_Timing& timing =
                           Hvd::Weft::Communication::VeltrixDeviceService::timingFromEnvironment(),
                       QObject* parent = nullptr);
    ~BackupRun() override;

    // Where a backup without --file goes; the per-user folder otherwise.
    void setBackupFolder(const QString& folder) { backupFolder = folder; }

protected:
    void runJob() override;
    void stopJob() override;

private:
    void save(const SensorBackup::SettingList& deviceSettings,
              const SensorBackup::SettingList& subdeviceSettings);

    const BackupArguments::Parsed arguments;
    QString backupFolder = SensorBackup::defaultFolder();
    // What the read asked for: the backup must hold each.
    std::set<std::string> deviceNames;
    std::set<std::string> subdeviceNames;
    std::unique_ptr<Hvd::Weft::Components::ReadParametersCommand> command;
};

// `orvik restore`: checks a backup against the description and the
// connected sensor, then writes it back, stores it as factory defaults and
// restarts the sensor.
class RestoreRun : public SensorRun
{
    Q_OBJECT

public:
    explicit RestoreRun(const BackupArguments::Parsed& arguments,
                        const VELTRIX_Timing& timing =
                            Hvd::Weft::Communication::VeltrixDeviceService::timingFromEnvironment(),
                        QObject* parent = nullptr);
    ~RestoreRun() override;

protected:
    bool prepare(QString* problem) override;
    void runJob() override;
    void stopJob() override;

private:
    const BackupArguments::Parsed arguments;
    std::optional<SensorBackup> backup;
    std::unique_ptr<Hvd::Weft::Components::CompositeCommand> command;
};
