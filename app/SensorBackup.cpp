#include "app/SensorBackup.h"

#include "app/OrvikDescription.h"
#include "components/connectors/DeviceContext.h"
#include "device/Device.h"
#include "device/EnumNames.h"
#include "device/Exceptions.h"
#include "device/ParameterSetBuilder.h"
#include "device/Tag.h"
#include "device/import/FileReader.h"
#include "device/import/Importer.h"
#include "device/import/JsonSettingsWriter.h"
#include "device/import/StringReader.h"
#include "logging/Logger.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

#include <nlohmann/json.hpp>

#include <stdexcept>

using Hvd::Weft::Communication::Address;
using Hvd::Weft::Components::DeviceContext;
using Hvd::Weft::Components::Logger;
namespace Device = Hvd::Weft::Device;
using json = nlohmann::json;

namespace
{

// The source text is marked with QT_TRANSLATE_NOOP("SensorBackup", ...) where
// it is written, so that the catalogue holds it.
QString text(const char* sourceText)
{
    return QCoreApplication::translate("SensorBackup", sourceText);
}

std::string utf8(const QString& value)
{
    return value.toStdString();
}

QString fromJson(const json& object, const char* key)
{
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? QString::fromStdString(it->get<std::string>())
                                                 : QStringLiteral("-");
}

QString addressText(const Address& address, QChar separator)
{
    return address.getAddressAsString(address.bytes).join(separator);
}

Device::ParameterSetContainer<Device::ParameterSetting> container(const QString& version,
                                                                  const SensorBackup::SettingList& settings)
{
    Device::ParameterSetContainer<Device::ParameterSetting> sets;
    if (settings.empty())
        return sets;
    Device::ParameterSet<Device::ParameterSetting> set{Device::Version(utf8(version))};
    for (const auto& setting : settings)
        set.insert(setting);
    sets.insert(std::move(set));
    return sets;
}

// The settings of the one set a backup holds for a part; a file with sets
// of other versions was not written as a backup of this sensor.
std::optional<SensorBackup::SettingList>
settingsOf(const Device::ParameterSetContainer<Device::ParameterSetting>& sets, const QString& version)
{
    SensorBackup::SettingList settings;
    for (const auto& [setVersion, set] : sets.getParameterSets())
    {
        if (QString::fromStdString(setVersion.toString()) != version)
            return std::nullopt;
        for (const auto& [name, setting] : set.getParameters())
            settings.push_back(setting);
    }
    return settings;
}

bool fillParameters(const std::optional<DeviceContext::ParameterSetRef>& set, const QString& version,
                    const SensorBackup::SettingList& settings, SensorBackup::Limits limits,
                    SensorBackup::ParameterList& parameters, QString* error)
{
    if (settings.empty())
        return true;
    if (!set)
    {
        *error = text(QT_TRANSLATE_NOOP("SensorBackup",
                                        "The device description has no parameters for version %1."))
                     .arg(version);
        return false;
    }
    for (const auto& setting : settings)
    {
        const auto& all = set->get().getParameters();
        const auto it = all.find(setting.getName());
        if (it == all.end())
        {
            *error = text(QT_TRANSLATE_NOOP("SensorBackup", "Parameter %1 is not known for version %2."))
                         .arg(QString::fromStdString(setting.getName()), version);
            return false;
        }
        Device::Parameter parameter = it->second;
        try
        {
            if (limits == SensorBackup::Limits::Checked)
                parameter.setCurrentValue(setting.getValue());
            else
                parameter.setCurrentValueIgnoreConstraints(setting.getValue());
        }
        catch (const std::invalid_argument& exception)
        {
            *error = QString::fromStdString(exception.what());
            return false;
        }
        parameters.push_back(std::move(parameter));
    }
    return true;
}

} // namespace

std::optional<SensorBackup>
SensorBackup::taken(const DeviceContext& context, const SettingList& deviceSettings,
                    const SettingList& subdeviceSettings, const std::set<std::string>& deviceNames,
                    const std::set<std::string>& subdeviceNames, SerialSetting serial, QString* error)
{
    SensorBackup backup;
    backup.sensor = context.getConnectedDevice();
    backup.port = context.getConnectedDevicePort().number;
    backup.time = QDateTime::currentDateTime();
    backup.identity = context.getDevice().getIdentity();
    const auto serialParameter = context.getDeviceParameter(Device::Tag::SERIALNUMBER);
    std::size_t received = 0;
    for (const auto& setting : deviceSettings)
    {
        if (deviceNames.count(setting.getName()) == 0)
            continue;
        ++received;
        const bool isSerial = serialParameter && setting.getName() == serialParameter->get().getName();
        if (isSerial)
            backup.serialNumber = QString::fromStdString(setting.getValue().toString());
        if (!isSerial || serial == SerialSetting::Kept)
            backup.deviceSettings.push_back(setting);
    }
    for (const auto& setting : subdeviceSettings)
    {
        if (subdeviceNames.count(setting.getName()) == 0)
            continue;
        ++received;
        backup.subdeviceSettings.push_back(setting);
    }
    // The service leaves out what a short answer lacks: a backup with gaps
    // could not be told from a complete one.
    const std::size_t expected = deviceNames.size() + subdeviceNames.size();
    if (received != expected)
    {
        *error = text(QT_TRANSLATE_NOOP("SensorBackup", "The sensor sent %1 of %2 values."))
                     .arg(received)
                     .arg(expected);
        return std::nullopt;
    }
    return backup;
}

