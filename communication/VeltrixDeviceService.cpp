#include "communication/VeltrixDeviceService.h"

#include "communication/TransferableData.h"
#include "communication/internal/Bootloader.h"
#include "communication/internal/FirstContact.h"
#include "communication/internal/Parameter.h"
#include "communication/internal/SysCommand.h"
#include "communication/internal/Values.h"

#include "logging/Logger.h"
#include "protocol/VELTRIX_SessionInfo.h"
#include "protocol/serial/FQtSerialPortBackend.h"
#include "protocol/serial/FSerialPort.h"
#include <algorithm>
#include <array>

namespace Hvd::Weft::Communication
{

using Components::Logger;
using Internal::SysCommand;
using Internal::Values;

VeltrixDeviceService::VeltrixDeviceService(const VELTRIX_Options& options)
    : facade(new VELTRIX(this, VELTRIX_Session::VELTRIX_HW_UART, options))
    , port(new Internal::Port(this, facade, options.timing))
    , firstContact(new Internal::FirstContact(this, facade, port, ClosePortWhenFinished::No, options.timing))
    , sysCommand(new SysCommand(this, facade, port, ClosePortWhenFinished::No, options.timing))
    , parameter(new Internal::Parameter(this, facade, port, ClosePortWhenFinished::No, options.timing))
    , values(new Values(this, facade, port, ClosePortWhenFinished::No, options.timing))
    , bootloader(new Internal::Bootloader(this, facade, port, options.timing))
{
    qRegisterMetaType<Type>("Hvd::Weft::Communication::VeltrixDeviceService::Type");
    const auto forwardProgress = [this](unsigned percent)
    { emit progress(static_cast<std::uint8_t>(percent)); };

    // Once here rather than in every sequence, so each entry appears once.
    connect(port, &Internal::Port::log, this, &DeviceService::log);
    connect(facade, &VELTRIX::sessionNewInfo, this,
            [this](VELTRIX_SessionInfo* info)
            {
                if (info != nullptr && info->getError() != VELTRIX_Session::VELTRIX_ENUM_SESSION_NO_ERROR)
                    emit log(LogLevel::Error, info->getErrorAsString());
            });
    connect(firstContact, &Internal::FirstContact::log, this, &DeviceService::log);
    connect(firstContact, &Internal::FirstContact::foundDevice, this, &DeviceService::foundDevice);
    connect(firstContact, &Internal::FirstContact::error, this, &DeviceService::error);
    connect(firstContact, &Internal::FirstContact::progress, this, forwardProgress);

    connect(sysCommand, &SysCommand::success, this,
            [this](SysCommand::Command command)
            {
                switch (command)
                {
                case SysCommand::Command::SetCurrentAsFactoryDefaults:
                    emit successSetCurrentAsFactoryDefaults();
                    break;
                case SysCommand::Command::ResetToFactoryDefaults:
                    emit successResetToFactoryDefaults();
                    break;
                case SysCommand::Command::ResetNvm:
                    emit successResetNvm();
                    break;
                case SysCommand::Command::RestartDevice:
                    emit successRestartDevice();
                    break;
                }
            });
    connect(sysCommand, &SysCommand::error, this, &DeviceService::error);
    connect(sysCommand, &SysCommand::progress, this, forwardProgress);
    connect(sysCommand, &SysCommand::log, this, &DeviceService::log);

    connect(parameter, &Internal::Parameter::readValue, this, &VeltrixDeviceService::parseReadData);
    connect(parameter, &Internal::Parameter::success, this, &DeviceService::successWriting);
    connect(parameter, &Internal::Parameter::error, this, &VeltrixDeviceService::onTransferError);
    connect(parameter, &Internal::Parameter::progress, this, forwardProgress);
    connect(parameter, &Internal::Parameter::log, this, &DeviceService::log);

    // Every values result is preceded by a warning: the active status texts,
    // or an empty one when the sensor reports nothing.
    connect(values, &Values::finishedAccumulate, this,
            [this](Type, const Slots& slot)
            {
                emit warning(statusWarning(slot));
                emit finishedAccumulate(slot);
            });
    connect(values, &Values::finishedFixedSamples, this,
            [this](Type, const QList<Slots>& list)
            {
                const auto active =
                    std::find_if(list.cbegin(), list.cend(),
                                 [](const Slots& slot) { return !slot.activeStatusStrings().isEmpty(); });
                emit warning(active == list.cend() ? QString() : statusWarning(*active));
                emit finishedFixedSamples(list);
            });
    connect(values, &Values::newValue, this,
            [this](Type, const Slots& slot)
            {
                emit warning(statusWarning(slot));
                emit sampleReceived(slot);
            });
    connect(values, &Values::error, this, &DeviceService::error);
    connect(values, &Values::progress, this, forwardProgress);
    connect(values, &Values::log, this, &DeviceService::log);

    connect(facade, &VELTRIX::portLost, this, &VeltrixDeviceService::onLineLost);

    connect(bootloader, &Internal::Bootloader::success, this, &DeviceService::success);
    connect(bootloader, &Internal::Bootloader::error, this, &DeviceService::error);
    connect(bootloader, &Internal::Bootloader::progress, this, forwardProgress);
    connect(bootloader, &Internal::Bootloader::log, this, &DeviceService::log);
}

VeltrixDeviceService::~VeltrixDeviceService()
{
    // The upload's front end borrows the facade's serial port: it goes
    // first, while the port still exists.
    delete bootloader;
}

VELTRIX_Options VeltrixDeviceService::serialPortOptions(const VELTRIX_Timing& timing)
{
    VELTRIX_Options options;
    options.timing = timing;
    options.backendFactory = []
    { return std::make_unique<FQtSerialPortBackend>(FQtSerialPortBackend::ModemLines::TolerateMissing); };
    return options;
}

VELTRIX_Timing VeltrixDeviceService::timingFromEnvironment()
{
    const QString text = qEnvironmentVariable(timeScaleVariable);
    if (text.isEmpty())
        return {};
    const std::optional<double> factor = VELTRIX_Timing::parseScale(text);
    if (!factor)
    {
        Logger::warn("{}={} is not a factor from {} to {}; the protocol's own timing is used",
                     timeScaleVariable, text.toStdString(), VELTRIX_Timing::minScale,
                     VELTRIX_Timing::maxScale);
        return {};
    }
    Logger::info("{}={}: the protocol's delays are scaled by {}", timeScaleVariable, text.toStdString(),
                 *factor);
    return VELTRIX_Timing().scaled(*factor);
}

std::optional<Internal::Chunks<50>>
VeltrixDeviceService::getCombinedChunks(const Device& device, ParameterRefList& deviceParameters,
                                        ParameterRefList& subdeviceParameters)
{
    return combineChunks(device, deviceParameters, subdeviceParameters);
}

bool VeltrixDeviceService::isBusy() const
{
    return firstContact->isRunning() || sysCommand->isRunning() || parameter->isRunning() ||
           values->isRunning() || bootloader->isRunning();
}

QString VeltrixDeviceService::lineLostText()
{
    return tr("The connection to the adapter was lost. Please check the adapter, its cable and its "
              "USB plug.");
}

void VeltrixDeviceService::onLineLost()
{
    if (lineGone)
        return;
    lineGone = true;
    emit log(LogLevel::Error,
             QStringLiteral("Connection to the adapter on %1 was lost").arg(port->comport.number));
    emit lineLost();
    // At most one operation runs; it ends with the loss, once.
    const std::array<Internal::Default*, 5> sequences{firstContact, sysCommand, parameter, values,
                                                      bootloader};
    for (Internal::Default* sequence : sequences)
        sequence->lineLost(lineLostText());
    // The port has closed itself; the stack must not take it for open.
    port->close();
}

void VeltrixDeviceService::portVanished(const QString& number)
{
    // The port decides in its own thread whether it is the one it holds; the
    // loss then takes the same way as a hang-up.
    FSerialPort* serial = facade->getSerialPort();
    QMetaObject::invokeMethod(
        serial, [serial, number] { serial->dropLine(number); }, Qt::QueuedConnection);
}

bool VeltrixDeviceService::refuseWhileBusy()
{
    if (lineGone)
    {
        // Nothing, not even a restart or a restore, is sent on a line that is gone.
        emit log(LogLevel::Error, QStringLiteral("The connection to the adapter was lost"));
        emit error(lineLostText());
        return true;
    }
    if (!isBusy())
        return false;
    // Reported here rather than through a sequence: a transfer's errors
    // would discard the lists of the read that is still running.
    emit log(LogLevel::Error, QStringLiteral("Current operation not finished!"));
    emit error(tr("Current operation not finished!"));
    return true;
}

void VeltrixDeviceService::start(const Comport& comport, bool deviceIdentification)
{
    takeRequest();
    // A new start may find the adapter plugged in again.
    lineGone = false;
    // Refused with the busy text rather than silently: a caller waiting for
    // the outcome of its start would otherwise wait forever.
    if (refuseWhileBusy())
        return;
    firstContact->start(comport, deviceIdentification);
}

void VeltrixDeviceService::restartDevice(Address::Type type, const Device& dev)
{
    takeRequest();
    if (refuseWhileBusy())
        return;
    sysCommand->systemCommand(type, dev, SysCommand::Command::RestartDevice);
}

void VeltrixDeviceService::setCurrentAsFactoryDefaults(Address::Type type, const Device& dev)
{
    takeRequest();
    if (refuseWhileBusy())
        return;
    sysCommand->systemCommand(type, dev, SysCommand::Command::SetCurrentAsFactoryDefaults);
}

void VeltrixDeviceService::resetToFactoryDefaults(Address::Type type, const Device& dev)
{
    takeRequest();
    if (refuseWhileBusy())
        return;
    sysCommand->systemCommand(type, dev, SysCommand::Command::ResetToFactoryDefaults);
}

void VeltrixDeviceService::write(const Device& dev, const ParameterList& deviceParameterList,
                                 const ParameterList& subdeviceParameterList, bool readBack)
{
    takeRequest();
    ParameterRefList deviceRefs(deviceParameterList.begin(), deviceParameterList.end());
    ParameterRefList subdeviceRefs(subdeviceParameterList.begin(), subdeviceParameterList.end());
    const auto chunks = getCombinedChunks(dev, deviceRefs, subdeviceRefs);
    if (!chunks)
    {
        emit warning(tr("The parameters are empty."));
        emit progress(100);
        emit successWriting();
        return;
    }
    if (refuseWhileBusy())
        return;
    parameter->startWrite(*chunks, readBack);
}

void VeltrixDeviceService::read(const Device& dev, const ParameterList& deviceParameterList,
                                const ParameterList& subdeviceParameterList)
{
    takeRequest();
    if (deviceParameterList.empty() && subdeviceParameterList.empty())
    {
        emit warning(tr("The parameters are empty."));
        emit progress(100);
        emit successReading({}, {});
        return;
    }
    if (refuseWhileBusy())
        return;
    // Kept until the read has ended: the chunks and the decoding refer to them.
    readDeviceCopies = deviceParameterList;
    readSubdeviceCopies = subdeviceParameterList;
    deviceParameters.assign(readDeviceCopies.begin(), readDeviceCopies.end());
    subdeviceParameters.assign(readSubdeviceCopies.begin(), readSubdeviceCopies.end());
    const auto chunks = getCombinedChunks(dev, deviceParameters, subdeviceParameters);
    parameter->startRead(*chunks);
}

void VeltrixDeviceService::parseReadData(const QByteArray& data)
{
    SettingList deviceSettings;
    SettingList subdeviceSettings;
    qsizetype position = 0;
    decodeReadData(data, position, deviceParameters, deviceSettings);
    decodeReadData(data, position, subdeviceParameters, subdeviceSettings);
    clearReadLists();
    emit progress(100);
    emit successReading(deviceSettings, subdeviceSettings);
}

void VeltrixDeviceService::clearReadLists()
{
    deviceParameters.clear();
    subdeviceParameters.clear();
    readDeviceCopies.clear();
    readSubdeviceCopies.clear();
}

void VeltrixDeviceService::onTransferError(const QString& text)
{
    clearReadLists();
    emit error(text);
}

void VeltrixDeviceService::abort()
{
    takeRequest();
    // An upload holds the port apart from the stack: it gives it back first,
    // or the close below would go unheard and the port be taken for open.
    if (bootloader->isRunning())
        bootloader->abort();
    firstContact->abort();
    // The others only when they run: each stopped operation says so once, and
    // a system command left running would refuse every later operation until
    // its answer timed out on the closed line.
    if (parameter->isRunning())
        parameter->abort();
    if (values->isRunning())
        values->abort();
    if (sysCommand->isRunning())
        sysCommand->abort();
    emit progress(100);
    emit successDisconnecting();
}

void VeltrixDeviceService::readFixedBurstValues(Address::Type type, const Device& dev, std::uint32_t samples)
{
    readValues(Values::FixedSamples, type, dev, Type::Burst, samples, 0, 0);
}

void VeltrixDeviceService::accumulateBurstValues(Address::Type type, const Device& dev, std::uint32_t samples,
                                                 std::uint8_t leadingSlotIndex,
                                                 std::uint16_t topBotSamplesToRemove)
{
    readValues(Values::Accumulating, type, dev, Type::Burst, samples, leadingSlotIndex,
               topBotSamplesToRemove);
}

void VeltrixDeviceService::readFixedDeviceValues(Address::Type type, const Device& dev, std::uint32_t samples)
{
    readValues(Values::FixedSamples, type, dev, Type::Device, samples, 0, 0);
}

void VeltrixDeviceService::accumulateDeviceValues(Address::Type type, const Device& dev,
                                                  std::uint32_t samples, std::uint8_t leadingSlotIndex,
                                                  std::uint16_t topBotSamplesToRemove)
{
    readValues(Values::Accumulating, type, dev, Type::Device, samples, leadingSlotIndex,
               topBotSamplesToRemove);
}

void VeltrixDeviceService::readFixedDeviceAndBurstValues(Address::Type type, const Device& dev,
                                                         std::uint32_t samples)
{
    readValues(Values::FixedSamples, type, dev, Type::Both, samples, 0, 0);
}

void VeltrixDeviceService::readValues(int state, Address::Type type, const Device& dev, Type valueType,
                                      std::uint32_t samples, std::uint8_t leadingSlotIndex,
                                      std::uint16_t topBotSamplesToRemove)
{
    takeRequest();
    if (refuseWhileBusy())
        return;
    // An accumulation ignores the first two answers, which may still carry
    // values from before the request.
    const bool accumulate = state == Values::Accumulating;
    const bool started = values->startReading(static_cast<Values::State>(state), type, dev, valueType,
                                              samples, accumulate ? 2 : 0);
    // Only an accepted run takes the averaging: a refused request must not
    // change the one that runs.
    if (started && accumulate)
        values->setAveraging(leadingSlotIndex, topBotSamplesToRemove);
}

void VeltrixDeviceService::upload(Address::Type type, const Device& dev, BootloaderType blType,
                                  const QString& fileName, bool rescueMode, bool leavePortOpenOnError)
{
    takeRequest();
    if (refuseWhileBusy())
        return;
    if (fileName.isEmpty())
    {
        emit log(LogLevel::Error, QStringLiteral("given Filename is empty!"));
        emit error(tr("given Filename is empty!"));
        return;
    }
    if (blType == BootloaderType::Undefined)
    {
        emit log(LogLevel::Error, QStringLiteral("given bootloader type is undefined!"));
        emit error(tr("given Bootloadertype is undefined!"));
        return;
    }
    bootloader->start(type, dev, static_cast<Internal::Bootloader::Type>(blType), fileName, rescueMode,
                      leavePortOpenOnError);
}

QString VeltrixDeviceService::statusWarning(const Slots& slot)
{
    QStringList texts;
    for (const StatusString& status : slot.activeStatusStrings())
        texts.append(status.text);
    if (texts.isEmpty())
        return {};
    return tr("Device status: 0x%1 (%2)")
        .arg(QString::number(slot.status, 16), texts.join(QStringLiteral(", ")));
}

} // namespace Hvd::Weft::Communication
