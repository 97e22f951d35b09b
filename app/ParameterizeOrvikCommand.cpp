#include "app/ParameterizeOrvikCommand.h"

#include "app/ClosingSteps.h"
#include "components/commands/CompositeCommand.h"
#include "components/commands/ReadParametersCommand.h"
#include "components/commands/SetAsFactoryDefaultsCommand.h"
#include "components/commands/WriteParametersCommand.h"
#include "components/connectors/DeviceContext.h"
#include "device/EnumNames.h"
#include "device/Tag.h"
#include "device/Value.h"
#include "logging/Logger.h"

#include <QDateTime>

#include <algorithm>
#include <array>
#include <cmath>
#include <set>
#include <stdexcept>
#include <type_traits>

using Hvd::Unit::FlowType;
using Hvd::Unit::LengthType;
using Hvd::Unit::UserUnit;
using Hvd::Weft::Communication::DeviceService;
using Hvd::Weft::Components::Command;
using Hvd::Weft::Components::CompositeCommand;
using Hvd::Weft::Components::DeviceContext;
using Hvd::Weft::Components::Logger;
using Hvd::Weft::Components::ReadParametersCommand;
using Hvd::Weft::Components::System;
using Hvd::Weft::Components::WriteParametersCommand;
using Hvd::Weft::Device::DataType;
using Hvd::Weft::Device::Parameter;
using Hvd::Weft::Device::ParameterSet;
using Hvd::Weft::Device::ParameterSetting;
using Hvd::Weft::Device::Tag;
using Hvd::Weft::Device::Value;

