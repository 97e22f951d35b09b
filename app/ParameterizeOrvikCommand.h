#pragma once

#include "app/Orvik.h"
#include "app/SensorBackup.h"
#include "communication/DeviceService.h"
#include "components/commands/Command.h"
#include "device/Parameter.h"
#include "device/ParameterSet.h"
#include "device/ParameterSetting.h"

#include <QString>

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace Hvd::Weft::Components
{
class DeviceContext;
}

// Rescales the connected sensor to the selected pipe size: reads its
// k-factor, writes the scaled k-factor with the new range, units and name,
// stores them as factory defaults, restarts the sensor and releases it.
class ParameterizeOrvikCommand : public Hvd::Weft::Components::Command
{
    Q_OBJECT

public:
    static constexpr const char* ParamProductVariantName = "ProductVariantName";

    ParameterizeOrvikCommand(Hvd::Weft::Components::DeviceContext& context,
                             Hvd::Weft::Communication::DeviceService& service, QObject* parent);
    ~ParameterizeOrvikCommand() override;

    QString getDescription() const override;

    // The free flow area of a pipe of inner diameter x metres, less the
    // sensor's probe.
    static double freeArea(double x);

    double getConversionFactor() const { return conversionFactor; }
    double getMeasuringRangeEnd() const { return measuringRangeEnd; }

    // Before writing, every run saves what the sensor held of the
    // parameters it is about to write into this folder.
    void setBackupFolder(const QString& folder) { backupFolder = folder; }
    // The backup of the current or last run, once saved.
    const std::optional<SensorBackup>& getBackup() const { return backup; }
    const QString& getBackupPath() const { return backupPath; }
    // The write has begun and the new values are not yet complete as
    // factory defaults: a failure now leaves the sensor half rescaled.
    bool needsRestore() const { return writeBegun && !factoryDefaultsStored; }
    // Forgets the backup and the write state of the previous run: a run that
    // fails before this command starts must not restore an old backup.
    void resetRun();

public Q_SLOTS:
    void setInnerDiameterReference(double innerDiameterReference);
    void setOrvik(const Orvik& orvik);

Q_SIGNALS:
    void parameterCalculated(bool isDeviceParameter, const QString& name, const QString& value);
    void parameterCalculated(bool isDeviceParameter, const QString& name, double value);
    void valueCalculated(bool isDeviceParameter, const QString& name, double value, const QString& unit);
    void backupSaved(const QString& path);

protected:
    void doExecute() override;
    void doStop() override;
    void doCancel() override;
    void doDisconnect() override;

private:
    Hvd::Weft::Components::Command* createCommand();
    bool saveBackup(const Hvd::Weft::Communication::DeviceService::SettingList& deviceSettings,
                    const Hvd::Weft::Communication::DeviceService::SettingList& subdeviceSettings,
                    Hvd::Weft::Components::Command* reporter);
    void calculateConversionFactor();
    bool mergeKFactors(std::vector<Hvd::Weft::Device::Parameter>& parameters,
                       const std::vector<Hvd::Weft::Device::ParameterSetting>& settings,
                       Hvd::Weft::Components::Command* command);
    bool setParameters(Hvd::Weft::Components::Command* command);
    template <typename T>
    Hvd::Weft::Device::Parameter
    setParameter(const Hvd::Weft::Device::ParameterSet<Hvd::Weft::Device::Parameter>& set, const char* name,
                 T value, bool isDeviceParameter);
    Hvd::Weft::Device::Parameter
    setParameter(const Hvd::Weft::Device::ParameterSet<Hvd::Weft::Device::Parameter>& set, const char* name,
                 const std::string& value);

    Hvd::Weft::Components::DeviceContext& context;
    Hvd::Weft::Communication::DeviceService& service;
    Hvd::Weft::Components::Command* command = nullptr;
    std::vector<Hvd::Weft::Device::Parameter> deviceParameters;
    std::vector<Hvd::Weft::Device::Parameter> subdeviceParameters;
    Orvik orvik;
    double measuringRangeEnd = 0;
    double conversionFactor = 0;
    double innerDiameterReference = 0;
    QString backupFolder = SensorBackup::defaultFolder();
    std::optional<SensorBackup> backup;
    QString backupPath;
    // The values the backup must hold: a short answer leaves gaps.
    std::set<std::string> backupDeviceNames;
    std::set<std::string> backupSubdeviceNames;
    bool writeBegun = false;
    bool factoryDefaultsStored = false;
};
