#pragma once

#include "communication/Device.h"
#include "communication/DeviceService.h"
#include "device/Identity.h"
#include "device/ParameterSetting.h"

#include <QDateTime>
#include <QString>

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace Hvd::Weft::Device
{
class Device;
}

namespace Hvd::Weft::Components
{
class DeviceContext;
}

// What a sensor held before anything was written into it, kept as a
// settings file (".para.json") together with the sensor's identity, the port
// and the time, so that it can be written back.
struct SensorBackup
{
    using ParameterList = Hvd::Weft::Communication::DeviceService::ParameterList;
    using SettingList = Hvd::Weft::Communication::DeviceService::SettingList;

    Hvd::Weft::Communication::Device sensor;
    // The unit's serial number; empty when its description has none. Units
    // of one kind share their address, so only this tells them apart.
    QString serialNumber;
    QString port;
    QDateTime time;
    Hvd::Weft::Device::Identity identity = Hvd::Weft::Device::Identity::Unknown;
    SettingList deviceSettings;
    SettingList subdeviceSettings;

    static constexpr const char* suffix = ".para.json";

    // What was just read from the sensor connected in `context`: its
    // identity, port, serial number (from its setting among
    // `deviceSettings`) and the time, with the settings of the names in
    // `deviceNames` and `subdeviceNames`. Empty when one of those names has
    // no value, with the counts in `error`.
    enum class SerialSetting
    {
        Kept,
        // Only names the unit; a restore does not write it.
        Dropped,
    };
    static std::optional<SensorBackup>
    taken(const Hvd::Weft::Components::DeviceContext& context, const SettingList& deviceSettings,
          const SettingList& subdeviceSettings, const std::set<std::string>& deviceNames,
          const std::set<std::string>& subdeviceNames, SerialSetting serial, QString* error);

    // Where the window and the command line keep their backups: the
    // window's per-user data folder, "backups".
    static QString defaultFolder();

    // The command line that writes the backup `file` back, for the user to
    // paste: words the shell would split or expand are quoted.
    static QString restoreCommand(const QString& port, const QString& file);

    // The sensor's address and the time, e.g. "19-0-4-0-2_20261209-101502".
    QString baseName() const;
    // The file's text. Throws std::invalid_argument for a value the file
    // cannot hold exactly.
    std::string toText() const;
    // Writes the file into `folder` (created when missing), never over
    // another one. Its path, or empty with the reason in `error`.
    QString save(const QString& folder, QString* error) const;
    // Writes the file at `path`, which must not exist yet: a file is never
    // replaced, not even by another program saving at the same moment.
    bool saveAs(const QString& path, QString* error) const;

    // Reads a backup file checked against `description` (schema and rules);
    // empty with the reason in `error`.
    static std::optional<SensorBackup> load(const QString& path, const Hvd::Weft::Device::Device& description,
                                            QString* error);

    // Empty when `connected` is the sensor this backup was read from;
    // otherwise what differs, for the user. The serial number is compared
    // once it is read (restoreCommand).
    QString mismatch(const Hvd::Weft::Communication::Device& connected) const;
    QString serialMismatch(const QString& connectedSerial) const;

    enum class Limits
    {
        // Values read from the sensor go back as they were, in range or not.
        AsRead,
        // Values from a file must pass the description's limits.
        Checked,
    };
    // The values as parameters of the connected sensor's sets, ready to be
    // written; false with the reason in `error`.
    bool toParameters(const Hvd::Weft::Components::DeviceContext& context, Limits limits,
                      ParameterList& deviceParameters, ParameterList& subdeviceParameters,
                      QString* error) const;
};