namespace
{
// The first argument of the calculated-value signals and of setParameter.
constexpr bool deviceParameter = true;
constexpr bool subdeviceParameter = false;

constexpr double pi = 3.141592653589793;
// Litres per minute to cubic metres per hour and to US gallons per minute.
constexpr double litresPerMinuteToCubicMetresPerHour = 0.06;
constexpr double litresPerMinuteToUsGallonsPerMinute = 0.264172;

const char* const rangeEndSubdeviceParameter = "settings.range.fMeasEnd";

// Every device parameter a rescale writes: the backup reads them first.
constexpr std::array<const char*, 15> writtenDeviceParameters{
    "DosingUnit",     "FlowCutOff",     "FlowMeasStart", "FlowMeasEnd",        "FlowUnit",
    "Out1Unit",       "Out1ValueMaxHz", "Out1Value10V",  "Out1Value20mA",      "Out2Unit",
    "Out2ValueMaxHz", "Out2Value10V",   "Out2Value20mA", "ProductVariantName", "TemperatureUnit"};

// The parameters of `names` the set holds; one it lacks fails the rescale
// later, before anything is written.
template <typename Names>
ReadParametersCommand::ParameterRefList present(const std::optional<DeviceContext::ParameterSetRef>& set,
                                                const Names& names)
{
    ReadParametersCommand::ParameterRefList parameters;
    if (!set)
        return parameters;
    for (const char* name : names)
    {
        const auto& all = set->get().getParameters();
        if (const auto it = all.find(name); it != all.end())
            parameters.emplace_back(it->second);
    }
    return parameters;
}

// The description model refused a value or lacks a parameter: logged and
// reported through the command in whose name the step runs.
void reportRejected(const std::invalid_argument& exception, Command* reporter)
{
    Logger::error(reporter->getDepth(), "{}", exception.what());
    reporter->error(QString::fromStdString(exception.what()), System::Application,
                    Hvd::Weft::Components::deviceStillConnected);
}

QString kFactorTagName()
{
    const auto name = Hvd::Weft::Device::enumName(Tag::KFAKTOR);
    return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

} // namespace

ParameterizeOrvikCommand::ParameterizeOrvikCommand(DeviceContext& deviceContext, DeviceService& deviceService,
                                                   QObject* parent)
    : Command(parent)
    , context(deviceContext)
    , service(deviceService)
{
}

ParameterizeOrvikCommand::~ParameterizeOrvikCommand()
{
    cancel();
}

QString ParameterizeOrvikCommand::getDescription() const
{
    return tr("Parameterizing Orvik device");
}

void ParameterizeOrvikCommand::setInnerDiameterReference(double reference)
{
    innerDiameterReference = reference;
}

void ParameterizeOrvikCommand::setOrvik(const Orvik& selected)
{
    orvik = selected;
}

double ParameterizeOrvikCommand::freeArea(double x)
{
    // The circle less what the probe takes: the segment cut off by a chord of
    // 0.04 m at the wall plus the 0.04 m wide strip from that chord to a depth
    // of 0.033 m.
    const double s = std::sqrt(x * x - 0.0016);
    const double segment = x * x * 0.25 * std::asin(0.04 / x) - s * 0.01;
    const double probe = (0.033 - x * 0.5 + s * 0.5) * 0.04 + segment;
    return x * x * pi * 0.25 - probe;
}

void ParameterizeOrvikCommand::calculateConversionFactor()
{
    const unsigned char indent = getDepth();
    Logger::info(indent, "Calculating conversion factor: diameter reference: {}, Orvik diameter: {}",
                 innerDiameterReference, orvik.innerDiameter.value());
    const double diameter = orvik.innerDiameter.value();
    conversionFactor = freeArea(innerDiameterReference) / freeArea(diameter);

    // The flow in litres per minute at 10 m/s through the full cross-section,
    // rounded to a whole number in the unit the sensor will show.
    const double radius = diameter * 0.5;
    const double flow = radius * radius * pi * 600000;
    if (orvik.lengthUnit == LengthType::MilliMeter)
        measuringRangeEnd =
            std::round(flow * litresPerMinuteToCubicMetresPerHour) / litresPerMinuteToCubicMetresPerHour;
    else if (orvik.lengthUnit == LengthType::Inch)
        measuringRangeEnd =
            std::round(flow * litresPerMinuteToUsGallonsPerMinute) / litresPerMinuteToUsGallonsPerMinute;
    Logger::info(indent, "Calculated conversion factor: {}, MBE: {}", conversionFactor, measuringRangeEnd);
}

void ParameterizeOrvikCommand::doExecute()
{
    if (innerDiameterReference >= -0.001 && innerDiameterReference <= 0.001)
    {
        Logger::error(getDepth(), "No inner diameter reference was set");
        error(tr("No inner diameter reference was set"), System::Application,
              Hvd::Weft::Components::deviceStillConnected);
        return;
    }
    // A negative reference, or one too narrow for the probe (no free area),
    // would scale the k-factors into nonsense or NaN, which the sensor would
    // then keep as its factory defaults.
    if (!(innerDiameterReference > 0 && freeArea(innerDiameterReference) > 0))
    {
        Logger::error(getDepth(), "Inner diameter reference {} leaves no free area beside the probe",
                      innerDiameterReference);
        error(tr("The calibrated diameter %1 mm leaves no free area beside the probe.")
                  .arg(QString::number(innerDiameterReference * 1000, 'g', 6)),
              System::Application, Hvd::Weft::Components::deviceStillConnected);
        return;
    }
    if (orvik.name.empty())
    {
        Logger::error(getDepth(), "No Orvik was set");
        error(tr("No Orvik was set"), System::Application, Hvd::Weft::Components::deviceStillConnected);
        return;
    }
    deviceParameters.clear();
    subdeviceParameters.clear();
    resetRun();
    command = createCommand();
    if (command)
        command->execute();
}

void ParameterizeOrvikCommand::resetRun()
{
    backup.reset();
    backupPath.clear();
    writeBegun = false;
    factoryDefaultsStored = false;
}

Command* ParameterizeOrvikCommand::createCommand()
{
    calculateConversionFactor();

    const auto kFactor = context.getSubdeviceParameter(Tag::KFAKTOR);
    if (!kFactor)
    {
        Logger::error(getDepth(), "No parameter with tag {} found", kFactorTagName().toStdString());
        error(tr("No parameter with tag %1 found").arg(kFactorTagName()), System::Application,
              Hvd::Weft::Components::deviceStillConnected);
        return nullptr;
    }
    subdeviceParameters.push_back(kFactor->get());

    auto* composite = new CompositeCommand({}, CompositeCommand::detailedProgressReports, this);
    auto* read = new ReadParametersCommand(context, service, tr("Reading k-factor"), composite);
    // One read per address type: the k-factor together with the present
    // value of everything the write replaces, for the backup.
    auto subdeviceReads = present(context.getSubdeviceParameterSet(), std::array{rangeEndSubdeviceParameter});
    subdeviceReads.insert(subdeviceReads.begin(), *kFactor);
    auto deviceReads = present(context.getDeviceParameterSet(), writtenDeviceParameters);
    // The serial number tells this unit from every other of its kind, which
    // share one address.
    const auto serial = context.getDeviceParameter(Tag::SERIALNUMBER);
    if (serial)
        deviceReads.push_back(*serial);
    backupDeviceNames.clear();
    backupSubdeviceNames.clear();
    for (const Parameter& parameter : deviceReads)
        backupDeviceNames.insert(parameter.getName());
    for (const Parameter& parameter : subdeviceReads)
        backupSubdeviceNames.insert(parameter.getName());
    read->setParameters(std::move(deviceReads), std::move(subdeviceReads));
    composite->addCommand(read);
    const ClosingSteps closing =
        addClosingSteps(*composite, context, service, WriteParametersCommand::tr("Writing parameters"));
    WriteParametersCommand* write = closing.write;
    connect(closing.factoryDefaults, &Command::finished, this, [this] { factoryDefaultsStored = true; });

    // The read emits its values before it finishes, so the write holds its
    // lists before the composite starts it. A failure here has already ended
    // the read, and with it the composite, before anything is written.
    connect(read, &ReadParametersCommand::parametersRead, read,
            [this, read, write](const DeviceService::SettingList& deviceSettings,
                                const DeviceService::SettingList& subdeviceSettings)
            {
                // Worked out first, the backup last: it is the last step before
                // the write, and a refusal of the new values needs none.
                if (!mergeKFactors(subdeviceParameters, subdeviceSettings, read) || !setParameters(read) ||
                    !saveBackup(deviceSettings, subdeviceSettings, read))
                    return;
                write->setParameters(std::move(deviceParameters), std::move(subdeviceParameters));
                deviceParameters.clear();
                subdeviceParameters.clear();
                // The composite starts the write next.
                writeBegun = true;
            });

    connect(composite, &Command::progressUpdated, this, &Command::progressUpdated);
    connect(composite, &Command::finished, this, &Command::finish);
    connect(composite, &Command::warningOccurred, this, &Command::warningOccurred);
    connect(composite, &Command::errorOccurred, this, &Command::error);
    return composite;
}

bool ParameterizeOrvikCommand::saveBackup(const DeviceService::SettingList& deviceSettings,
                                          const DeviceService::SettingList& subdeviceSettings,
                                          Command* reporter)
{
    QString why;
    auto taken = SensorBackup::taken(context, deviceSettings, subdeviceSettings, backupDeviceNames,
                                     backupSubdeviceNames, SensorBackup::SerialSetting::Dropped, &why);
    const QString path = taken ? taken->save(backupFolder, &why) : QString();
    if (path.isEmpty())
    {
        Logger::error(reporter->getDepth(), "Could not save the backup in {}: {}", backupFolder.toStdString(),
                      why.toStdString());
        reporter->error(tr("Could not save the backup of the sensor's parameters in %1: %2 "
                           "Nothing was written to the sensor.")
                            .arg(backupFolder, why),
                        System::Application, Hvd::Weft::Components::deviceStillConnected);
        return false;
    }
    Logger::info(reporter->getDepth(), "Saved the backup of the device parameters to {}", path.toStdString());
    backup = std::move(taken);
    backupPath = path;
    Q_EMIT backupSaved(path);
    return true;
}

bool ParameterizeOrvikCommand::mergeKFactors(std::vector<Parameter>& parameters,
                                             const std::vector<ParameterSetting>& settings, Command* reporter)
{
    const unsigned char indent = reporter->getDepth();
    std::set<std::string> merged;
    for (const auto& setting : settings)
    {
        const auto parameter = std::find_if(parameters.begin(), parameters.end(),
                                            [&](const Parameter& candidate)
                                            { return candidate.getName() == setting.getName(); });
        if (parameter == parameters.end())
            continue;
        try
        {
            const double oldValue = setting.getValue().toDouble();
            Value newValue(oldValue * conversionFactor, parameter->getType());
            Logger::info(indent, "Re-parameterizing k-factor {}: Old value: {}, new value: {}",
                         parameter->getName(), oldValue, newValue.toDouble());
            parameter->setCurrentValue(std::move(newValue));
            merged.insert(parameter->getName());
            Q_EMIT parameterCalculated(subdeviceParameter, QString::fromStdString(parameter->getName()),
                                       parameter->getCurrentValue().toDouble());
        }
        catch (const std::invalid_argument& exception)
        {
            reportRejected(exception, reporter);
            return false;
        }
    }
    // A k-factor the sensor did not deliver would go out with the
    // description's placeholder and overwrite the sensor's calibration.
    for (const auto& parameter : parameters)
    {
        if (merged.count(parameter.getName()) == 0)
        {
            Logger::error(indent, "No value read for k-factor {}", parameter.getName());
            reporter->error(
                tr("No value read for k-factor %1").arg(QString::fromStdString(parameter.getName())),
                System::Application, Hvd::Weft::Components::deviceStillConnected);
            return false;
        }
    }
    return true;
}

template <typename T>
Parameter ParameterizeOrvikCommand::setParameter(const ParameterSet<Parameter>& set, const char* name,
                                                 T value, bool isDeviceParameter)
{
    Parameter parameter = set.at(name);
    if constexpr (std::is_enum_v<T>)
    {
        static_assert(sizeof(T) == 1, "unit codes are single bytes");
        parameter.setCurrentValue(Value(static_cast<unsigned char>(value)));
    }
    else
    {
        parameter.setCurrentValue(Value(static_cast<double>(value), parameter.getType()));
    }
    Q_EMIT parameterCalculated(isDeviceParameter, QString::fromLatin1(name),
                               parameter.getCurrentValue().toDouble());
    return parameter;
}

Parameter ParameterizeOrvikCommand::setParameter(const ParameterSet<Parameter>& set, const char* name,
                                                 const std::string& value)
{
    Parameter parameter = set.at(name);
    parameter.setCurrentValue(Value(value.substr(0, parameter.getLength())));
    Q_EMIT parameterCalculated(deviceParameter, QString::fromLatin1(name),
                               QString::fromStdString(parameter.getCurrentValue().toString()));
    return parameter;
}

bool ParameterizeOrvikCommand::setParameters(Command* reporter)
{
    const auto deviceSet = context.getDeviceParameterSet();
    if (!deviceSet)
    {
        Logger::error(reporter->getDepth(), "No device parameters found for the connected device");
        reporter->error(tr("No device parameters found for the connected device"), System::Application,
                        Hvd::Weft::Components::deviceStillConnected);
        return false;
    }
    const auto subdeviceSet = context.getSubdeviceParameterSet();
    if (!subdeviceSet)
    {
        Logger::error(reporter->getDepth(), "No subdevice parameters found for the connected device");
        reporter->error(tr("No subdevice parameters found for the connected device"), System::Application,
                        Hvd::Weft::Components::deviceStillConnected);
        return false;
    }

    const double end = measuringRangeEnd;
    const float shownDiameter = orvik.getShownDiameter();
    const std::string sizeText = Orvik::variantName(static_cast<double>(shownDiameter)).toStdString();
    try
    {
        const ParameterSet<Parameter>& device = *deviceSet;
        deviceParameters.push_back(setParameter(device, "DosingUnit", orvik.flowUnit, deviceParameter));
        deviceParameters.push_back(setParameter(device, "FlowCutOff", end / 10, deviceParameter));
        deviceParameters.push_back(setParameter(device, "FlowMeasStart", -end, deviceParameter));
        deviceParameters.push_back(setParameter(device, "FlowMeasEnd", end, deviceParameter));
        deviceParameters.push_back(setParameter(device, "FlowUnit", orvik.flowUnit, deviceParameter));
        deviceParameters.push_back(setParameter(device, "Out1Unit", orvik.outputUnit, deviceParameter));
        deviceParameters.push_back(setParameter(device, "Out1ValueMaxHz", end, deviceParameter));
        deviceParameters.push_back(setParameter(device, "Out1Value10V", end, deviceParameter));
        deviceParameters.push_back(setParameter(device, "Out1Value20mA", end, deviceParameter));
        deviceParameters.push_back(setParameter(device, "Out2Unit", orvik.outputUnit, deviceParameter));
        deviceParameters.push_back(setParameter(device, "Out2ValueMaxHz", end, deviceParameter));
        deviceParameters.push_back(setParameter(device, "Out2Value10V", end, deviceParameter));
        deviceParameters.push_back(setParameter(device, "Out2Value20mA", end, deviceParameter));
        deviceParameters.push_back(setParameter(device, ParamProductVariantName, sizeText));
        deviceParameters.push_back(
            setParameter(device, "TemperatureUnit", orvik.temperatureUnit, deviceParameter));
        subdeviceParameters.push_back(
            setParameter(subdeviceSet->get(), rangeEndSubdeviceParameter, end, subdeviceParameter));
    }
    catch (const std::invalid_argument& exception)
    {
        // A sensor whose firmware lacks one of the rows (the V01.10 sub device
        // has no range end) ends here, before anything is written.
        reportRejected(exception, reporter);
        return false;
    }

    Q_EMIT valueCalculated(deviceParameter, QStringLiteral("InnerDiameter"), shownDiameter,
                           orvik.getShownUnitText());

    // The range end in the unit the sensor now shows, in single precision as
    // the sensor computes it.
    const UserUnit<float> user;
    const float rangeEnd = static_cast<float>(end);
    const float shownRangeEnd = (rangeEnd * Hvd::Unit::toConversionFactor(FlowType::User, user).value()) /
                                Hvd::Unit::toConversionFactor(orvik.flowUnit, user).value();
    QString flowUnitText = Hvd::Unit::toString(orvik.flowUnit);
    flowUnitText.replace(QLatin1Char('3'), QStringLiteral("<sup>3</sup>"));
    Q_EMIT valueCalculated(deviceParameter, QStringLiteral("FlowMeasEnd"), shownRangeEnd, flowUnitText);
    return true;
}

void ParameterizeOrvikCommand::doDisconnect()
{
    if (!command)
        return;
    disconnect(command, nullptr, this, nullptr);
    command->deleteLater();
    command = nullptr;
}

void ParameterizeOrvikCommand::doStop()
{
    if (command && command->isRunning())
        command->stop();
}

void ParameterizeOrvikCommand::doCancel()
{
    if (command && command->isRunning())
        command->cancel();
}