QString SensorBackup::defaultFolder()
{
    // The window's AppDataLocation; the command line is another program
    // name, yet its backups belong in the same place.
    QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (!QCoreApplication::organizationName().isEmpty())
        folder += QLatin1Char('/') + QCoreApplication::organizationName();
    return folder + QStringLiteral("/OrvikRescaler/backups");
}

QString SensorBackup::restoreCommand(const QString& port, const QString& file)
{
    const auto shellWord = [](const QString& word)
    {
        static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./:@%+=,-]+$"));
        if (plain.match(word).hasMatch())
            return word;
        QString quoted = word;
        quoted.replace(u'\'', QStringLiteral("'\\''"));
        return u'\'' + quoted + u'\'';
    };
    return QStringLiteral("orvik restore --port %1 --file %2").arg(shellWord(port), shellWord(file));
}

QString SensorBackup::baseName() const
{
    return addressText(sensor.address, QLatin1Char('-')) + QLatin1Char('_') +
           time.toString(QStringLiteral("yyyyMMdd-HHmmss"));
}

std::string SensorBackup::toText() const
{
    const auto& bytes = sensor.address.bytes;
    json backup = {{"Time", utf8(time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODate))},
                   {"Port", utf8(port)},
                   {"Address", std::vector<int>(bytes.begin(), bytes.end())},
                   {"Name", utf8(sensor.name)},
                   {"Version", utf8(sensor.version)},
                   {"Revision", utf8(sensor.revision)},
                   {"Vendor", utf8(sensor.vendor)}};
    if (!serialNumber.isEmpty())
        backup["SerialNumber"] = utf8(serialNumber);
    if (sensor.hasSubDevice())
    {
        backup["SubName"] = utf8(sensor.subName);
        backup["SubVersion"] = utf8(sensor.subVersion);
        backup["SubRevision"] = utf8(sensor.subRevision);
    }
    const Device::DeviceSettings settings(identity, container(sensor.version, deviceSettings),
                                          container(sensor.subVersion, subdeviceSettings));
    return Device::writeDeviceSettings(settings, json{{"Backup", std::move(backup)}});
}

QString SensorBackup::save(const QString& folder, QString* error) const
{
    if (!QDir().mkpath(folder))
    {
        *error = text(QT_TRANSLATE_NOOP("SensorBackup", "The folder %1 cannot be created.")).arg(folder);
        return {};
    }
    // One file per run: a second run within the same second, in this
    // program or another, gets the next number.
    const QDir dir(folder);
    for (int n = 1; n < 1000; ++n)
    {
        const QString path = dir.absoluteFilePath(
            baseName() + (n == 1 ? QString() : QStringLiteral("_%1").arg(n)) + QLatin1String(suffix));
        if (QFileInfo::exists(path))
            continue;
        if (saveAs(path, error))
            return path;
        if (!QFileInfo::exists(path))
            return {};
    }
    *error = text(QT_TRANSLATE_NOOP("SensorBackup", "The folder %1 holds too many backups of this second."))
                 .arg(folder);
    return {};
}

bool SensorBackup::saveAs(const QString& path, QString* error) const
{
    std::string content;
    try
    {
        content = toText();
    }
    catch (const std::invalid_argument& exception)
    {
        *error = QString::fromStdString(exception.what());
        return false;
    }
    // Created exclusively: a second program saving under the same name at
    // the same moment fails here instead of replacing this file.
    QFile file(path);
    const QByteArray bytes = QByteArray::fromStdString(content);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
    {
        *error = QFileInfo::exists(path)
                     ? text(QT_TRANSLATE_NOOP("SensorBackup", "%1 already exists.")).arg(path)
                     : text(QT_TRANSLATE_NOOP("SensorBackup", "%1 cannot be written: %2"))
                           .arg(path, file.errorString());
        return false;
    }
    if (file.write(bytes) != bytes.size() || !file.flush())
    {
        *error =
            text(QT_TRANSLATE_NOOP("SensorBackup", "%1 cannot be written: %2")).arg(path, file.errorString());
        file.close();
        file.remove();
        return false;
    }
    return true;
}

std::optional<SensorBackup> SensorBackup::load(const QString& path, const Device::Device& description,
                                               QString* error)
{
    Device::DeviceSettings settings;
    json backup;
    try
    {
        // Read once: the importer checks the text, the backup's own keys come
        // from the same text.
        const std::string content = Device::FileReader(path.toStdString()).read();
        settings = OrvikDescription::createImporter().importDeviceSettingsForDevice(
            description, Device::StringReader(path.toStdString(), content));
        // The schema has checked the backup's own keys.
        const json document = json::parse(content);
        if (!document.contains("Backup"))
        {
            *error = text(QT_TRANSLATE_NOOP("SensorBackup", "%1 is a settings file, not a backup: it does "
                                                            "not say which sensor it was read from."))
                         .arg(path);
            return std::nullopt;
        }
        backup = document.at("Backup");
    }
    catch (const Device::ValidationException& exception)
    {
        QString findings;
        for (const std::string& finding : exception.getErrors())
            findings += QLatin1Char('\n') + QString::fromStdString(finding);
        *error = QString::fromStdString(exception.what()) + findings;
        return std::nullopt;
    }
    catch (const std::exception& exception)
    {
        *error = QString::fromStdString(exception.what());
        return std::nullopt;
    }

    SensorBackup result;
    result.identity = settings.getIdentity();
    result.port = fromJson(backup, "Port");
    result.time = QDateTime::fromString(fromJson(backup, "Time"), Qt::ISODate);
    const auto& address = backup.at("Address");
    for (std::size_t i = 0; i < result.sensor.address.bytes.size(); ++i)
        result.sensor.address.bytes[i] = address.at(i).get<std::uint8_t>();
    result.sensor.name = fromJson(backup, "Name");
    result.sensor.version = fromJson(backup, "Version");
    result.sensor.revision = fromJson(backup, "Revision");
    result.sensor.vendor = fromJson(backup, "Vendor");
    result.sensor.subName = fromJson(backup, "SubName");
    result.sensor.subVersion = fromJson(backup, "SubVersion");
    result.sensor.subRevision = fromJson(backup, "SubRevision");
    if (backup.contains("SerialNumber"))
        result.serialNumber = QString::fromStdString(backup.at("SerialNumber").get<std::string>());

    auto deviceSettings = settingsOf(settings.getDeviceParameterSettings(), result.sensor.version);
    auto subdeviceSettings = settingsOf(settings.getSubdeviceParameterSettings(), result.sensor.subVersion);
    if (!deviceSettings || !subdeviceSettings)
    {
        *error =
            text(QT_TRANSLATE_NOOP(
                     "SensorBackup",
                     "%1 holds parameters of another firmware version than the sensor it was read from."))
                .arg(path);
        return std::nullopt;
    }
    result.deviceSettings = std::move(*deviceSettings);
    result.subdeviceSettings = std::move(*subdeviceSettings);
    return result;
}

QString SensorBackup::mismatch(const Hvd::Weft::Communication::Device& connected) const
{
    const auto differs = [](const QString& what, const QString& backup, const QString& sensorValue)
    {
        return text(QT_TRANSLATE_NOOP(
                        "SensorBackup",
                        "The backup is of another sensor: %1 %2 in the backup, %3 on the sensor."))
            .arg(what, backup, sensorValue);
    };
    if (connected.address != sensor.address)
        return differs(text(QT_TRANSLATE_NOOP("SensorBackup", "address")),
                       addressText(sensor.address, QLatin1Char('.')),
                       addressText(connected.address, QLatin1Char('.')));
    if (connected.version != sensor.version)
        return differs(text(QT_TRANSLATE_NOOP("SensorBackup", "firmware version")), sensor.version,
                       connected.version);
    if (!subdeviceSettings.empty() && connected.subVersion != sensor.subVersion)
        return differs(text(QT_TRANSLATE_NOOP("SensorBackup", "sub device firmware version")),
                       sensor.subVersion, connected.subVersion);
    return {};
}

QString SensorBackup::serialMismatch(const QString& connectedSerial) const
{
    if (serialNumber.isEmpty() || connectedSerial == serialNumber)
        return {};
    return text(QT_TRANSLATE_NOOP("SensorBackup",
                                  "The backup is of another sensor: %1 %2 in the backup, %3 on the sensor."))
        .arg(text(QT_TRANSLATE_NOOP("SensorBackup", "serial number")), serialNumber, connectedSerial);
}

bool SensorBackup::toParameters(const DeviceContext& context, Limits limits, ParameterList& deviceParameters,
                                ParameterList& subdeviceParameters, QString* error) const
{
    return fillParameters(context.getDeviceParameterSet(), sensor.version, deviceSettings, limits,
                          deviceParameters, error) &&
           fillParameters(context.getSubdeviceParameterSet(), sensor.subVersion, subdeviceSettings, limits,
                          subdeviceParameters, error);
}
